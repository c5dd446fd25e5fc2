#include "DisplayControls.h"

#include <QComboBox>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

DisplayControls::ChannelSelectorPlan DisplayControls::channelSelectorPlan(int comboCount, int comboIndex,
                                                                          const QStringList &names, int channelCount,
                                                                          bool channelChecked)
{
    ChannelSelectorPlan plan;
    plan.rebuild = comboCount != channelCount;
    if (plan.rebuild) {
        plan.texts = names;
        plan.index = comboIndex >= 0 && comboIndex < names.size() ? comboIndex : 0;
    } else {
        plan.texts = names.mid(0, std::min<qsizetype>(names.size(), channelCount));
        plan.index = comboIndex;
    }
    plan.channelEnabled = channelCount > 1;
    plan.switchToComposite = !plan.channelEnabled && channelChecked;
    return plan;
}

void DisplayControls::refreshChannelSelector(QComboBox *combo, QRadioButton *channelRadio,
                                             QRadioButton *compositeRadio, const QStringList &names,
                                             int channelCount)
{
    const ChannelSelectorPlan plan =
        channelSelectorPlan(combo->count(), combo->currentIndex(), names, channelCount, channelRadio->isChecked());
    if (plan.rebuild) {
        const QSignalBlocker block(combo);
        combo->clear();
        combo->addItems(plan.texts);
        combo->setCurrentIndex(plan.index);
    } else {
        for (int i = 0; i < plan.texts.size(); ++i)
            combo->setItemText(i, plan.texts[i]);
    }
    if (plan.switchToComposite) {
        // Radio buttons in one group cannot be unchecked directly.
        compositeRadio->setChecked(true);
        channelRadio->setChecked(false);
    }
    channelRadio->setEnabled(plan.channelEnabled);
    combo->setEnabled(plan.channelEnabled);
}

bool DisplayControls::brightenToggleRenders(bool checked, double value)
{
    return !(checked && value == 0.0);
}

bool DisplayControls::frameChangeWanted(int chosenIndex, int loadedFrameNumber)
{
    return chosenIndex + 1 != loadedFrameNumber;
}

int DisplayControls::storedBrightenValue(double value)
{
    return int(std::floor(value * 100 + 1e-6));
}
