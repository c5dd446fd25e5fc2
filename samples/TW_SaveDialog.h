// The program's modal file dialog for saving and loading: an embedded file
// dialog with an optional options group below it.
#ifndef TW_SAVEDIALOG_H
#define TW_SAVEDIALOG_H

#include <QDialog>
#include <QStringList>

class QGridLayout;
class TW_FileDialog;
class TW_GenericSaveOptions;

class TW_SaveDialog : public QDialog
{
    Q_OBJECT
public:
    // sidebarMode as the "sideBarsUrls" preference. The file dialog starts
    // in save mode for any file name.
    TW_SaveDialog(int sidebarMode, const QString &title, const QString &startPath, const QString &filter,
                  QWidget *parent = nullptr);
    ~TW_SaveDialog() override;

    // A non-empty folder goes first in the sidebar.
    void addSidebarFolder(const QString &path);
    // Puts the group under the file dialog; it is asked before a file is
    // accepted. The dialog takes ownership.
    void setOptionsGroup(TW_GenericSaveOptions *group);

    TW_FileDialog *fileDialog;
    QGridLayout *layout;
    QStringList selectedFiles;
    QString selectedFilter;

public slots:
    // 1 with at least one file in selectedFiles, else 0.
    int exec() override;
    void finalizer();
    void aborter();
};

#endif
