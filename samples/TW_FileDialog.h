// A file dialog embedded in another dialog: it asks its options group
// before accepting and reports being hidden.
#ifndef TW_FILEDIALOG_H
#define TW_FILEDIALOG_H

#include <QFileDialog>

class TW_GenericSaveOptions;

class TW_FileDialog : public QFileDialog
{
    Q_OBJECT
public:
    TW_FileDialog(QWidget *parent, const QString &caption, const QString &directory, const QString &filter);

    TW_GenericSaveOptions *optionsGroup() const { return options; }
    void setOptionsGroup(TW_GenericSaveOptions *group) { options = group; }

    // A "*.*" pattern matches only names with a dot here; the program's
    // "(*.*)" filters mean every file. Makes the dialog's file list follow
    // that, now and whenever the user picks a filter.
    static void matchAllFilesForStarDotStar(QFileDialog *dialog);

    // A non-empty folder goes first in the sidebar.
    void addSidebarFolder(const QString &path);

public slots:
    void accept() override;

signals:
    void ev_hided();

protected:
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TW_GenericSaveOptions *options = nullptr;
};

#endif
