#include "gui/layout_parts.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace kes {

std::unique_ptr<QWidget> top_level_window(const char* name, const QString& title, Qt::WindowFlags extra) {
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window | extra);
    window->setObjectName(QString::fromLatin1(name));
    window->setWindowTitle(title);
    // The agent's windows are closed by hiding: the controller keeps them.
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    return window;
}

QPushButton* push_button(QWidget* parent, const char* name, const QString& title) {
    auto* made = named(new QPushButton(title, parent), name);
    made->setAutoDefault(false);
    return made;
}

QLabel* text_label(QWidget* parent, const char* name, const QString& text) {
    auto* label = named(new QLabel(text, parent), name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLabel* title_label(QWidget* parent, const char* name, const QString& text) {
    QLabel* label = text_label(parent, name, text);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.35);
    label->setFont(font);
    return label;
}

}  // namespace kes
