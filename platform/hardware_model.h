#pragma once
// The computer as its firmware's DMI data names it, for the sign-in form:
// brand (sys_vendor), make (product_name) and model (product_version), each
// "Unknown" where the firmware says nothing.

#include <string>

namespace platform {

struct computer_identity {
    std::string brand;
    std::string make;
    std::string model;
};

// `dmi_folder` holds the attributes as sysfs presents them.
computer_identity read_computer_identity(const std::string& dmi_folder = "/sys/class/dmi/id");

}  // namespace platform
