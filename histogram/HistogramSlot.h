// One open histogram window of the main window and its data.
#ifndef HISTOGRAMSLOT_H
#define HISTOGRAMSLOT_H

struct HistogramData;
class TessivaneHistogramWindow;

struct HistogramSlot {
    HistogramData *data = nullptr;
    TessivaneHistogramWindow *window = nullptr;
    bool ownsData = false;

    HistogramSlot() = default;
    HistogramSlot(const HistogramSlot &) = delete;
    HistogramSlot &operator=(const HistogramSlot &) = delete;
    // Hides the window and schedules its deletion; deletes owned data.
    ~HistogramSlot();
};

#endif
