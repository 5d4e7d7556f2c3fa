#pragma once
// The computer's model as its firmware names it (the DMI product name), for
// the sign-in form; "Unknown" where the firmware says nothing.

#include <string>

namespace platform {

std::string hardware_model(const std::string& dmi_folder = "/sys/class/dmi/id");

}  // namespace platform
