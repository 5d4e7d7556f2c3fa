#pragma once
// Activity records in memory, in insertion order, with their CSV text built
// once on demand and dropped by every change.

#include "core/capture/activity_log.h"

namespace kes {

class ram_log : public activity_log {
public:
    ram_log() = default;

    void append(const log_entry& record) override;
    std::uint32_t size() const override;
    std::wstring to_csv() override;
    bool is_persistent() const override { return false; }
    void clear() override;
    iterator begin() override;
    iterator end() override;
    const_iterator begin() const override { return entries_.begin(); }
    const_iterator end() const override { return entries_.end(); }

    // Exchanges the records of two logs without copying them.
    void swap(ram_log& other) noexcept;
    // Puts the records of `earlier` before this log's own, keeping both orders.
    void prepend(ram_log&& earlier);

private:
    std::list<log_entry> entries_;
    std::wstring cached_csv_;
};

}  // namespace kes
