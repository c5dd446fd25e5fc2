#include "SamplesTable.h"

#include "SampleTexts.h"
#include "SamplesTableData.h"

#include <algorithm>

SamplesTable::SamplesTable(SamplesTableData *data, QObject *parent)
    : QAbstractTableModel(parent), samplesData(data)
{
    initChannelColors();
}

int SamplesTable::rowCount(const QModelIndex &) const
{
    return int(samplesData->samples.size());
}

int SamplesTable::columnCount(const QModelIndex &) const
{
    return int(samplesData->headers.size());
}

QVariant SamplesTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    const int column = index.column();
    const int channel = (column - 1) / 4;
    const int field = (column - 1) % 4;
    if (column > 0 && channel >= 4)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: {
        const SampleRecord *r = samplesData->samples.at(index.row());
        if (column == 0)
            return r->id;
        return SampleTexts::channelCell(*r, channel, field);
    }
    case Qt::TextAlignmentRole:
        if (column == 0)
            return QVariant();
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ForegroundRole: {
        const int key = column == 0 ? 1 : field == 0 ? 7 : field == 2 ? 6 : 1;
        if (!roleColors.contains(key))
            return QVariant();
        return roleColors.value(key);
    }
    case Qt::BackgroundRole:
        return background(column);
    default:
        return QVariant();
    }
}

QVariant SamplesTable::background(int column) const
{
    const QColor base = roleColors.value(2);
    if (column == 0)
        return roleColors.contains(2) ? QVariant(base) : QVariant();
    const int channel = (column - 1) / 4;
    const QStringList &names = samplesData->channelNames;
    if (names.size() == 3 && names.at(1) == QLatin1String("Cb"))
        return SampleTexts::ycbcrShade(base, channel);
    if (channel >= names.size() || names.at(channel).isEmpty())
        return QVariant();
    const auto it = letterColors.constFind(names.at(channel).at(0));
    if (it == letterColors.cend() || !it->isValid())
        return QVariant();
    return *it;
}

QVariant SamplesTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal) {
        if (section >= 0 && section < samplesData->headers.size())
            return samplesData->headers.at(section);
        return QVariant();
    }
    if (section >= 0 && section < samplesData->samples.size() && samplesData->samples.at(section))
        return samplesData->samples.at(section)->name;
    return tr("Row %1").arg(section);
}

namespace {

void prepare(SampleRecord *r, int row)
{
    if (r->id < 0)
        r->id = row + 1;
    if (r->name.isEmpty()) {
        r->name = SampleTexts::generatedName(r->area);
        r->nameGenerated = true;
    }
}

}

void SamplesTable::appendSample(SampleRecord *r)
{
    appendSamples({r});
}

void SamplesTable::appendSamples(const QVector<SampleRecord *> &records)
{
    if (records.isEmpty())
        return;
    const int n = rowCount();
    for (int i = 0; i < records.size(); ++i)
        prepare(records[i], n + i);
    beginInsertRows(QModelIndex(), n, n + int(records.size()) - 1);
    samplesData->samples += records;
    endInsertRows();
    samplesData->setDirty(true);
}

int SamplesTable::removeSampleRows(QVector<int> rows, const std::function<void(SampleRecord *)> &release)
{
    const int n = rowCount();
    rows.erase(std::remove_if(rows.begin(), rows.end(), [n](int r) { return r < 0 || r >= n; }), rows.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return 0;
    QVector<SampleRecord *> &samples = samplesData->samples;
    // Every record is released before any is deleted: releasing may look
    // at all the samples (closing a histogram window does).
    auto drop = [&](int first, int last) {
        if (release)
            for (int r = last; r >= first; --r)
                release(samples[r]);
        for (int r = last; r >= first; --r) {
            delete samples[r];
            samples[r] = nullptr;
        }
    };
    int runs = 1;
    for (int i = 1; i < rows.size(); ++i)
        runs += rows[i] != rows[i - 1] + 1;
    // A view handles each announced removal on its own; scattered rows are
    // cheaper as one reset (the window then selects the rows still selected).
    if (runs > 8) {
        beginResetModel();
        if (release)
            for (auto it = rows.crbegin(); it != rows.crend(); ++it)
                release(samples[*it]);
        for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
            delete samples[*it];
            samples[*it] = nullptr;
        }
        samples.removeAll(nullptr);
        samplesData->dropRows(rows);
        endResetModel();
        return int(rows.size());
    }
    // From the last run to the first, so the row numbers still to come stay valid.
    int end = int(rows.size());
    while (end > 0) {
        int begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin], last = rows[end - 1];
        beginRemoveRows(QModelIndex(), first, last);
        drop(first, last);
        samples.remove(first, last - first + 1);
        endRemoveRows();
        end = begin;
    }
    samplesData->dropRows(rows);
    return int(rows.size());
}

void SamplesTable::setRoleColors(const QHash<int, QColor> &colors)
{
    roleColors = colors;
    initChannelColors();
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void SamplesTable::initChannelColors()
{
    static const char letters[] = "RGBMCEYW";
    letterColors.clear();
    for (int i = 0; i < 8; ++i)
        letterColors.insert(QChar::fromLatin1(letters[i]), roleColors.value(8 + i));
}

void SamplesTable::rowsChanged(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, rowCount() - 1);
    if (first > last || columnCount() < 1)
        return;
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, first, last);
}
