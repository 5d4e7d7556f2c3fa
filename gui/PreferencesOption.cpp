#include "gui/PreferencesOption.h"

#include "gui/ImageStore.h"

#include <QPixmap>
#include <nlohmann/json.hpp>

namespace kes {

const std::array<PreferencesOption, 3>& PreferencesOption::all() {
    static const std::array<PreferencesOption, 3> options{
        {{0, Title::general}, {1, Title::account}, {2, Title::network}}};
    return options;
}

std::string PreferencesOption::raw_title() const {
    switch (title) {
        case Title::general:
            return "General";
        case Title::account:
            return "Account";
        case Title::network:
            return "Network";
    }
    return {};
}

std::optional<PreferencesOption::Title> PreferencesOption::title_from_raw(const std::string& raw) {
    for (const PreferencesOption& option : all()) {
        if (option.raw_title() == raw) return option.title;
    }
    return std::nullopt;
}

QPixmap PreferencesOption::image(ImageStore& images) const { return images.image(raw_title() + "_Tab", "png"); }

void to_json(nlohmann::json& out, const PreferencesOption& option) {
    out = {{"id", option.id}, {"title", option.raw_title()}};
}

void from_json(const nlohmann::json& in, PreferencesOption& option) {
    const std::string raw = in.at("title").get<std::string>();
    const auto title = PreferencesOption::title_from_raw(raw);
    if (!title) throw nlohmann::json::other_error::create(501, "no preference pane is titled \"" + raw + "\"", &in);
    option.id = in.at("id").get<int>();
    option.title = *title;
}

}  // namespace kes
