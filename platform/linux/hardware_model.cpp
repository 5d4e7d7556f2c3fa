#include "platform/hardware_model.h"

#include "core/foundation/files/read_file.h"

#include <optional>

namespace platform {
namespace {

// One attribute: a short line, trimmed, control characters as spaces.
std::string dmi_attribute(const std::string& dmi_folder, const char* name) {
    // Anything large is not the short line an attribute holds.
    const std::optional<std::string> text = kes::fs::read_small_regular_file(dmi_folder + "/" + name, 256);
    if (!text) return "Unknown";
    const auto first = text->find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "Unknown";
    const auto last = text->find_last_not_of(" \t\r\n");
    std::string value = text->substr(first, last - first + 1);
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return value;
}

}  // namespace

computer_identity read_computer_identity(const std::string& dmi_folder) {
    return {dmi_attribute(dmi_folder, "sys_vendor"), dmi_attribute(dmi_folder, "product_name"),
            dmi_attribute(dmi_folder, "product_version")};
}

}  // namespace platform
