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

template <class Keep>
std::vector<connection_handle> websocket_connections::handles_where(Keep keep) const {
    std::vector<connection_handle> handles;
    for (const entry& e : entries_) {
        if (keep(e)) handles.push_back(e.handle);
    }
    return handles;
}

// A connection can end without a word to the bridge (its peer leaves before
// the handshake): its entry goes once its connection is gone.
void websocket_connections::drop_gone() {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const entry& e) { return e.handle.expired(); }),
                   entries_.end());
}

void websocket_connections::add_accepted(connection_handle handle, clock::time_point accepted) {
    drop_gone();
    entry added;
    added.handle = std::move(handle);
    added.accepted = accepted;
    entries_.push_back(std::move(added));
}

bool websocket_connections::mark_open(const connection_handle& handle) {
    const auto found = find(handle);
    if (found == entries_.end()) return false;
    found->open = true;
    return true;
}

bool websocket_connections::remove(const connection_handle& handle) {
    const auto found = find(handle);
    if (found == entries_.end()) return false;
    entries_.erase(found);
    return true;
}

void websocket_connections::set_hello(const connection_handle& handle, std::int32_t protocol_version, bool valid) {
    const auto found = find(handle);
    if (found == entries_.end()) return;
    found->hello_said = true;
    found->protocol_version = protocol_version;
    found->valid = valid;
}

void websocket_connections::mark_ending(const connection_handle& handle) {
    const auto found = find(handle);
    if (found != entries_.end()) found->ending = true;
}

bool websocket_connections::is_held_and_not_ending(const connection_handle& handle) {
    const auto found = find(handle);
    return found != entries_.end() && !found->ending;
}

websocket_connections::room websocket_connections::make_room(std::size_t capacity) {
    drop_gone();
    room answer;
    const auto ending = static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const entry& e) { return e.ending; }));
    if (entries_.size() - ending < capacity) return answer;
    const auto oldest =
        std::find_if(entries_.begin(), entries_.end(), [](const entry& e) { return !e.ending && !e.valid; });
    // Those ending still hold their sockets for a moment: never more than
    // as many again as the capacity.
    if (oldest == entries_.end() || ending >= capacity) {
        answer.refuse = true;
    } else {
        oldest->ending = true;
        answer.give_up = oldest->handle;
    }
    return answer;
}

std::vector<connection_handle> websocket_connections::without_hello_since(clock::time_point cutoff) const {
    return handles_where([&](const entry& e) { return !e.hello_said && !e.ending && e.accepted <= cutoff; });
}

std::optional<websocket_connections::clock::time_point> websocket_connections::oldest_without_hello() const {
    for (const entry& e : entries_) {
        if (!e.hello_said && !e.ending) return e.accepted;
    }
    return std::nullopt;
}

std::vector<connection_handle> websocket_connections::valid() const {
    return handles_where([](const entry& e) { return e.open && e.valid; });
}

std::vector<connection_handle> websocket_connections::open() const {
    return handles_where([](const entry& e) { return e.open; });
}

std::vector<connection_handle> websocket_connections::opening() const {
    return handles_where([](const entry& e) { return !e.open; });
}

std::size_t websocket_connections::size() const {
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const entry& e) { return e.open; }));
}

std::size_t websocket_connections::held() {
    drop_gone();
    return entries_.size();
}

}  // namespace kes
