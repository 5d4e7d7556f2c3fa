#pragma once
// The small pieces every window layout is built from: controls named as
// their outlets (named_widget.h), buttons that do not grab Return,
// plain-text labels, and top-level windows that hide rather than end when
// closed.

#include "gui/named_widget.h"  // named(): the outlet's name as objectName

#include <QString>
#include <Qt>

#include <memory>

class QLabel;
class QPushButton;
class QWidget;

namespace kes {

// A window of the agent's own; closing it hides it (its owner keeps it).
std::unique_ptr<QWidget> top_level_window(const char* name, const QString& title, Qt::WindowFlags extra = {});

QPushButton* push_button(QWidget* parent, const char* name, const QString& title);

// Plain text (never markup from anywhere), wrapped.
QLabel* text_label(QWidget* parent, const char* name, const QString& text = {});

// A label in a larger, bold face: a page's title.
QLabel* title_label(QWidget* parent, const char* name, const QString& text);

}  // namespace kes
