#include "TW_PrefPane.h"

TW_PrefPane::TW_PrefPane(bool saveOnApply, bool loadOnCreate, QWidget *parent)
    : QDialog(parent), PrefStore(saveOnApply, loadOnCreate)
{
}

TW_PrefPane::~TW_PrefPane() = default;
