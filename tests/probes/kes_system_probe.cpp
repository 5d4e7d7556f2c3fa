// Asks the platform system one question from the command line, for the
// end-to-end scripts:
//   kes_system_probe idle | display | tz | run <command>
// prints the answer as UTF-8 on one line; exit code 2 on a bad request.

#include "core/foundation/system.h"
#include "core/foundation/text.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    const std::string question = argc > 1 ? argv[1] : "";
    const auto platform_system = kes::system::create();
    if (question == "idle") {
        std::cout << platform_system->get_idle_time() << "\n";
    } else if (question == "display") {
        std::cout << (platform_system->is_display_on() ? "on" : "off") << "\n";
    } else if (question == "tz") {
        std::cout << kes::util::wstring_to_utf8_lossy(platform_system->get_time_zone_name()) << "\n";
    } else if (question == "run" && argc > 2) {
        const std::wstring command = kes::util::utf8_to_wstring_lossy(argv[2]);
        std::cout << kes::util::wstring_to_utf8_lossy(platform_system->run_command(command)) << "\n";
    } else {
        std::cerr << "usage: kes_system_probe idle | display | tz | run <command>\n";
        return 2;
    }
    return 0;
}
