// The samples table's view: it writes the rows the user selects into the
// data set, where the blinking and the row operations read them.
#ifndef TESSIVANETABLEVIEW_H
#define TESSIVANETABLEVIEW_H

#include <QTableView>

class SamplesTableData;

class TessivaneTableView : public QTableView
{
    Q_OBJECT
public:
    explicit TessivaneTableView(SamplesTableData *data, QWidget *parent = nullptr);

    // Names wider than this many average characters are elided.
    static constexpr int MaxNameChars = 24;

    void setModel(QAbstractItemModel *model) override;

signals:
    void ev_selectionSize(int count);

protected:
    // Copying is the samples window's: the whole selected rows as a table.
    void keyPressEvent(QKeyEvent *event) override;

protected slots:
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

private:
    SamplesTableData *samplesData;
};

#endif
