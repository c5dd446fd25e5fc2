#include "SamplesTableData.h"

#include <algorithm>

SamplesTableData::SamplesTableData(QObject *parent)
    : QObject(parent)
{
}

SamplesTableData::~SamplesTableData()
{
    qDeleteAll(samples);
}

void SamplesTableData::setChannelHeaders(const QStringList &names)
{
    channelNames = names;
    headers = QStringList{tr("ID")};
    for (const QString &n : names)
        headers << QStringLiteral("%1min").arg(n) << QStringLiteral("%1avg").arg(n) << QStringLiteral("%1max").arg(n)
                << QStringLiteral("%1dev").arg(n);
}

void SamplesTableData::setDirty(bool on)
{
    dirty = on;
    emit ev_dirty();
}

namespace {

void renumber(QMap<int, bool> &set, const QVector<int> &removed)
{
    if (set.isEmpty() || removed.isEmpty())
        return;
    QMap<int, bool> kept;
    for (auto it = set.cbegin(); it != set.cend(); ++it) {
        const auto below = std::lower_bound(removed.cbegin(), removed.cend(), it.key());
        if (below != removed.cend() && *below == it.key())
            continue;
        kept.insert(it.key() - int(below - removed.cbegin()), it.value());
    }
    set.swap(kept);
}

}

void SamplesTableData::dropRows(const QVector<int> &sortedRows)
{
    renumber(selectedRows, sortedRows);
    renumber(unhighlightRows, sortedRows);
}

QVector<int> SamplesTableData::selectedExistingRows() const
{
    QVector<int> rows;
    rows.reserve(selectedRows.size());
    for (auto it = selectedRows.cbegin(); it != selectedRows.cend(); ++it)
        if (it.key() >= 0 && it.key() < samples.size())
            rows << it.key();
    return rows;
}
