#include "TW_SaveDialog.h"

#include "TW_FileDialog.h"
#include "TW_GenericSaveOptions.h"
#include "defaultSidebarUrls.h"

#include <QGridLayout>
#include <QUrl>

TW_SaveDialog::TW_SaveDialog(int sidebarMode, const QString &title, const QString &startPath, const QString &filter,
                             QWidget *parent)
    : QDialog(parent), fileDialog(nullptr), layout(new QGridLayout(this))
{
    setWindowTitle(title);
    setModal(true);
    fileDialog = new TW_FileDialog(this, title, startPath, filter);
    // Embedded: a widget of this dialog, so never the desktop's own dialog.
    fileDialog->setOption(QFileDialog::DontUseNativeDialog);
    fileDialog->setWindowFlags(Qt::Widget);
    fileDialog->setAcceptMode(QFileDialog::AcceptSave);
    fileDialog->setFileMode(QFileDialog::AnyFile);
    if (sidebarMode > 0) {
        const QList<QUrl> urls = defaultSidebarUrls(sidebarMode);
        if (!urls.isEmpty())
            fileDialog->setSidebarUrls(urls);
    }
    layout->addWidget(fileDialog, 1, 0, 1, 3);
    connect(fileDialog, &QFileDialog::accepted, this, &TW_SaveDialog::finalizer);
    connect(fileDialog, &QFileDialog::rejected, this, &TW_SaveDialog::aborter);
    connect(fileDialog, &TW_FileDialog::ev_hided, this, &TW_SaveDialog::aborter);
}

TW_SaveDialog::~TW_SaveDialog()
{
    // Closing a shown dialog hides the file dialog after this part is gone.
    disconnect(fileDialog, nullptr, this, nullptr);
}

void TW_SaveDialog::addSidebarFolder(const QString &path)
{
    fileDialog->addSidebarFolder(path);
}

void TW_SaveDialog::setOptionsGroup(TW_GenericSaveOptions *group)
{
    if (group)
        layout->addWidget(group, 2, 0, 1, 3);
    fileDialog->setOptionsGroup(group);
}

int TW_SaveDialog::exec()
{
    selectedFiles.clear();
    selectedFilter.clear();
    fileDialog->setVisible(true);
    return QDialog::exec();
}

void TW_SaveDialog::finalizer()
{
    selectedFiles = fileDialog->selectedFiles();
    selectedFilter = fileDialog->selectedNameFilter();
    done(selectedFiles.isEmpty() ? 0 : 1);
}

void TW_SaveDialog::aborter()
{
    selectedFiles.clear();
    done(0);
}
