#include "option_group.h"

QRadioButton* OptionGroup::add(int index, const QString& caption, QWidget* parent)
{
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(objectName() + QString::number(index));
    button->setAutoExclusive(false);
    m_buttons[index] = button;
    connect(button, &QRadioButton::toggled, this, [this, index](bool on) {
        if (!on)
            return;
        for (auto& [other, b] : m_buttons)
            if (other != index)
                b->setChecked(false);
        emit clicked(index);
    });
    connect(button, &QRadioButton::clicked, this, [button] {
        if (!button->isChecked())
            button->setChecked(true); // a click never leaves the group without a selection
    });
    return button;
}

QRadioButton* OptionGroup::operator[](int index) const
{
    const auto it = m_buttons.find(index);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool OptionGroup::isSelected(int index) const
{
    const QRadioButton* b = (*this)[index];
    return b && b->isChecked();
}

bool OptionGroup::select(int index)
{
    QRadioButton* b = (*this)[index];
    if (!b)
        return false;
    b->setChecked(true);
    return true;
}

int OptionGroup::selectedIndex() const
{
    for (const auto& [index, b] : m_buttons)
        if (b->isChecked())
            return index;
    return -1;
}
