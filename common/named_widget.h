#pragma once

#include <QPushButton>
#include <QString>
#include <type_traits>

// Every control gets its name (the one tests, scripts and screen readers find it by) and its
// tool tip where it has one.
template <typename T> T* named(T* widget, const QString& name, const QString& toolTip = {})
{
    widget->setObjectName(name);
    if constexpr (std::is_base_of_v<QWidget, T>) {
        if (!toolTip.isEmpty())
            widget->setToolTip(toolTip);
    }
    return widget;
}

inline QPushButton* namedButton(const QString& name, const QString& caption, const QString& toolTip, QWidget* parent)
{
    return named(new QPushButton(caption, parent), name, toolTip);
}
