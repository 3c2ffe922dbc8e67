#pragma once

#include <QPlainTextEdit>

// The list text box: holds the string's lines exactly (CR LF line ends) and shows them.
// Appending adds to the end without rebuilding what is already shown.
class ListText : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ListText(QWidget* parent = nullptr);

    const QString& Text() const { return m_text; }
    void setText(const QString& text);
    void append(const QString& text);
    void moveCaretToEnd();

private:
    static QString shown(QString text);
    QString m_text;
};
