#pragma once
// Texts that must never reach the debug log while something holds them: the
// password and second-factor code of a sign-in, the keys it receives. They
// may come back inside texts we do not control (a service's error message, an
// exception), so the log itself replaces them, whatever the line and level.

#include "core/foundation/noncopyable.h"

#include <string>

namespace kes {

inline constexpr const wchar_t* redacted_text = L"[redacted]";

// Keeps `secret` out of every line logged while this object lives. An empty
// text hides nothing.
class secret_in_use : public noncopyable {
public:
    explicit secret_in_use(std::wstring secret);
    ~secret_in_use();

private:
    std::wstring secret_;
};

// `text` with every secret in use replaced by "[redacted]".
std::wstring without_secrets(std::wstring text);

}  // namespace kes
