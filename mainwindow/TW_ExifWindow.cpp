#include "TW_ExifWindow.h"

TW_ExifWindow::TW_ExifWindow(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("EXIF"));
}

TW_ExifWindow::~TW_ExifWindow() = default;
