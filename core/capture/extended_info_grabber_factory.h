#pragma once
// Builds and keeps the address chains of browser processes. A process's
// chain follows its browser's entry in the browser-support table: one link
// per listed path, in order. Chains are cached per process (at most 10, the
// oldest inserted goes first) and all dropped when a new table is stored.
// Used on the scanner thread only.

#include "core/capture/extended_info_grabber.h"
#include "core/foundation/noncopyable.h"

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>

namespace kes {

class DynamicStructure;
class config;

class extended_info_grabber_factory : public noncopyable {
public:
    static constexpr std::size_t max_cached_chains = 10;

    extended_info_grabber_factory();
    virtual ~extended_info_grabber_factory();

    // One link for a path id of the table; null for an id this platform
    // cannot handle. `path` is the table's element for the path.
    virtual std::unique_ptr<extended_info_grabber> get_extended_info_grabber(const std::wstring& suffix,
                                                                             const std::wstring& bundle_id,
                                                                             const std::wstring& id,
                                                                             const DynamicStructure& path) = 0;

    // The browser-support key of a process; empty when it is no browser
    // this agent knows. The base answers `suffix`.
    virtual std::wstring get_bundle_id(const std::wstring& pid, const std::wstring& suffix);

    // The chain of a process: owned here, or the null link; never null.
    // Valid until the next call (the cache may drop it).
    extended_info_grabber* get_extended_info_grabber(const std::wstring& pid, const std::wstring& suffix);

    // The cached chain for a key, or the null link.
    extended_info_grabber* fetch(const std::wstring& key);

    std::size_t cached_chains() const { return cache_.size(); }

private:
    // The chain for a table entry; null when no path gave a link.
    std::unique_ptr<extended_info_grabber> build_chain(const std::wstring& suffix, const std::wstring& bundle_id,
                                                       const DynamicStructure& entry);
    void drop_all_chains();

    config* config_;
    null_extended_info_grabber null_grabber_;
    std::map<std::wstring, std::unique_ptr<extended_info_grabber>> cache_;
    std::list<std::wstring> insertion_order_;
};

}  // namespace kes
