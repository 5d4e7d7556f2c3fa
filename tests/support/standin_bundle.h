#pragma once
// Application bundles made for a test, with a stand-in program that runs until
// it is ended: a script on a copy of the system shell inside the bundle, so
// the running process's executable lies in the bundle as an application's does.

#include <string>

namespace kes::testing {

struct standin_bundle {
    std::string path;        // <parent>/<name>
    std::string executable;  // Contents/MacOS/<executable name>, the script
};

// Lays out <parent>/<name> with an Info.plist naming `identifier` (none when
// empty) and the executable "standin". The stand-in appends its process id to
// `marker` (when not empty) and then sleeps.
standin_bundle make_standin_bundle(const std::string& parent, const std::string& name,
                                   const std::string& identifier, const std::string& marker = "");

// Waits (up to 10 s) until a process just started has its program laid out:
// until then /proc shows an empty environment. False when it never was.
bool wait_until_started(int pid);

// Ends a stand-in started in a session of its own: its whole process group,
// so its sleeping child goes with it; reaps it when it is our child.
void end_standin(int pid);

}  // namespace kes::testing
