#include "platform/hardware_model.h"

#include "platform/linux/small_file.h"

#include <optional>

namespace platform {

std::string hardware_model(const std::string& dmi_folder) {
    // The attribute is one short line; anything large is not the product name.
    const std::optional<std::string> text = read_small_regular_file(dmi_folder + "/product_name", 256);
    if (!text) return "Unknown";
    const auto first = text->find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "Unknown";
    const auto last = text->find_last_not_of(" \t\r\n");
    std::string model = text->substr(first, last - first + 1);
    for (char& c : model) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return model;
}

}  // namespace platform
