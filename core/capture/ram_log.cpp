#include "core/capture/ram_log.h"

namespace kes {

void ram_log::append(const log_entry& record) {
    cached_csv_.clear();
    entries_.push_back(record);
}

std::uint32_t ram_log::size() const { return static_cast<std::uint32_t>(entries_.size()); }

std::wstring ram_log::to_csv() {
    if (cached_csv_.empty()) {
        const ram_log& self = *this;
        for (auto it = self.begin(); it != self.end(); ++it) cached_csv_ += it->to_csv_row();
    }
    return cached_csv_;
}

void ram_log::clear() {
    cached_csv_.clear();
    entries_.clear();
}

ram_log::iterator ram_log::begin() {
    cached_csv_.clear();
    return entries_.begin();
}

ram_log::iterator ram_log::end() {
    cached_csv_.clear();
    return entries_.end();
}

void ram_log::swap(ram_log& other) noexcept {
    entries_.swap(other.entries_);
    cached_csv_.swap(other.cached_csv_);
}

void ram_log::prepend(ram_log&& earlier) {
    cached_csv_.clear();
    earlier.cached_csv_.clear();
    entries_.splice(entries_.begin(), earlier.entries_);
}

}  // namespace kes
