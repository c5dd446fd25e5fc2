#ifndef TW_PREFPANE_H
#define TW_PREFPANE_H

#include "PrefControls.h"
#include "PrefStore.h"
#include "TW_PrefPaneBase.h"

class QAbstractButton;

// The settings store and the preferences dialog in one object: the dialog's
// controls are filled from the store when it opens and written back on Ok
// or Apply, which also saves and announces the change.
class TW_PrefPane : public TW_PrefPaneBase, public PrefStore, public PrefControls
{
    Q_OBJECT
public:
    TW_PrefPane(bool saveOnApply, bool loadOnCreate, QWidget *parent = nullptr);
    ~TW_PrefPane() override;

    // Every control from the store, then the enabled states that follow them.
    void fillControls();

    void showBlackLevels(int level, const QVector<int> &perChannel) override;
    void showOverExposureLevels(int all, const QVector<int> &perChannel) override;
    void showChannelNames(const QStringList &names) override;

public slots:
    // 1 after Ok, 0 after Cancel or closing the window.
    int exec() override;
    void buttonClicked(QAbstractButton *button);
    void applySettings();
    void restoreDefaults();
    void browseExifTool();
    void pixels2x2_checked(bool on);
    void rgbgAsGray_checked(bool on);

signals:
    void ev_apply();

private:
    // Sets the controls with the interlocks inert, then the rules that follow them.
    void fillFrom(const QMap<QString, int> &ints, const QMap<QString, QString> &strings);
    void reportSaveFailure();
};

#endif
