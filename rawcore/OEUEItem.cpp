#include "OEUEItem.h"

OEUEItem::OEUEItem(pixel_array_item_t *t, const FrameView *f, const QRect &area,
                   const QVector<unsigned> &ue, const QVector<unsigned> &oe)
    : tile(t), image(f), markArea(area), under(ue), over(oe)
{
    // Missing channels never mark.
    while (under.size() < 4)
        under.append(0);
    while (over.size() < 4)
        over.append(655350);
}
