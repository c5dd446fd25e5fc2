#include "UpdateCheckFrequency.h"

#include <QtGlobal>

#include <algorithm>

// The labels are translated where the dialog shows them.
constinit const std::array<UpdateCheckFrequency, 6> updateCheckFrequencies = {{
    {QT_TRANSLATE_NOOP("TW_PrefPaneBase", "On program start"), 0},
    {QT_TRANSLATE_NOOP("TW_PrefPaneBase", "Every 1 day"), 1},
    {QT_TRANSLATE_NOOP("TW_PrefPaneBase", "Every 3 days"), 3},
    {QT_TRANSLATE_NOOP("TW_PrefPaneBase", "Every 7 days"), 7},
    {QT_TRANSLATE_NOOP("TW_PrefPaneBase", "Every 15 days"), 15},
    {QT_TRANSLATE_NOOP("TW_PrefPaneBase", "Every 30 days"), 30},
}};

const UpdateCheckFrequency &UpdateCheckFrequency::forIndex(int index)
{
    return updateCheckFrequencies[std::clamp(index, 0, int(updateCheckFrequencies.size()) - 1)];
}
