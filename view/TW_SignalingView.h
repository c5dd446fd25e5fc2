// The image view: turns mouse, key, resize and drop events into signals for
// the scene and the main window.
#ifndef TW_SIGNALINGVIEW_H
#define TW_SIGNALINGVIEW_H

#include <QGraphicsView>
#include <QPointF>
#include <QString>

class QMimeData;

class TW_SignalingView : public QGraphicsView
{
    Q_OBJECT
public:
    explicit TW_SignalingView(QWidget *parent = nullptr);

    bool dragging = false;

    // Shared with the main window's own drop handling: a drag is taken when
    // it offers URLs; the file is the first URL's local path, empty when it
    // is not a local file.
    static bool offersUrls(const QMimeData *data);
    static QString droppedFilePath(const QMimeData *data);

signals:
    void ev_startSelection(QPointF point);
    void ev_endSelection(QPointF point);
    void ev_updateSelection(QPointF point);
    void ev_updateMouseMove(QPointF point);
    void ev_placeSampler(QPointF point);
    void ev_fileDropped(QString path);
    void ev_ControlPressed();
    void ev_ControlReleased();
    void ev_AltShiftPressed();
    void ev_AltShiftReleased();
    void ev_Resized();

public slots:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

#endif
