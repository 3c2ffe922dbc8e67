#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// The save-file dialog. The program shows a real one; tests give the answer.
class FileChooser {
public:
    struct Choice {
        QString path;
        int filterIndex = 1; // 1-based, in the order of the filters
    };
    virtual ~FileChooser() = default;
    // Nothing when the user cancels.
    virtual std::optional<Choice> chooseSaveFile(QWidget* parent, const QString& title, const QString& proposedPath,
                                                 const QStringList& filters, const QString& defaultSuffix) = 0;
};

class DialogFileChooser : public FileChooser {
public:
    std::optional<Choice> chooseSaveFile(QWidget* parent, const QString& title, const QString& proposedPath,
                                         const QStringList& filters, const QString& defaultSuffix) override;
};
