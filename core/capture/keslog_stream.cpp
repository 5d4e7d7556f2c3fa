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
            // The library quotes what peers send (a resource, a user agent):
            // nothing of theirs may hide or forge the start of a line. The
            // line keeps its own line feed.
            const std::string_view text(line_.data(), line_.size() - 1);
            log(std::wstring(site) + L": " + util::escape_control_characters(util::utf8_to_wstring_lossy(text)) +
                    L"\n",
                log_level::url);
        }
        line_.clear();
    }
    return c;
}

}  // namespace kes::impl
