#include "app/unsupported/NSRunningApplication_Kestrel.h"

#include "core/foundation/text.h"

#include <algorithm>

namespace kes {
namespace {

bool is(const std::wstring& bundle_identifier, const wchar_t* identifier) {
    return util::to_lower(bundle_identifier) == util::to_lower(identifier);
}

}  // namespace

bool kes_isSafari(const std::wstring& id) { return is(id, L"com.apple.Safari"); }
bool kes_isSafariTechnologyPreview(const std::wstring& id) { return is(id, L"com.apple.SafariTechnologyPreview"); }
bool kes_isChrome(const std::wstring& id) { return is(id, L"com.google.Chrome"); }
bool kes_isChromeCanary(const std::wstring& id) { return is(id, L"com.google.Chrome.canary"); }
bool kes_isOpera(const std::wstring& id) { return is(id, L"com.operasoftware.Opera"); }
bool kes_isVivaldi(const std::wstring& id) { return is(id, L"com.vivaldi.Vivaldi"); }
bool kes_isYandex(const std::wstring& id) { return is(id, L"ru.yandex.desktop.yandex-browser"); }
bool kes_isBrave(const std::wstring& id) { return is(id, L"com.brave.Browser"); }

const std::vector<std::wstring>& kes_mozillaBrowsers() {
    static const std::vector<std::wstring> browsers = {
        util::to_lower(L"org.mozilla.firefox"), util::to_lower(L"org.mozilla.nightly"),
        util::to_lower(L"org.mozilla.firefoxdeveloperedition")};
    return browsers;
}

bool kes_isMozillaBrowser(const std::wstring& id) {
    const std::vector<std::wstring>& browsers = kes_mozillaBrowsers();
    return std::find(browsers.begin(), browsers.end(), util::to_lower(id)) != browsers.end();
}

}  // namespace kes
