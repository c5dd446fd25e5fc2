#include "TessivaneGridDialog.h"

TessivaneGridDialog::TessivaneGridDialog(QWidget *parent)
    : QDialog(parent)
{
}

TessivaneGridDialog::~TessivaneGridDialog() = default;
