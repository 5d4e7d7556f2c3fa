#include "core/service/sync_service.h"

namespace kes {
namespace {

class api_sync_service : public sync_service {
public:
    explicit api_sync_service(Kestrel::Network::API& client) : client_(client) {}

    std::wstring activate_silent() override { return client_.activate_silent(); }
    void upload_tz_event(const std::wstring& data_key, double start_time, const std::string& zone_name) override {
        client_.upload_tz_event(data_key, start_time, zone_name);
    }
    void upload_debug_log(const std::wstring& text) override { client_.upload_debug_log(text); }
    void upload_activity_log(const upload_file& file, const std::wstring& host,
                             const std::wstring& account_key) override {
        client_.upload_activity_log(file, host, account_key);
    }
    std::vector<message> get_messages() override { return client_.get_messages(); }
    DynamicStructure get_config() override { return client_.get_config(); }
    Kestrel::Network::alerts_result get_alerts() override { return client_.get_alerts(); }
    DynamicStructure get_browser_support_list() override {
        return client_.get_browser_support_list();
    }
    Kestrel::Network::block_list_result get_blocked_list(bool start, bool end, int duration_minutes) override {
        return client_.get_blocked_list(start, end, duration_minutes);
    }

private:
    Kestrel::Network::API& client_;
};

}  // namespace

std::shared_ptr<sync_service> make_sync_service(Kestrel::Network::API& client) {
    return std::make_shared<api_sync_service>(client);
}

}  // namespace kes
