#include "BlockableSpinBox.h"

#include <QSignalBlocker>

void BlockableSpinBox::setValueSilently(int value)
{
    const QSignalBlocker block(this);
    setValue(value);
}
