// "Set Selection by Numbers": the selection's left, top, width and height
// typed in, kept inside the image and optionally centred on it. While it
// runs every change is announced so the rectangle on screen follows.
#ifndef TW_MANUALSELECTION_H
#define TW_MANUALSELECTION_H

#include <QDialog>

class QCheckBox;
class QSpinBox;
class TW_SelectionScene;

class TW_ManualSelection : public QDialog
{
    Q_OBJECT
public:
    explicit TW_ManualSelection(QWidget *parent = nullptr);
    ~TW_ManualSelection() override;

    int imageWidth = 1000;
    int imageHeight = 1000;

    QSpinBox *leftSpin = nullptr;
    QSpinBox *topSpin = nullptr;
    QSpinBox *widthSpin = nullptr;
    QSpinBox *heightSpin = nullptr;
    QCheckBox *centerCheck = nullptr;

    // The whole run against the scene: the current rectangle is put aside,
    // a rectangle from the boxes follows every edit, OK reports it, Cancel
    // brings back the one that was there. Nothing while a grid is placed.
    // Returns the dialog's result (1 accepted, 0 rejected).
    int runOnScene(TW_SelectionScene *scene, int width, int height);

    // Fits the boxes' values and limits to the image; exec does this first.
    void fitToImage();

signals:
    void ev_manual_selection_changed(int left, int top, int width, int height);

public slots:
    int exec() override;
    void widthChanged(int value);
    void heightChanged(int value);
    void topChanged(int value);
    void leftChanged(int value);
    void centerChanged(bool on);
    void accept() override;
    void reject() override;

private:
    void announce();
    // One axis of the rectangle: a size box and the offset box beside it.
    void sizeChanged(QSpinBox *size, QSpinBox *offset, int extent);
    void offsetChanged(QSpinBox *offset, QSpinBox *size, int extent);

    bool placed = false;
};

#endif
