#include "figure_holder.h"

#include <QLabel>

FigureHolder::FigureHolder(QLabel* label, QWidget* parent) : QWidget(parent), m_label(label)
{
    label->setParent(this);
    setSizePolicy(label->sizePolicy());
}

QSize FigureHolder::sizeHint() const
{
    return m_label->sizeHint();
}

QSize FigureHolder::minimumSizeHint() const
{
    return m_label->minimumSizeHint();
}

void FigureHolder::resizeEvent(QResizeEvent*)
{
    m_label->setGeometry(rect());
}
