#include "TW_HistView.h"

#include <QWheelEvent>

void TW_HistView::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}
