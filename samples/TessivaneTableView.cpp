#include "TessivaneTableView.h"

#include "SamplesTableData.h"

#include <QFontMetrics>

#include <QHeaderView>
#include <QKeyEvent>

TessivaneTableView::TessivaneTableView(SamplesTableData *data, QWidget *parent)
    : QTableView(parent), samplesData(data)
{
}

void TessivaneTableView::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    // Stretched columns cut the leading digits of numbers in a narrow
    // window; the columns keep their contents' width and the table scrolls.
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Only the names, in the row header, may be shown shorter than they are.
    verticalHeader()->setTextElideMode(Qt::ElideRight);
    verticalHeader()->setMaximumWidth(fontMetrics().averageCharWidth() * MaxNameChars);
}

void TessivaneTableView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QTableView::selectionChanged(selected, deselected);
    // By ranges: whole-row selections of thousands of rows are common.
    for (const QItemSelectionRange &range : selected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            samplesData->selectedRows.insert(row, true);
    for (const QItemSelectionRange &range : deselected)
        for (int row = range.top(); row <= range.bottom(); ++row) {
            samplesData->selectedRows.remove(row);
            samplesData->unhighlightRows.insert(row, true);
        }
    emit ev_selectionSize(int(samplesData->selectedRows.size()));
}

void TessivaneTableView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        event->ignore();
        return;
    }
    QTableView::keyPressEvent(event);
}
