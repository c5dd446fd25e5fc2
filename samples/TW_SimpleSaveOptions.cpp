#include "TW_SimpleSaveOptions.h"

#include <QVBoxLayout>

TW_SimpleSaveOptions::TW_SimpleSaveOptions(QWidget *parent)
    : TW_GenericSaveOptions(parent), layout(new QVBoxLayout(this))
{
}

TW_SimpleSaveOptions::TW_SimpleSaveOptions(const QString &title, QWidget *parent)
    : TW_GenericSaveOptions(title, parent), layout(new QVBoxLayout(this))
{
}
