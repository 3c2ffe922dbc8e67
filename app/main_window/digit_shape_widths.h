#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QString>

#include <functional>

// Widths of texts that differ mostly in their digits: shot numbers, times, figures. A text is
// measured by its shape, each digit replaced by the font's widest digit, so a column or a list
// that grows by a row at a time shapes a new text only when its form is new, and the width
// found is never less than the text's own.
class DigitShapeWidths {
public:
    using Measure = std::function<int(const QFontMetrics&, const QString&)>;

    explicit DigitShapeWidths(Measure measure) : m_measure(std::move(measure)) {}

    // The width of `text`'s shape in `font`.
    int width(const QFont& font, const QString& text);

private:
    Measure m_measure;
    QFont m_font;
    bool m_fontKnown = false;
    QChar m_widestDigit = u'0';
    QHash<QString, int> m_widths;
};
