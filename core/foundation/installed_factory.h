#pragma once
// How the core makes an object whose real kind only the program knows (the
// platform system, the grabber, the user interface): the program installs a
// factory at start, before any thread runs, and the core calls it. The core
// thereby links alone; tests install fakes the same way.

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

namespace kes {

template <typename Made>
class installed_factory {
public:
    using factory = std::function<Made()>;

    // `what` names the product in the error of a call made before `install`.
    explicit installed_factory(const char* what) : what_(what) {}

    // Replaces any factory installed before.
    void install(factory make) {
        std::lock_guard<std::mutex> lock(mutex_);
        make_ = std::move(make);
    }

    // Throws std::logic_error while nothing is installed: the program's entry
    // forgot its wiring, which no caller could mend.
    Made make() const {
        factory make;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            make = make_;
        }
        if (!make) throw std::logic_error(std::string("no factory installed for ") + what_);
        return make();
    }

private:
    const char* const what_;
    mutable std::mutex mutex_;
    factory make_;
};

}  // namespace kes
