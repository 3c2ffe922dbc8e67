#pragma once

#include <QString>

class QWidget;

// Message boxes and questions. The program shows real dialogs; tests script the answers.
class Prompt {
public:
    enum class Icon { None, Critical, Question, Exclamation, Information };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Prompt() = default;

    virtual Answer ask(const QString& text, Buttons buttons, Icon icon, const QString& title) = 0;

    // An OK-only message box.
    void message(const QString& text, Icon icon = Icon::None, const QString& title = appTitle())
    {
        ask(text, Buttons::Ok, icon, title);
    }
    bool confirm(const QString& text, Icon icon = Icon::None, const QString& title = appTitle())
    {
        return ask(text, Buttons::YesNo, icon, title) == Answer::Yes;
    }

    static QString appTitle() { return QStringLiteral("Velmora"); }
};

// Modal QMessageBox dialogs over the given parent window.
class DialogPrompt : public Prompt {
public:
    explicit DialogPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    Answer ask(const QString& text, Buttons buttons, Icon icon, const QString& title) override;

private:
    QWidget* m_parent;
};
