#include "ExportProgressDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>

ExportProgressDialog::ExportProgressDialog(QWidget *parent, const QString &outputPath)
    : dialog(QCoreApplication::translate("ExportProgressDialog", "Exporting data to %1")
                 .arg(QDir::toNativeSeparators(outputPath)),
             QCoreApplication::translate("ExportProgressDialog", "Cancel"), 0, 110, parent),
      parent(parent)
{
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setValue(0);
    dialog.show();
}

bool ExportProgressDialog::progress(int value)
{
    // The writers report every row; the dialog and its Cancel button are
    // served only when the value moves.
    if (value != shown) {
        shown = value;
        dialog.setValue(value);
        QCoreApplication::processEvents();
    }
    return !dialog.wasCanceled();
}

void ExportProgressDialog::critical(const QString &title, const QString &text)
{
    QMessageBox::critical(parent, title, text);
}
