#pragma once
// The preferences window's controller: the window that holds the sign-in
// form and the account's settings. The application controller forwards the
// sign-in's status texts and its success here, and opens the window from the
// menu. This one shows where the sign-in stands; the form itself lives in
// the window's own layout.

#include <memory>
#include <mutex>
#include <string>

class QLabel;
class QWidget;

namespace platform {
class main_queue;
}

namespace kes {

class osx_PreferencesWindow {
public:
    static constexpr const char* layout_name = "osx_PreferencesWindow";

    explicit osx_PreferencesWindow(platform::main_queue& queue);
    virtual ~osx_PreferencesWindow();
    osx_PreferencesWindow(const osx_PreferencesWindow&) = delete;
    osx_PreferencesWindow& operator=(const osx_PreferencesWindow&) = delete;

    // Opens and fronts the window (main thread).
    virtual void showPreferencesWindow();
    // Any thread: the text is kept at once and shown on the main thread.
    virtual void setStatusMessage(const std::wstring& text, int mode);
    // After a successful sign-in (main thread).
    virtual void updateWithPostActivateState();

    // Hides the window (main thread).
    void orderOut();
    std::wstring status_text() const;

    QWidget& window();
    QLabel* statusLabel = nullptr;

private:
    platform::main_queue& queue_;
    std::unique_ptr<QWidget> window_;  // made at the first showing
    mutable std::mutex mutex_;
    std::wstring status_text_;
    std::shared_ptr<osx_PreferencesWindow*> self_;
};

}  // namespace kes
