#pragma once
// Sends recorded activity to the web service: one `shove` per pusher cycle.

#include "core/foundation/noncopyable.h"

namespace kes {

class pusher : public noncopyable {
public:
    pusher();
    virtual ~pusher();

    virtual void shove();
};

}  // namespace kes
