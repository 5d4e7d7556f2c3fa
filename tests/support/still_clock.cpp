#include "tests/support/still_clock.h"

#include <boost/date_time/c_local_time_adjustor.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes::testing {

still_clock::still_clock()
    : started_(boost::date_time::c_local_adjustor<boost::posix_time::ptime>::utc_to_local(
          boost::posix_time::second_clock::universal_time())) {}

boost::posix_time::ptime still_clock::now() const {
    return started_ + boost::posix_time::microseconds(offset_microseconds_.load());
}

void still_clock::advance(const boost::posix_time::time_duration& by) {
    offset_microseconds_ += by.total_microseconds();
}

void still_clock::set(const boost::posix_time::ptime& at) {
    offset_microseconds_ = (at - started_).total_microseconds();
}

}  // namespace kes::testing
