#pragma once
// The core makes its platform system, its grabber and the process-wide user
// interface through factories; this installs the kinds realised on this
// desktop. The program's entry calls it first thing, before anything logs;
// test programs and probes that run against the real desktop do the same.

namespace kes {

void install_desktop_factories();

}  // namespace kes
