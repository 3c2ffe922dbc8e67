#pragma once

#include <QObject>
#include <QRadioButton>
#include <map>

// An array of option buttons whose index carries the meaning. `clicked` is raised whenever an
// option becomes selected, by the user or by code, as the option buttons it stands for do.
class OptionGroup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QRadioButton* add(int index, const QString& caption, QWidget* parent);
    QRadioButton* operator[](int index) const;
    bool isSelected(int index) const;
    // Selects the option with that index; false when there is none.
    bool select(int index);
    int selectedIndex() const;

signals:
    void clicked(int index);

private:
    std::map<int, QRadioButton*> m_buttons;
};
