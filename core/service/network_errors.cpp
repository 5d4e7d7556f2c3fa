#include "core/service/network_errors.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

namespace Kestrel::Network {

Exception::Exception(std::wstring text) : Exception(std::move(text), L"Exception") {}

Exception::Exception(std::wstring text, const wchar_t* class_name)
    : message(std::move(text)), narrow_message_(kes::util::wstring_to_utf8_lossy(message)) {
    kes::log(std::wstring(L"Kestrel::Network::") + class_name + L"( \"" + message + L"\" )",
             kes::log_level::caught_network);
}

CurlError::CurlError(std::wstring text) : Exception(std::move(text), L"CurlError") {}
ParseError::ParseError(std::wstring text) : Exception(std::move(text), L"ParseError") {}
InvalidKey::InvalidKey(std::wstring text) : Exception(std::move(text), L"InvalidKey") {}
TwoFactorRequired::TwoFactorRequired(std::wstring text) : Exception(std::move(text), L"TwoFactorRequired") {}
UnexpectedHTTPCode::UnexpectedHTTPCode(std::wstring text) : Exception(std::move(text), L"UnexpectedHTTPCode") {}

}  // namespace Kestrel::Network
