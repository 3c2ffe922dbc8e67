#pragma once

#include <QFileIconProvider>
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
    // Files to open, several at once; none when the user cancels.
    virtual QStringList chooseOpenFiles(QWidget* parent, const QString& title, const QString& folder,
                                        const QStringList& filters) = 0;
};

class DialogFileChooser : public FileChooser {
public:
    std::optional<Choice> chooseSaveFile(QWidget* parent, const QString& title, const QString& proposedPath,
                                         const QStringList& filters, const QString& defaultSuffix) override;
    QStringList chooseOpenFiles(QWidget* parent, const QString& title, const QString& folder,
                                const QStringList& filters) override;
};

// Icons and type names of the files a file dialog lists, told by their names alone. Qt's own
// provider reads the first bytes of a file whose name says nothing (such as "pellet.store"), and
// closing that read releases every POSIX lock this process holds on the file: the database's
// locks would be gone while it stays open, and another process could take it for unused.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};
