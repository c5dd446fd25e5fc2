#include "HistogramSlot.h"

#include "HistogramData.h"
#include "TessivaneHistogramWindow.h"

HistogramSlot::~HistogramSlot()
{
    if (window) {
        window->hide();
        // Events still queued for the window before it goes must not reach
        // the data deleted below.
        window->data = nullptr;
        window->deleteLater();
    }
    if (ownsData)
        delete data;
}
