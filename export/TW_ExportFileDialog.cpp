#include "TW_ExportFileDialog.h"

TW_ExportFileDialog::TW_ExportFileDialog(const QString &filter, const QString &directory,
                                         const QString &caption, int sideBarsUrls, QWidget *parent)
    : QDialog(parent), filter(filter), directory(directory), sideBarsUrls(sideBarsUrls)
{
    setWindowTitle(caption);
}

TW_ExportFileDialog::~TW_ExportFileDialog() = default;
