#pragma once
// Turns samples of the front application, window title and idle time into
// activity records. One `scan` per scanner-thread cycle.

#include "core/foundation/noncopyable.h"

namespace kes {

class scanner : public noncopyable {
public:
    scanner();
    virtual ~scanner();

    virtual void scan();
};

}  // namespace kes
