#include "file_chooser.h"

#include <QFileDialog>
#include <QMimeDatabase>

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const
{
    if (!info.isFile())
        return QFileIconProvider::icon(info);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return QIcon::fromTheme(mime.iconName(), QFileIconProvider::icon(QAbstractFileIconProvider::File));
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const
{
    if (!info.isFile())
        return QFileIconProvider::type(info);
    return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
}

std::optional<FileChooser::Choice> DialogFileChooser::chooseSaveFile(QWidget* parent, const QString& title,
                                                                      const QString& proposedPath,
                                                                      const QStringList& filters,
                                                                      const QString& defaultSuffix)
{
    NameOnlyIconProvider icons; // outlives the dialog
    QFileDialog dialog(parent, title);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(proposedPath);
    // The suffix follows the chosen format unless the user typed one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        const qsizetype star = filter.indexOf(QLatin1String("*."));
        if (star >= 0)
            dialog.setDefaultSuffix(filter.mid(star + 2).section(u')', 0, 0));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return Choice{dialog.selectedFiles().constFirst(), int(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

QStringList DialogFileChooser::chooseOpenFiles(QWidget* parent, const QString& title, const QString& folder,
                                               const QStringList& filters)
{
    NameOnlyIconProvider icons; // outlives the dialog
    QFileDialog dialog(parent, title, folder);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}
