#pragma once

#include <QComboBox>
#include <QStringList>

// The texts of a drop-down list's entries, in order.
inline QStringList entries(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items.append(list->itemText(i));
    return items;
}
