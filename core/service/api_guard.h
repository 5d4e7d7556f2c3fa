#pragma once
// Shared by the API's source files: the guard that turns a broken answer
// into ParseError.

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/service/network_errors.h"
#include "core/service/redaction.h"
#include "core/foundation/text_table.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

namespace Kestrel::Network::detail {

// The JSON library's parse errors quote the text they last read, which in an
// answer holding keys may be a key: that part stays out of the log then.
[[noreturn]] inline void parse_failed(const wchar_t* operation, std::string what, bool answer_is_secret) {
    const auto quoted = what.find("; last read:");
    if (answer_is_secret && quoted != std::string::npos) what = what.substr(0, quoted) + "; last read: [redacted]";
    kes::log(std::wstring(L"[API::") + operation + L"] Caught nlohmann::json::exception: " +
                 kes::util::utf8_to_wstring_lossy(kes::network::loggable_prefix(what)),
             kes::log_level::caught_service);
    throw ParseError(kes::get_text(L"status_error_invalid_response"));
}

// Runs `read` (parsing and reading an answer, or building a body); a JSON
// error or text that is not valid UTF-8 becomes ParseError.
template <class Read>
auto parse_guarded(const wchar_t* operation, Read&& read, bool answer_is_secret = false) -> decltype(read()) {
    try {
        return read();
    } catch (const nlohmann::json::exception& e) {
        parse_failed(operation, e.what(), answer_is_secret);
    } catch (const std::range_error& e) {
        parse_failed(operation, e.what(), answer_is_secret);
    } catch (const std::runtime_error& e) {  // an answer nested too deep to read
        parse_failed(operation, e.what(), answer_is_secret);
    }
}

}  // namespace Kestrel::Network::detail
