#include "app/desktop_factories.h"

#include "app/osx_grabber.h"
#include "app/osx_system.h"
#include "app/osx_ui.h"

#include <memory>

namespace kes {

void install_desktop_factories() {
    system::install_factory([] { return std::make_shared<osx_system>(); });
    grabber::install_factory([] { return std::make_shared<osx_grabber>(); });
    ui::install_factory(&osx_ui::make_with_provided_services);
}

}  // namespace kes
