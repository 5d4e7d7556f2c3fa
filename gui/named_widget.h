#pragma once
// Builders give every outlet its outlet's name as objectName, so that the
// controllers' tests and probes find it.

#include <QString>

namespace kes {

template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace kes
