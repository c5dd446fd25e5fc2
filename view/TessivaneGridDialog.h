// The grid-selection parameters dialog. For now the signals the main window
// wires; its controls, buttons and settings file build on it.
#ifndef TESSIVANEGRIDDIALOG_H
#define TESSIVANEGRIDDIALOG_H

#include <QDialog>

class TessivaneGridDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TessivaneGridDialog(QWidget *parent = nullptr);
    ~TessivaneGridDialog() override;

signals:
    void ev_dialogClosed();
    void ev_updateGridParams(int rows, int columns, qreal angle);
    void ev_updateGridCellNames(int first, int step, int order, bool show, int font);
    void ev_updateGridVisibility(bool visible, int mode);
};

#endif
