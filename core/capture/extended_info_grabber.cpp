#include "core/capture/extended_info_grabber.h"

#include "core/capture/grabber.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/ui/web_links.h"
#include "kes/build_config.h"

namespace kes {
namespace {

// Built only when someone reads them: a browser's every record start asks.
bool tracing() { return log_enabled(log_level::url); }
// The lines quote page addresses, which the page (or a local peer) chose.
void trace_line(const std::wstring& message) { log(util::escape_control_characters(message), log_level::url); }

// The text the block list is searched for: the extended-domain entry found
// in the address (the last one found wins), else the address's host.
std::wstring block_list_key(const std::wstring& url, const std::wstring& lower,
                            const std::vector<std::wstring>& extended_domains) {
    std::wstring key;
    bool found = false;
    for (const std::wstring& entry : extended_domains) {
        if (entry == L"unlisted") continue;
        // Once an entry was found, a later one is looked for in that entry.
        const std::wstring& searched = found ? key : lower;
        if (util::contains(searched, entry) || util::contains(url, entry)) {
            key = entry;
            found = true;
        }
    }
    return found ? key : grabber::get_domain(lower, true);
}

// `text` is "www." followed by `rest`.
bool is_www_of(const std::wstring& text, const std::wstring& rest) {
    static const std::wstring www = L"www.";
    return text.size() == www.size() + rest.size() && text.compare(0, www.size(), www) == 0 &&
           text.compare(www.size(), rest.size(), rest) == 0;
}

// A host matches its entry with or without "www." on either side.
bool matches(const std::wstring& item, const std::wstring& key) {
    return item == key || is_www_of(item, key) || is_www_of(key, item);
}

}  // namespace

extended_info_grabber::extended_info_grabber(std::wstring suffix, std::wstring bundle_id, std::wstring id)
    : config_(&config::instance()), suffix_(std::move(suffix)), bundle_id_(std::move(bundle_id)), id_(std::move(id)) {}

extended_info_grabber::~extended_info_grabber() = default;

null_extended_info_grabber::null_extended_info_grabber()
    : extended_info_grabber(L"null-grabber", L"null-grabber", L"null-grabber") {}

bool extended_info_grabber::is_url_blocked(const std::wstring& url, std::wstring& redirect) const {
    redirect.clear();
    const bool active = config_->is_blocking_activities();
    if (tracing()) {
        trace_line(std::wstring(L"[extended_info_grabber:is_url_blocked] is_blocking_activities = ") +
                   (active ? L"1" : L"0"));
    }
    if (!active) return false;

    const std::wstring lower = util::to_lower(url);
    const std::shared_ptr<const std::vector<std::wstring>> items = config_->blocked_items_snapshot();
    const std::wstring_view service_domain = build::service_domain;
    if (tracing()) {
        trace_line(L"[extended_info_grabber:is_url_blocked] block list size = " + std::to_wstring(items->size()));
        trace_line(L"[extended_info_grabber:is_url_blocked] searching for " + std::wstring(service_domain) +
                   L" in lower_url: " + lower);
    }
    if (util::contains(lower, service_domain) || util::contains(lower, L"//newtab") ||
        util::contains(lower, L":newtab")) {
        return false;
    }

    const std::wstring key = block_list_key(url, lower, config_->get_extended_domain_list());
    if (tracing()) trace_line(L"[extended_info_grabber:is_url_blocked] searching block list for url = " + key);
    for (const std::wstring& item : *items) {
        if (!matches(item, key)) continue;
        trace_line(L"[extended_info_grabber:is_url_blocked] found match = " + item);
        trace_line(L"[extended_info_grabber:is_url_blocked] found match = " + key);
        const std::wstring active_domain = grabber::get_domain(url, false);
        trace_line(L"[extended_info_grabber_url:is_url_blocked] active_domain is: " + active_domain);
        redirect = block_page_address(active_domain);
        trace_line(L"[extended_info_grabber_url:is_url_blocked] redirect_url: " + redirect);
        return true;
    }
    return false;
}

}  // namespace kes
