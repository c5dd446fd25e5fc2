#ifndef PREFCONTROLS_H
#define PREFCONTROLS_H

#include <QStringList>
#include <QVector>

// What the preferences dialog shows of the load-time resets. The store calls
// these while a file loads, whether or not the dialog is open; each method
// must fill the controls with their signals blocked, so a reload never moves
// the dialog's radio buttons or counts as a user's edit.
class PrefControls
{
public:
    virtual ~PrefControls() = default;

    // The manual black level for all channels and up to 4 per-channel levels;
    // channels beyond perChannel.size() keep what they show.
    virtual void showBlackLevels(int level, const QVector<int> &perChannel) = 0;

    // The manual over-exposure level for all channels and up to 4
    // per-channel levels, as for showBlackLevels.
    virtual void showOverExposureLevels(int all, const QVector<int> &perChannel) = 0;

    // Up to 4 channel names: rows below names.size() of the black-level,
    // over- and under-exposure groups get the name and are enabled, the
    // others are blanked and disabled.
    virtual void showChannelNames(const QStringList &names) = 0;
};

#endif
