#include "message.h"

#include <QMessageBox>

namespace devlink {

namespace {
MessageHandler& handler()
{
    static MessageHandler current;
    return current;
}
} // namespace

void setMessageHandler(MessageHandler h)
{
    handler() = std::move(h);
}

void showMessage(const QString& text, const QString& title)
{
    if (handler()) {
        handler()(text, title);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

} // namespace devlink
