#include "core/capture/websocket_connections.h"

#include <algorithm>

namespace kes {
namespace {

// The same connection, also once it is gone (the handles still compare).
bool same(const connection_handle& a, const connection_handle& b) { return !a.owner_before(b) && !b.owner_before(a); }

}  // namespace

std::vector<websocket_connections::entry>::iterator websocket_connections::find(const connection_handle& handle) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const entry& e) { return same(e.handle, handle); });
}

void websocket_connections::add(connection_handle handle) { entries_.push_back({std::move(handle), 0, false}); }

bool websocket_connections::remove(const connection_handle& handle) {
    const auto found = find(handle);
    if (found == entries_.end()) return false;
    entries_.erase(found);
    return true;
}

void websocket_connections::set_hello(const connection_handle& handle, std::int32_t protocol_version, bool valid) {
    const auto found = find(handle);
    if (found == entries_.end()) return;
    found->protocol_version = protocol_version;
    found->valid = valid;
}

std::vector<connection_handle> websocket_connections::valid() const {
    std::vector<connection_handle> handles;
    for (const entry& e : entries_) {
        if (e.valid) handles.push_back(e.handle);
    }
    return handles;
}

std::vector<connection_handle> websocket_connections::all() const {
    std::vector<connection_handle> handles;
    handles.reserve(entries_.size());
    for (const entry& e : entries_) handles.push_back(e.handle);
    return handles;
}

}  // namespace kes
