#include "core/capture/keslog_stream.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

namespace kes::impl {
namespace {

constexpr const wchar_t* site = L"[websocketpp log]";

}  // namespace

keslog_stream::int_type keslog_stream::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (line_.size() >= line_limit) return traits_type::eof();
    const char character = traits_type::to_char_type(c);
    line_.push_back(character);
    if (character == '\n') {
        if (lines_.admits(site, log_level::url)) {
            // A carriage return inside a frame's text must not hide the start of the line.
            log(std::wstring(site) + L": " + util::replace_all(util::utf8_to_wstring_lossy(line_), L"\r", L"\\r"),
                log_level::url);
        }
        line_.clear();
    }
    return c;
}

}  // namespace kes::impl
