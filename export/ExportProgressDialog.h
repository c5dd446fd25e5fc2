// The export's window-modal progress dialog (0 to 110: the writing, then
// ExifTool) and its message boxes.
#ifndef EXPORTPROGRESSDIALOG_H
#define EXPORTPROGRESSDIALOG_H

#include "ExportFeedback.h"

#include <QProgressDialog>

class ExportProgressDialog : public ExportFeedback
{
public:
    ExportProgressDialog(QWidget *parent, const QString &outputPath);

    bool progress(int value) override;
    void critical(const QString &title, const QString &text) override;

    QProgressDialog dialog;

private:
    QWidget *parent;
    int shown = -1;
};

#endif
