#include "app/browser_identity.h"

#include <cstddef>

namespace kes {
namespace {

struct browser_name {
    std::string_view name;  // lower case
    const wchar_t* key;
};

constexpr const wchar_t* firefox = L"org.mozilla.firefox";
constexpr const wchar_t* nightly = L"org.mozilla.nightly";
constexpr const wchar_t* developer_edition = L"org.mozilla.firefoxdeveloperedition";
constexpr const wchar_t* chrome = L"com.google.Chrome";
constexpr const wchar_t* vivaldi = L"com.vivaldi.Vivaldi";
constexpr const wchar_t* brave = L"com.brave.Browser";
constexpr const wchar_t* opera = L"com.operasoftware.Opera";
constexpr const wchar_t* yandex = L"ru.yandex.desktop.yandex-browser";

constexpr browser_name browser_names[] = {
    {"firefox", firefox},
    {"firefox-esr", firefox},
    {"firefox-bin", firefox},
    {"firefox-nightly", nightly},
    {"firefox-developer-edition", developer_edition},
    {"firefox-aurora", developer_edition},
    {"google-chrome", chrome},
    {"google-chrome-stable", chrome},
    {"chrome", chrome},
    {"chromium", chrome},
    {"chromium-browser", chrome},
    {"vivaldi", vivaldi},
    {"vivaldi-stable", vivaldi},
    {"vivaldi-bin", vivaldi},
    {"brave", brave},
    {"brave-browser", brave},
    {"opera", opera},
    {"yandex-browser", yandex},
    {"yandex_browser", yandex},
};

bool equal_ignoring_case(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i]) return false;
    }
    return true;
}

const wchar_t* key_of(std::string_view name) {
    if (name.empty()) return nullptr;
    for (const browser_name& browser : browser_names) {
        if (equal_ignoring_case(name, browser.name)) return browser.key;
    }
    return nullptr;
}

}  // namespace

std::wstring browser_support_key_for(std::string_view wm_class, std::string_view executable_path) {
    if (const wchar_t* key = key_of(wm_class)) return key;
    const auto slash = executable_path.rfind('/');
    const std::string_view executable =
        slash == std::string_view::npos ? executable_path : executable_path.substr(slash + 1);
    if (const wchar_t* key = key_of(executable)) return key;
    return {};
}

}  // namespace kes
