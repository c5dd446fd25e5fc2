#include "TW_SignalingView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

TW_SignalingView::TW_SignalingView(QWidget *parent)
    : QGraphicsView(parent)
{
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setOptimizationFlag(QGraphicsView::DontSavePainterState, true);
    setBackgroundBrush(QBrush(Qt::gray));
    setDragMode(QGraphicsView::ScrollHandDrag);
    setAcceptDrops(true);
    // Drag events reach the view through its viewport, which must take them too.
    viewport()->setAcceptDrops(true);
    // The pointer panel follows the mouse without a button held.
    viewport()->setMouseTracking(true);
}

void TW_SignalingView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier)) {
        dragging = true;
        emit ev_startSelection(mapToScene(event->position().toPoint()));
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::AltModifier)) {
        emit ev_placeSampler(mapToScene(event->position().toPoint()));
        event->accept();
        return;
    }
    QGraphicsView::mousePressEvent(event);
}

void TW_SignalingView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier)
        emit ev_ControlPressed();
    else
        emit ev_ControlReleased();
    const QPointF point = mapToScene(event->position().toPoint());
    if (dragging) {
        emit ev_updateSelection(point);
        event->accept();
        return;
    }
    emit ev_updateMouseMove(point);
    QGraphicsView::mouseMoveEvent(event);
}

void TW_SignalingView::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragging) {
        emit ev_endSelection(mapToScene(event->position().toPoint()));
        dragging = false;
        event->accept();
        return;
    }
    QGraphicsView::mouseReleaseEvent(event);
}

void TW_SignalingView::keyPressEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Alt)
        emit ev_AltShiftPressed();
    else if (event->key() == Qt::Key_Control)
        emit ev_ControlPressed();
    QGraphicsView::keyPressEvent(event);
}

void TW_SignalingView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        emit ev_ControlReleased();
    else if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Alt)
        emit ev_AltShiftReleased();
    QGraphicsView::keyReleaseEvent(event);
}

void TW_SignalingView::resizeEvent(QResizeEvent *event)
{
    emit ev_Resized();
    QGraphicsView::resizeEvent(event);
}

void TW_SignalingView::paintEvent(QPaintEvent *event)
{
    QGraphicsView::paintEvent(event);
}

bool TW_SignalingView::offersUrls(const QMimeData *data)
{
    return data && data->hasFormat(QStringLiteral("text/uri-list"));
}

QString TW_SignalingView::droppedFilePath(const QMimeData *data)
{
    if (!data)
        return QString();
    const QList<QUrl> urls = data->urls();
    return urls.isEmpty() ? QString() : urls.first().toLocalFile();
}

void TW_SignalingView::dragEnterEvent(QDragEnterEvent *event)
{
    if (offersUrls(event->mimeData()))
        event->acceptProposedAction();
}

void TW_SignalingView::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
}

void TW_SignalingView::dropEvent(QDropEvent *event)
{
    event->accept();
    const QString path = droppedFilePath(event->mimeData());
    if (!path.isEmpty())
        emit ev_fileDropped(path);
}
