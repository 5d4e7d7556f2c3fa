#pragma once
// Opening web pages in the user's browser and folders in the file manager,
// never through a shell. Only http and https addresses open as pages; anything
// else is refused, and the answer says why.

#include <optional>
#include <string>

namespace platform {

struct open_result {
    enum class outcome { opened, refused, failed };
    outcome status = outcome::failed;
    std::string reason;  // why not, unless opened

    bool opened() const { return status == outcome::opened; }
    static open_result success() { return {outcome::opened, {}}; }
    static open_result refusal(std::string why) { return {outcome::refused, std::move(why)}; }
    static open_result failure(std::string why) { return {outcome::failed, std::move(why)}; }
};

class url_opener {
public:
    virtual ~url_opener() = default;

    // `address` is percent-encoded already (no blanks, no control characters).
    virtual open_result open_web_page(const std::string& address) = 0;
    // An absolute UTF-8 path: a folder opens in the file manager; for a file
    // its folder opens (a file is shown, never run).
    virtual open_result show_in_file_manager(const std::string& path) = 0;
};

// `utf8_address` with every byte that may not stand in an address
// percent-escaped (blanks, controls, non-ASCII bytes, "<>\"\\^`{|}", a '%'
// that starts no escape); everything else, valid escapes included, stays, so
// an address escaped already is not escaped twice.
std::string escape_illegal_url_characters(const std::string& utf8_address);

// What every opener checks first: nothing when `address` may open as a web
// page, else why not.
std::optional<std::string> web_page_refusal(const std::string& address);

}  // namespace platform
