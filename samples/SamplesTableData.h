// The samples of the current image, in table order, with the rows selected
// in the samples table. It owns the records.
#ifndef SAMPLESTABLEDATA_H
#define SAMPLESTABLEDATA_H

#include "SampleRecord.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>

class SamplesTableData : public QObject
{
    Q_OBJECT
public:
    explicit SamplesTableData(QObject *parent = nullptr);
    ~SamplesTableData() override;

    QVector<SampleRecord *> samples;
    // Row numbers of the current table, used as sets.
    QMap<int, bool> selectedRows;
    QMap<int, bool> unhighlightRows;
    QStringList headers{tr("ID")};
    QStringList channelNames;
    bool dirty = false;

    // "ID", then min, avg, max and dev per channel name.
    void setChannelHeaders(const QStringList &names);
    // Writes `dirty` and announces it.
    void setDirty(bool on);
    // The rows (ascending, each once) left the table: they leave both sets
    // and the rows after them move down.
    void dropRows(const QVector<int> &sortedRows);
    // The selected rows that still exist, ascending.
    QVector<int> selectedExistingRows() const;

signals:
    void ev_dirty();
};

#endif
