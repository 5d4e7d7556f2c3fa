#include "core/capture/scanner.h"

#include "core/capture/logger.h"

namespace kes {

// The logger exists from the scanner's construction on: it converts old
// activity logs before any thread runs.
scanner::scanner() { logger::get_instance(); }

scanner::~scanner() = default;

void scanner::scan() {}

}  // namespace kes
