#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>

// Texts laid out once and drawn again without shaping them: a view repaints the rows on view
// far more often than their texts change. A font change, or a flood of texts, starts over.
class LaidOutTexts {
public:
    const QStaticText& get(const QString& text, const QFont& font)
    {
        if (font != m_font || m_texts.size() > 4096) {
            m_texts.clear();
            m_font = font;
        }
        auto it = m_texts.find(text);
        if (it == m_texts.end()) {
            QStaticText laid(text);
            laid.setTextFormat(Qt::PlainText);
            laid.setPerformanceHint(QStaticText::AggressiveCaching);
            laid.prepare(QTransform(), font);
            it = m_texts.insert(text, laid);
        }
        return *it;
    }

private:
    QFont m_font;
    QHash<QString, QStaticText> m_texts;
};
