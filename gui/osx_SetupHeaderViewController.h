#pragma once
// The three steps at the top of every wizard page (sign-in, permissions,
// done), with the page's own step in the text colour and the others
// greyed out; on the closing page the logo lights up.

#include <QPointer>

#include <string>

class QLabel;
class QWidget;

namespace kes {

class osx_SetupHeaderViewController {
public:
    static constexpr const char* layout_name = "osx_SetupHeaderViewController";
    enum state : int { sign_in = 0, permissions = 1, done = 2 };

    static constexpr const char* done_image_inactive = "kestrel-logo-icon-inactive";
    static constexpr const char* done_image_active = "kestrel-logo-icon-active";

    // `initWithHeaderState:`; the pictures come from `resource_dir`.
    osx_SetupHeaderViewController(int headerState, std::string resource_dir);
    ~osx_SetupHeaderViewController();
    osx_SetupHeaderViewController(const osx_SetupHeaderViewController&) = delete;
    osx_SetupHeaderViewController& operator=(const osx_SetupHeaderViewController&) = delete;

    // Puts the view into `container` (a page's header strip).
    void placeIn(QWidget& container);
    QWidget& view() { return *view_; }

    // The image the done step shows.
    const std::string& doneImageName() const { return done_image_; }

    const int headerState;
    QLabel* loginImageView = nullptr;
    QLabel* loginLabel = nullptr;
    QLabel* accessibilityImageView = nullptr;
    QLabel* accessibilityLabel = nullptr;
    QLabel* doneImageView = nullptr;
    QLabel* doneLabel = nullptr;

private:
    void awakeFromNib();

    std::string resource_dir_;
    std::string done_image_;
    QPointer<QWidget> view_;  // the container's once placed: it ends with the page
};

}  // namespace kes
