#pragma once
// One link of a browser's address chain: one way of asking a browser for the
// address of the page in front. The browser-support table lists, per
// browser, the ways to try in order; the factory builds one link for each,
// chained through `next`, and the grabber walks the chain until a link
// answers. A link that has nothing to say answers the empty text. Links are
// used on the scanner thread only.

#include "core/foundation/noncopyable.h"

#include <memory>
#include <string>

namespace kes {

class config;

class extended_info_grabber : public noncopyable {
public:
    // `id` is the path id that made the link ("websocket", ...).
    extended_info_grabber(std::wstring suffix, std::wstring bundle_id, std::wstring id);
    // Destroys the rest of the chain with it.
    virtual ~extended_info_grabber();

    // The front page's address; empty when this link cannot tell.
    virtual std::wstring get_extended_info() = 0;

    // Whether a focus session blocks the page at `url`; when it does,
    // `redirect` is the block page to show instead, else it is emptied.
    // The service's own pages and the browsers' new-tab pages are never
    // blocked. Reads the block list as it stands at the call.
    bool is_url_blocked(const std::wstring& url, std::wstring& redirect) const;

    const std::wstring& suffix() const { return suffix_; }
    const std::wstring& bundle_id() const { return bundle_id_; }
    const std::wstring& id() const { return id_; }

    extended_info_grabber* next() const { return next_.get(); }
    void set_next(std::unique_ptr<extended_info_grabber> link) { next_ = std::move(link); }

protected:
    config* config_;

private:
    std::wstring suffix_;
    std::wstring bundle_id_;
    std::wstring id_;
    std::unique_ptr<extended_info_grabber> next_;
};

// The chain of a process that is no browser this agent knows: it yields
// nothing.
class null_extended_info_grabber : public extended_info_grabber {
public:
    null_extended_info_grabber();
    std::wstring get_extended_info() override { return {}; }
};

}  // namespace kes
