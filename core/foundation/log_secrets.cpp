#include "core/foundation/log_secrets.h"

#include "core/foundation/text.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace kes {
namespace {

class secret_registry {
public:
    void add(const std::wstring& secret) {
        std::lock_guard<std::mutex> lock(mutex_);
        secrets_.push_back(secret);
        // Longest first: a secret that holds another is replaced whole.
        std::stable_sort(secrets_.begin(), secrets_.end(),
                         [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
        count_.store(secrets_.size());
    }

    void remove(const std::wstring& secret) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = std::find(secrets_.begin(), secrets_.end(), secret);
        if (found != secrets_.end()) secrets_.erase(found);
        count_.store(secrets_.size());
    }

    std::wstring scrub(std::wstring text) const {
        if (count_.load() == 0) return text;  // the usual case costs one load
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::wstring& secret : secrets_) {
            if (text.find(secret) != std::wstring::npos) text = util::replace_all(text, secret, redacted_text);
        }
        return text;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::wstring> secrets_;
    std::atomic<std::size_t> count_{0};
};

secret_registry& registry() {
    static secret_registry* const instance = new secret_registry();  // the log is used until exit
    return *instance;
}

}  // namespace

secret_in_use::secret_in_use(std::wstring secret) : secret_(std::move(secret)) {
    if (!secret_.empty()) registry().add(secret_);
}

secret_in_use::~secret_in_use() {
    if (!secret_.empty()) registry().remove(secret_);
}

std::wstring without_secrets(std::wstring text) { return registry().scrub(std::move(text)); }

}  // namespace kes
