// The set-selection-by-numbers dialog. For now the signal the main window
// wires; its spin boxes and limits build on it.
#ifndef TW_MANUALSELECTION_H
#define TW_MANUALSELECTION_H

#include <QDialog>

class TW_ManualSelection : public QDialog
{
    Q_OBJECT
public:
    explicit TW_ManualSelection(QWidget *parent = nullptr);
    ~TW_ManualSelection() override;

    int imageWidth = 1000;
    int imageHeight = 1000;

signals:
    void ev_manual_selection_changed(int left, int top, int width, int height);
};

#endif
