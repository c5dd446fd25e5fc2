// The samples of the current image. For now the dirty flag and its signal;
// the records and the table model build on it.
#ifndef SAMPLESTABLEDATA_H
#define SAMPLESTABLEDATA_H

#include <QObject>

class SamplesTableData : public QObject
{
    Q_OBJECT
public:
    explicit SamplesTableData(QObject *parent = nullptr);
    ~SamplesTableData() override;

    bool dirty = false;

signals:
    void ev_dirty();
};

#endif
