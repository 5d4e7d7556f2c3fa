#pragma once
// The bridge's connections in the order they were accepted, each with what
// its last hello said. Entries are added when a handshake is accepted and
// leave when the connection closes or its handshake fails after all. Not
// locked: the bridge guards it with its mutex.

#include <cstdint>
#include <memory>
#include <vector>

namespace kes {

// A connection as the WebSocket library names it: a weak reference, so an
// entry never keeps a connection alive.
using connection_handle = std::weak_ptr<void>;

class websocket_connections {
public:
    void add(connection_handle handle);
    // False when no entry is `handle`'s.
    bool remove(const connection_handle& handle);
    void set_hello(const connection_handle& handle, std::int32_t protocol_version, bool valid);

    // The connections whose last hello was valid, in list order.
    std::vector<connection_handle> valid() const;
    std::vector<connection_handle> all() const;
    std::size_t size() const { return entries_.size(); }

private:
    struct entry {
        connection_handle handle;
        std::int32_t protocol_version = 0;
        bool valid = false;
    };

    std::vector<entry>::iterator find(const connection_handle& handle);

    std::vector<entry> entries_;
};

}  // namespace kes
