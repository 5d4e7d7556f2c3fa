#include "helper/application_main.h"

#include "helper/AppDelegate.h"

int application_main(int /*argc*/, char** /*argv*/) {
    try {
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
    } catch (...) {
        // A helper has nobody to report to; the next log-in tries again.
    }
    return 0;
}
