#pragma once
// Where the WebSocket library's own access and error logs go: each line it
// writes becomes a debug-log line "[websocketpp log]: " + the line, at the
// url level (these lines carry requested addresses). A line that reaches
// 4096 characters without its line feed puts the stream into its failed
// state, and the library's output is dropped from then on. The library writes
// lines for every connection and frame, so a peer decides how many: they
// pass a rate limit.

#include "core/foundation/log_rate_limit.h"

#include <streambuf>
#include <string>

namespace kes::impl {

class keslog_stream : public std::streambuf {
public:
    static constexpr std::size_t line_limit = 4096;

protected:
    int_type overflow(int_type c) override;

private:
    std::string line_;
    log_rate_limit lines_;
};

}  // namespace kes::impl
