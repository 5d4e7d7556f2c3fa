#pragma once
// The fixed list of preference panes: General, Account, Network, each with
// its id, its title and its icon (the bundle image "<Title>_Tab.png").

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <optional>
#include <string>

class QPixmap;

namespace kes {

class ImageStore;

struct PreferencesOption {
    enum class Title { general, account, network };

    int id = 0;
    Title title = Title::general;

    // In this order: (0, general), (1, account), (2, network).
    static const std::array<PreferencesOption, 3>& all();

    // "General", "Account", "Network".
    std::string raw_title() const;
    // The title of a raw value; none for any other text.
    static std::optional<Title> title_from_raw(const std::string& raw);

    // The pane's icon.
    QPixmap image(ImageStore& images) const;

    friend bool operator==(const PreferencesOption& a, const PreferencesOption& b) {
        return a.id == b.id && a.title == b.title;
    }
    friend bool operator!=(const PreferencesOption& a, const PreferencesOption& b) { return !(a == b); }
};

// As JSON, keys "id" and "title" (its raw value). Reading throws
// nlohmann::json::exception for a title that is none of the three.
void to_json(nlohmann::json& out, const PreferencesOption& option);
void from_json(const nlohmann::json& in, PreferencesOption& option);

}  // namespace kes
