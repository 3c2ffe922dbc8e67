#pragma once

#include <QString>
#include <functional>

// Message boxes of the library's own windows (the control uses its container's site). Tests
// replace the handler to read what would be shown.
namespace devlink {
using MessageHandler = std::function<void(const QString& text, const QString& title)>;
void setMessageHandler(MessageHandler handler);
void showMessage(const QString& text, const QString& title);
} // namespace devlink
