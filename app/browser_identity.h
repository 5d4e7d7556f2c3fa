#pragma once
// Which browser a Linux process is. Processes here carry no bundle
// identifier, so the browser-support table's keys are found from what the
// desktop tells of the front window: its WM_CLASS class, and else the base
// name of its executable, each compared without regard to case against one
// small table of the names the browsers' Linux builds use.
//
//   WM_CLASS class or executable                     browser-support key
//   firefox, firefox-esr, firefox-bin                org.mozilla.firefox
//   firefox-nightly                                  org.mozilla.nightly
//   firefox-developer-edition, firefox-aurora        org.mozilla.firefoxdeveloperedition
//   google-chrome, google-chrome-stable, chrome,
//   chromium, chromium-browser                       com.google.Chrome
//   vivaldi, vivaldi-stable, vivaldi-bin             com.vivaldi.Vivaldi
//   brave, brave-browser                             com.brave.Browser
//   opera                                            com.operasoftware.Opera
//   yandex-browser, yandex_browser                   ru.yandex.desktop.yandex-browser

#include <string>
#include <string_view>

namespace kes {

// The key for a window's class and its process's executable path; empty
// when neither names a browser of the table.
std::wstring browser_support_key_for(std::string_view wm_class, std::string_view executable_path);

}  // namespace kes
