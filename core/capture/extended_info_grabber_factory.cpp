#include "core/capture/extended_info_grabber_factory.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/text.h"

#include <cstdint>

namespace kes {
namespace {

const wchar_t* const lookup_tag = L"extended_info_grabber_factory::get_extended_info_grabber() - ";

// A lookup runs at every record start of every application, browser or not:
// its lines are built only when someone reads them.
bool tracing() { return log_enabled(log_level::url); }

}  // namespace

extended_info_grabber_factory::extended_info_grabber_factory() : config_(&config::instance()) {}

extended_info_grabber_factory::~extended_info_grabber_factory() = default;

std::wstring extended_info_grabber_factory::get_bundle_id(const std::wstring&, const std::wstring& suffix) {
    return suffix;
}

extended_info_grabber* extended_info_grabber_factory::fetch(const std::wstring& key) {
    if (tracing()) log(L"[extended_info_grabber_factory]fetch = " + key, log_level::url);
    const auto found = cache_.find(key);
    if (found == cache_.end()) {
        if (tracing()) log(L"[extended_info_grabber_factory]key not found", log_level::url);
        return &null_grabber_;
    }
    if (tracing()) log(L"[extended_info_grabber_factory]key found: " + util::address_text(found->second.get()),
                       log_level::url);
    return found->second.get();
}

void extended_info_grabber_factory::drop_all_chains() {
    cache_.clear();
    insertion_order_.clear();
}

extended_info_grabber* extended_info_grabber_factory::get_extended_info_grabber(const std::wstring& pid,
                                                                                const std::wstring& suffix) {
    const std::wstring key = pid + L":" + suffix;
    if (config_->take_browser_support_changed()) drop_all_chains();
    if (extended_info_grabber* cached = fetch(key); cached != &null_grabber_) return cached;

    const std::shared_ptr<const DynamicStructure> table = config_->get_browser_support();
    if (!table->IsStructure()) {
        log(std::wstring(lookup_tag) + L"expected browser_support to be a structure ", log_level::url);
        return &null_grabber_;
    }
    const std::wstring bundle = get_bundle_id(pid, suffix);
    const DynamicStructure& entry = table->GetMember(bundle);
    if (tracing()) log(std::wstring(lookup_tag) + L"Finding grabber for: " + bundle, log_level::url);
    if (!entry.IsStructure()) {
        if (tracing()) log(std::wstring(lookup_tag) + L"expected `browser` to be a non-nill structure", log_level::url);
        return &null_grabber_;
    }
    std::unique_ptr<extended_info_grabber> chain = build_chain(suffix, bundle, entry);
    if (!chain) return &null_grabber_;  // not cached: the next lookup tries again

    extended_info_grabber* head = chain.get();
    cache_[key] = std::move(chain);
    insertion_order_.push_back(key);
    if (cache_.size() > max_cached_chains) {
        cache_.erase(insertion_order_.front());
        insertion_order_.pop_front();
    }
    return head;
}

std::unique_ptr<extended_info_grabber> extended_info_grabber_factory::build_chain(const std::wstring& suffix,
                                                                                  const std::wstring& bundle_id,
                                                                                  const DynamicStructure& entry) {
    const DynamicStructure& paths = entry.GetMember(L"paths");
    if (!paths.IsArray()) {
        log(std::wstring(lookup_tag) + L"expected `paths` to be an array", log_level::url);
        return nullptr;
    }
    std::unique_ptr<extended_info_grabber> head;
    extended_info_grabber* tail = nullptr;
    for (std::size_t i = 0; i < paths.Size(); ++i) {
        // The table comes from the service: an element of another kind is
        // skipped like one without a text id.
        const DynamicStructure& path = paths[i];
        if (!path.IsStructure() || !path.GetMember(L"id").IsString()) {
            log(std::wstring(lookup_tag) + L"expected `paths.id` to be a string", log_level::url);
            continue;
        }
        const std::wstring type = path.GetMember(L"id").AsString(false);
        log(L"extended_info_grabber_factory::extended_info_grabber_for_path_dynstr() Attempting to create grabber "
            L"for: " + type,
            log_level::url);
        std::unique_ptr<extended_info_grabber> link = get_extended_info_grabber(suffix, bundle_id, type, path);
        if (!link) continue;
        extended_info_grabber* added = link.get();
        if (tail) {
            tail->set_next(std::move(link));
        } else {
            head = std::move(link);
        }
        tail = added;
    }
    return head;
}

}  // namespace kes
