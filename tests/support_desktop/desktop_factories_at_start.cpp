// Linked into every program of the tests with a main of its own (probes,
// benchmarks, fuzzers): they drive the agent's components as the agent runs
// them, on the platform objects its entry installs. Installed before that
// main runs, so a program added later has them too.
#include "app/desktop_factories.h"

namespace {

const bool installed = (kes::install_desktop_factories(), true);

}  // namespace
