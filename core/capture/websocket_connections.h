#pragma once
// The bridge's connections in the order they were accepted, from the moment
// the listener hands one over, with the stage it has reached and what its last
// hello said. It tells the bridge which connection to give up when it holds
// too many and which ones are overdue with their hello. Not locked: the bridge
// guards it with its mutex.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kes {

// A connection as the WebSocket library names it: a weak reference, so an
// entry never keeps a connection alive, and an entry whose connection is gone
// is known as such.
using connection_handle = std::weak_ptr<void>;

class websocket_connections {
public:
    using clock = std::chrono::steady_clock;

    // Taken from the listener, its handshake still to come.
    void add_accepted(connection_handle handle, clock::time_point accepted);
    // Its handshake was accepted; false when no entry is `handle`'s.
    bool mark_open(const connection_handle& handle);
    // False when no entry is `handle`'s.
    bool remove(const connection_handle& handle);
    void set_hello(const connection_handle& handle, std::int32_t protocol_version, bool valid);
    // The bridge has begun to end it: it is no longer named as overdue or
    // as the one to give up.
    void mark_ending(const connection_handle& handle);
    // Held, and not being ended by the bridge.
    bool is_held_and_not_ending(const connection_handle& handle);

    // Room for one more when `capacity` are held and not ending: nothing when
    // there is room; else the oldest held connection whose last hello was not
    // valid, now ending, which makes room once ended; else, or when as many
    // again are still ending, the newcomer must be refused (`refuse`).
    struct room {
        bool refuse = false;
        std::optional<connection_handle> give_up;
    };
    room make_room(std::size_t capacity);

    // Connections accepted at or before `cutoff` that have said no hello and
    // are not ending.
    std::vector<connection_handle> without_hello_since(clock::time_point cutoff) const;
    // When the oldest of those was accepted; nothing when there is none.
    std::optional<clock::time_point> oldest_without_hello() const;

    // The open connections whose last hello was valid, in list order.
    std::vector<connection_handle> valid() const;
    // The open ones, and those whose handshake is still to come.
    std::vector<connection_handle> open() const;
    std::vector<connection_handle> opening() const;
    // Open connections.
    std::size_t size() const;
    // Every connection held, whatever its stage (entries of connections
    // already gone are dropped first).
    std::size_t held();

private:
    struct entry {
        connection_handle handle;
        clock::time_point accepted;
        bool open = false;
        bool hello_said = false;
        bool ending = false;
        std::int32_t protocol_version = 0;
        bool valid = false;
    };

    std::vector<entry>::iterator find(const connection_handle& handle);
    void drop_gone();
    template <class Keep>
    std::vector<connection_handle> handles_where(Keep keep) const;

    std::vector<entry> entries_;
};

}  // namespace kes
