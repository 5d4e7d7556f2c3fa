#include "platform/alert.h"

namespace platform {

std::vector<std::string> alert::button_titles() const {
    if (buttons.empty()) return {"OK"};
    return buttons;
}

std::optional<std::size_t> alert::cancel_button() const {
    const std::vector<std::string> titles = button_titles();
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (titles[i] == "Cancel") return i;
    }
    if (titles.size() == 1) return 0;
    return std::nullopt;
}

}  // namespace platform
