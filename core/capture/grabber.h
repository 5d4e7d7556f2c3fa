#pragma once
// The scanner's only source of facts about what the user has in front: the
// front application's process id, name, path and version, its focused
// window's title, the OS user and computer names, a hash of the application
// file and, for browsers, the page address. Every operation answers a wide
// string and none throws on a missing answer (empty text instead). One
// grabber is used from one thread, the scanner's.

#include "core/foundation/noncopyable.h"

#include <memory>
#include <string>

namespace kes {

class config;

class grabber : public noncopyable {
public:
    grabber();
    virtual ~grabber();

    // The grabber of this platform.
    static std::shared_ptr<grabber> create();

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

    // The front browser's page address (or its domain); empty for anything
    // else. No browser link is wired on this desktop yet, so it is empty.
    virtual std::wstring get_extended_info();

    // True while blocking is active and `name` is on the block list exactly.
    bool is_application_blocked(const std::wstring& name);

    // A title carrying "Kestrel Unblock: " + an address lifts every block
    // whose item occurs in that address.
    void unblock_by_window_title(const std::wstring& title);

    // The SHA-1 digest of a file's bytes in the form above.
    static std::wstring hash_file(const std::string& path);

protected:
    config* config_;
};

}  // namespace kes
