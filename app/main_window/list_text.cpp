#include "list_text.h"

#include <QTextCursor>

ListText::ListText(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
}

QString ListText::shown(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

void ListText::setText(const QString& text)
{
    m_text = text;
    setPlainText(shown(text));
}

void ListText::append(const QString& text)
{
    const bool wasEmpty = m_text.isEmpty();
    const bool endedWithLine = m_text.endsWith(u'\n');
    m_text += text;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QString add = shown(text);
    if (!wasEmpty && endedWithLine)
        add.prepend(u'\n');
    cursor.insertText(add);
}

void ListText::moveCaretToEnd()
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}
