#include "HistogramSlot.h"

#include "HistogramData.h"
#include "TessivaneHistogramWindow.h"

HistogramSlot::~HistogramSlot()
{
    if (window) {
        window->hide();
        window->deleteLater();
    }
    if (ownsData)
        delete data;
}
