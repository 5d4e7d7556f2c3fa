#include "core/capture/extended_info_grabber_url_websocket.h"

namespace kes {

common_extended_info_grabber_url_websocket::common_extended_info_grabber_url_websocket(std::wstring suffix,
                                                                                       std::wstring bundle_id,
                                                                                       std::wstring id)
    : extended_info_grabber(std::move(suffix), std::move(bundle_id), std::move(id)) {}

common_extended_info_grabber_url_websocket::~common_extended_info_grabber_url_websocket() = default;

std::wstring common_extended_info_grabber_url_websocket::get_extended_info() { return {}; }

}  // namespace kes
