// The job record of the exposure overlay over one tile: per-channel
// thresholds, copied into the record.
#ifndef OEUEITEM_H
#define OEUEITEM_H

#include "FrameView.h"
#include "pixel_array_item_t.h"

#include <QRect>
#include <QVector>

struct OEUEItem {
    pixel_array_item_t *tile = nullptr;
    const FrameView *image = nullptr;
    QRect markArea;
    QVector<unsigned> under;
    QVector<unsigned> over;

    OEUEItem() = default;
    OEUEItem(pixel_array_item_t *t, const FrameView *f, const QRect &area,
             const QVector<unsigned> &ue, const QVector<unsigned> &oe);
};

#endif
