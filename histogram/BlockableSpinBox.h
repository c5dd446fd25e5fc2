// A spin box whose program-set values emit nothing, so only the user's
// edits reach the window's slots.
#ifndef BLOCKABLESPINBOX_H
#define BLOCKABLESPINBOX_H

#include <QSpinBox>

class BlockableSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    void setValueSilently(int value);
};

#endif
