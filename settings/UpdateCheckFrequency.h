#ifndef UPDATECHECKFREQUENCY_H
#define UPDATECHECKFREQUENCY_H

#include <array>

// One choice of the "Check for updates" list: its label and how many days
// must pass between two checks (0: at every program start).
struct UpdateCheckFrequency {
    const char *label;
    int days;

    // The row an "updatesCheckFreq" value picks; a hand-edited index outside
    // the table is clamped to it.
    static const UpdateCheckFrequency &forIndex(int index);
};

// In the order of the dialog's list, which is the stored index.
extern const std::array<UpdateCheckFrequency, 6> updateCheckFrequencies;

#endif
