#include "TW_FileDialog.h"

#include "TW_GenericSaveOptions.h"

#include <QFileSystemModel>
#include <QPointer>
#include <QUrl>

TW_FileDialog::TW_FileDialog(QWidget *parent, const QString &caption, const QString &directory,
                             const QString &filter)
    : QFileDialog(parent, caption, directory, filter)
{
    matchAllFilesForStarDotStar(this);
}

namespace {

void widenPatterns(QFileDialog *dialog)
{
    auto *model = dialog->findChild<QFileSystemModel *>();
    if (!model)
        return;
    QStringList patterns = model->nameFilters();
    if (!patterns.contains(QLatin1String("*.*")))
        return;
    for (QString &p : patterns)
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*");
    model->setNameFilters(patterns);
}

}

void TW_FileDialog::matchAllFilesForStarDotStar(QFileDialog *dialog)
{
    widenPatterns(dialog);
    // Connected after the dialog's own handling of the filter combo, so the
    // patterns it has just set are the ones widened.
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog]() { widenPatterns(dialog); });
}

void TW_FileDialog::addSidebarFolder(const QString &path)
{
    if (path.isEmpty())
        return;
    QList<QUrl> urls = sidebarUrls();
    const QUrl url = QUrl::fromLocalFile(path);
    urls.removeAll(url);
    urls.prepend(url);
    setSidebarUrls(urls);
}

void TW_FileDialog::accept()
{
    if (options && !options->validateOptions())
        return;
    QFileDialog::accept();
}

void TW_FileDialog::hideEvent(QHideEvent *event)
{
    emit ev_hided();
    QFileDialog::hideEvent(event);
}

void TW_FileDialog::showEvent(QShowEvent *event)
{
    QFileDialog::showEvent(event);
    widenPatterns(this);
}
