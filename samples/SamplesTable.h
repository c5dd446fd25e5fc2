// The samples table's model over the data set: one row a sample, the "ID"
// column and min, avg, max and dev of each channel.
#ifndef SAMPLESTABLE_H
#define SAMPLESTABLE_H

#include <QAbstractTableModel>
#include <QChar>
#include <QColor>
#include <QHash>
#include <QMap>
#include <QVector>

#include <functional>

class SamplesTableData;
struct SampleRecord;

class SamplesTable : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Colour keys: 1 text, 2 "ID" background and YCbCr base, 6 maxima,
    // 7 minima, 8 to 15 the letters R, G, B, M, C, E, Y, W.
    SamplesTable(SamplesTableData *data, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Numbers and names the record when it has none; marks the set dirty.
    void appendSample(SampleRecord *r);
    // The same for many records, announced as one insertion.
    void appendSamples(const QVector<SampleRecord *> &records);
    // Takes the rows (any order; duplicates and rows past the end are
    // ignored) out of the table, one announcement per run of neighbours,
    // and deletes their records after `release` has seen each. The row sets
    // follow. Returns the number removed.
    int removeSampleRows(QVector<int> rows, const std::function<void(SampleRecord *)> &release);

    void setRoleColors(const QHash<int, QColor> &colors);
    void initChannelColors();
    const QHash<int, QColor> &colors() const { return roleColors; }

    // Around a change of the columns. A reset drops the view's selection
    // without telling it; the samples window selects the rows again.
    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }
    // The statistics or names of these rows changed; the view's selection
    // stays.
    void rowsChanged(int first, int last);

private:
    QVariant background(int column) const;

    SamplesTableData *samplesData;
    QHash<int, QColor> roleColors{{2, QColor(QStringLiteral("#f0f0f0"))}};
    QMap<QChar, QColor> letterColors;
};

#endif
