// The plots' view: the mouse wheel goes to the window, the plots never scroll.
#ifndef TW_HISTVIEW_H
#define TW_HISTVIEW_H

#include <QGraphicsView>

class TW_HistView : public QGraphicsView
{
    Q_OBJECT
public:
    using QGraphicsView::QGraphicsView;

protected:
    void wheelEvent(QWheelEvent *event) override;
};

#endif
