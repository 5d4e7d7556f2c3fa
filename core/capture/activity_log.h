#pragma once
// An ordered collection of activity records with its upload text (one CSV row
// per record, no header line). Implementations do not lock: the owner does.
// (Named activity_log, not log: kes::log is the debug-log function.)

#include "core/capture/log_entry.h"

#include <cstdint>
#include <list>
#include <string>

namespace kes {

class activity_log {
public:
    using iterator = std::list<log_entry>::iterator;
    using const_iterator = std::list<log_entry>::const_iterator;

    virtual ~activity_log() = default;

    virtual void append(const log_entry& record) = 0;
    virtual std::uint32_t size() const = 0;
    virtual std::wstring to_csv() = 0;
    virtual bool is_persistent() const = 0;
    virtual void clear() = 0;
    // The mutable positions let callers change records, so they drop any cached text.
    virtual iterator begin() = 0;
    virtual iterator end() = 0;
    virtual const_iterator begin() const = 0;
    virtual const_iterator end() const = 0;

protected:
    activity_log() = default;
    activity_log(const activity_log&) = default;
    activity_log& operator=(const activity_log&) = default;
    activity_log(activity_log&&) = default;
    activity_log& operator=(activity_log&&) = default;
};

}  // namespace kes
