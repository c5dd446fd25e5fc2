// What the display controls' slots decide: the channel selector for the
// current channel names, when a brighten change needs a new rendering, and
// when a frame choice needs a reload.
#ifndef DISPLAYCONTROLS_H
#define DISPLAYCONTROLS_H

#include <QStringList>

class QComboBox;
class QRadioButton;

class DisplayControls
{
public:
    struct ChannelSelectorPlan {
        // false: the combo keeps its items and only their texts change.
        bool rebuild = false;
        QStringList texts;
        int index = 0;                 // the index after a rebuild
        bool channelEnabled = false;   // "Raw channel" and the combo
        bool switchToComposite = false;
    };

    static ChannelSelectorPlan channelSelectorPlan(int comboCount, int comboIndex, const QStringList &names,
                                                   int channelCount, bool channelChecked);
    // Applies the plan; the combo's signals are blocked while it is rebuilt.
    static void refreshChannelSelector(QComboBox *channelCombo, QRadioButton *channelRadio,
                                       QRadioButton *compositeRadio, const QStringList &names, int channelCount);

    // Checking the brighten box with a value of exactly 0 changes nothing on
    // screen; every other toggle renders again.
    static bool brightenToggleRenders(bool checked, double value);
    // A frame entry (index from 0) other than the loaded frame (from 1).
    static bool frameChangeWanted(int chosenIndex, int loadedFrameNumber);
    // "brightenValue": hundredths, truncated. The spin box's two decimals
    // must survive (1.15 is 114.999... times 100), or each close would lower
    // the value by 0.01.
    static int storedBrightenValue(double value);
};

#endif
