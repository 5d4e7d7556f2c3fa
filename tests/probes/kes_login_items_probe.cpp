// Drives the login items from the command line, for the end-to-end scripts:
//   kes_login_items_probe <main bundle> enable | disable | status <identifier>
// The entries go to the autostart folder of this environment. enable and
// disable exit with 0 on success and 1 on failure; status prints "enabled" or
// "disabled". Exit code 2 on a bad request.

#include "platform/login_items.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: kes_login_items_probe <main bundle> enable | disable | status <identifier>\n";
        return 2;
    }
    const std::string request = argv[2];
    const std::string identifier = argv[3];
    const auto items = platform::make_autostart_login_items(argv[1]);
    if (request == "enable" || request == "disable") return items->set_enabled(identifier, request == "enable") ? 0 : 1;
    if (request == "status") {
        std::cout << (items->is_enabled(identifier) ? "enabled" : "disabled") << "\n";
        return 0;
    }
    std::cerr << "unknown request: " << request << "\n";
    return 2;
}
