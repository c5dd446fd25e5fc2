// The settings store as the main window holds it. For now only the store
// with the dialog's signal; the preferences dialog itself builds on this.
#ifndef TW_PREFPANE_H
#define TW_PREFPANE_H

#include "PrefStore.h"

#include <QDialog>

class TW_PrefPane : public QDialog, public PrefStore
{
    Q_OBJECT
public:
    TW_PrefPane(bool saveOnApply, bool loadOnCreate, QWidget *parent = nullptr);
    ~TW_PrefPane() override;

signals:
    void ev_apply();
};

#endif
