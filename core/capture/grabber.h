#pragma once
// The scanner's only source of facts about what the user has in front: the
// front application's process id, name, path and version, its focused
// window's title, the OS user and computer names, a hash of the application
// file and, for browsers, the page address. Every operation answers a wide
// string and none throws on a missing answer (empty text instead). One
// grabber is used from one thread, the scanner's.

#include "core/foundation/noncopyable.h"

#include <functional>
#include <memory>
#include <string>

namespace kes {

class config;
class extended_info_grabber_factory;

class grabber : public noncopyable {
public:
    // `factory` builds the browsers' address chains; without one no
    // application has a page address.
    grabber();
    explicit grabber(std::unique_ptr<extended_info_grabber_factory> factory);
    virtual ~grabber();

    using factory = std::function<std::shared_ptr<grabber>()>;

    // The grabber of this platform, made by the factory the program's entry
    // installed; throws std::logic_error before that.
    static std::shared_ptr<grabber> create();
    static void install_factory(factory make);

    // The scanner brackets each pass with these: a grabber that keeps what
    // it learnt may take in the desktop's changes at the start and answer
    // the pass's repeated questions from that one picture.
    virtual void begin_pass() {}
    virtual void end_pass() {}

    virtual std::wstring get_active_process_id() = 0;
    virtual std::wstring get_process_name() = 0;
    virtual std::wstring get_application_name() = 0;
    virtual std::wstring get_process_filename() = 0;
    virtual std::wstring get_process_version(bool own_process) = 0;
    virtual std::wstring get_window_title() = 0;
    virtual std::wstring get_os_username() = 0;
    virtual std::wstring get_computer_name() = 0;

    // SHA-1 of the file at `get_process_filename`, as 40 upper-case
    // hexadecimal digits; empty when the file cannot be read.
    virtual std::wstring get_process_hash();

    // The front browser's page address from the first link of its chain
    // that answers; only its scheme and host unless full addresses are
    // enabled; "non-whitelisted website" when the whitelist filter is on and
    // refuses it. Empty for anything that is no browser.
    virtual std::wstring get_extended_info();

    // The part of an address up to its host: with `host_only` the host (and
    // port) alone, else the scheme, "://" and the host. An address without a
    // scheme keeps what precedes its first "/".
    static std::wstring get_domain(const std::wstring& url, bool host_only);

    // True while the whitelist filter is off, or when some whitelist entry
    // occurs in the lower-cased text (an empty entry always does).
    bool is_data_whitelisted(const std::wstring& data) const;

    // True while blocking is active and `name` is on the block list exactly.
    bool is_application_blocked(const std::wstring& name);

    // A title carrying "Kestrel Unblock: " + an address lifts every block
    // whose item occurs in that address. A block list stored by another
    // thread meanwhile is not overwritten: the removal is made in it.
    void unblock_by_window_title(const std::wstring& title);

    // The SHA-1 digest of a file's bytes in the form above.
    static std::wstring hash_file(const std::string& path);

protected:
    config* config_;

private:
    std::unique_ptr<extended_info_grabber_factory> factory_;
};

}  // namespace kes
