#pragma once
// The desktop's clipboard, for plain text.

#include <string>

namespace platform {

class clipboard {
public:
    virtual ~clipboard() = default;

    // Replaces whatever the clipboard held with `utf8_text`.
    virtual void set_text(const std::string& utf8_text) = 0;
    virtual std::string text() const = 0;
};

}  // namespace platform
