#include "digit_shape_widths.h"

#include <QFontMetrics>

namespace {
// Enough for every form a string's texts take; a font change or a flood of forms starts over.
constexpr qsizetype kMostShapes = 4096;
} // namespace

int DigitShapeWidths::width(const QFont& font, const QString& text)
{
    if (!m_fontKnown || font != m_font || m_widths.size() > kMostShapes) {
        m_font = font;
        m_fontKnown = true;
        m_widths.clear();
        const QFontMetrics metrics(font);
        m_widestDigit = u'0';
        for (char16_t d = u'1'; d <= u'9'; ++d)
            if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(m_widestDigit))
                m_widestDigit = QChar(d);
    }
    QString shape = text;
    for (QChar& c : shape)
        if (c >= u'0' && c <= u'9')
            c = m_widestDigit;
    auto it = m_widths.constFind(shape);
    if (it == m_widths.constEnd())
        it = m_widths.insert(shape, m_measure(QFontMetrics(m_font), shape));
    return *it;
}
