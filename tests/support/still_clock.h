#pragma once
// A local clock that stands still until moved, so a test's or a script's sums
// never straddle a second that ticked. Any thread may read or move it.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <atomic>

namespace kes::testing {

class still_clock {
public:
    still_clock();  // the local time now, in whole seconds
    explicit still_clock(const boost::posix_time::ptime& start) : started_(start) {}

    boost::posix_time::ptime now() const;
    void advance(const boost::posix_time::time_duration& by);
    void set(const boost::posix_time::ptime& at);  // a real time, not a special one

private:
    boost::posix_time::ptime started_;
    std::atomic<long long> offset_microseconds_{0};
};

}  // namespace kes::testing
