#pragma once

namespace kes {

// Base of classes whose identity matters: copying one would duplicate a thread,
// a file handle or a process-wide role.
class noncopyable {
protected:
    noncopyable() = default;
    ~noncopyable() = default;

public:
    noncopyable(const noncopyable&) = delete;
    noncopyable& operator=(const noncopyable&) = delete;
};

}  // namespace kes
