#include "TW_ManualSelection.h"

TW_ManualSelection::TW_ManualSelection(QWidget *parent)
    : QDialog(parent)
{
}

TW_ManualSelection::~TW_ManualSelection() = default;
