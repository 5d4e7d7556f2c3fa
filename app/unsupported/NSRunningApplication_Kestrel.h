#pragma once
// Which browser a running application is, from its bundle identifier; every
// comparison ignores case. Which browser is asked in which way is decided by
// the browser-support table, not by these.
//
// Kept apart in app/unsupported/: only the tests call these. Processes here
// have no bundle identifier; app/browser_identity.h maps a front window to
// the browser-support table's keys instead.

#include <string>
#include <vector>

namespace kes {

bool kes_isSafari(const std::wstring& bundle_identifier);
bool kes_isSafariTechnologyPreview(const std::wstring& bundle_identifier);
bool kes_isChrome(const std::wstring& bundle_identifier);
bool kes_isChromeCanary(const std::wstring& bundle_identifier);
bool kes_isOpera(const std::wstring& bundle_identifier);
bool kes_isVivaldi(const std::wstring& bundle_identifier);
bool kes_isYandex(const std::wstring& bundle_identifier);
bool kes_isBrave(const std::wstring& bundle_identifier);
bool kes_isMozillaBrowser(const std::wstring& bundle_identifier);

// The Firefox family's identifiers, lower-cased; built once.
const std::vector<std::wstring>& kes_mozillaBrowsers();

}  // namespace kes
