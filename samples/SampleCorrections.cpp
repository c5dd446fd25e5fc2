#include "SampleCorrections.h"

#include "SampleRecord.h"

#include <QHash>

#include <algorithm>
#include <cmath>

bool SampleCorrections::averagesGreens(const SamplesSaveSettings &s, int channels, bool isRgb)
{
    return s.avgGreen && isRgb && channels >= 4;
}

int SampleCorrections::outputChannels(int channels, bool greensAveraged)
{
    if (channels < 4)
        return std::max(channels, 0);
    return greensAveraged ? 3 : 4;
}

QVector<int> SampleCorrections::flatFieldRecordIndices(const QVector<FlatFieldRecord> &records, int rowCount,
                                                       const QStringList &matchNames, bool matchByName)
{
    QVector<int> indices(rowCount);
    for (int r = 0; r < rowCount; ++r)
        indices[r] = r;
    if (!matchByName)
        return indices;
    QHash<QString, int> byName;
    for (int i = 0; i < records.size(); ++i)
        byName.insert(records[i].name, i);
    for (int r = 0; r < rowCount && r < matchNames.size(); ++r) {
        const auto it = byName.constFind(matchNames[r]);
        if (it != byName.constEnd())
            indices[r] = it.value();
    }
    return indices;
}

std::array<double, 4> SampleCorrections::flatFieldDivisors(const FlatFieldRecord &r, int channels,
                                                           bool averageChannels, bool greensAveraged)
{
    std::array<double, 4> q = {0, 0, 0, 0};
    const int cc = std::clamp(channels, 0, 4);
    for (int k = 0; k < cc; ++k)
        q[k] = r.coeff[k];
    if (averageChannels) {
        const double quarter = (double(r.coeff[0]) + r.coeff[1] + r.coeff[2] + r.coeff[3]) / 4;
        for (int k = 0; k < cc; ++k)
            q[k] = quarter;
    } else if (greensAveraged) {
        q[1] = (q[1] + q[3]) * 0.5;
    }
    return q;
}

bool SampleCorrections::flatFieldDivisorsUsable(const FlatFieldFile &file, const SamplesSaveSettings &s,
                                                const QStringList &matchNames,
                                                const QVector<std::array<int, 4>> &counts, int channels, bool isRgb)
{
    const int rows = int(matchNames.size());
    const bool g = averagesGreens(s, channels, isRgb);
    const int n = outputChannels(channels, g);
    const QVector<int> index = flatFieldRecordIndices(file.records, rows, matchNames, s.flatFieldMatchByName);
    for (int r = 0; r < rows; ++r) {
        if (index[r] < 0 || index[r] >= file.records.size())
            return false;
        const std::array<double, 4> q =
            flatFieldDivisors(file.records[index[r]], channels, s.flatFieldAvgChannels, g);
        for (int k = 0; k < n; ++k) {
            const bool hasPixels = r >= counts.size() || counts[r][k] > 0;
            if (hasPixels && !(std::isfinite(q[k]) && q[k] > 0))
                return false;
        }
    }
    return true;
}

SampleCorrections::Result SampleCorrections::buildCorrectedRows(const QVector<SampleRecord *> &samples,
                                                                const SamplesSaveSettings &s,
                                                                const FlatFieldFile &flatField,
                                                                const QStringList &matchNames, int channels,
                                                                bool isRgb)
{
    Result result;
    const int rows = int(samples.size());
    const int cc = std::clamp(channels, 0, 4);
    const bool g = averagesGreens(s, channels, isRgb);
    const int n = outputChannels(channels, g);
    QVector<int> ffIndex;
    if (s.doFlatField)
        ffIndex = flatFieldRecordIndices(flatField.records, rows, matchNames, s.flatFieldMatchByName);

    // Copy, green averaging, relative deviation and flat field. The mask
    // remembers which deviations were made relative, so only those are
    // multiplied back at the end.
    auto baseRow = [&](int i, unsigned *relativeMask) {
        const SampleRecord &in = *samples[i];
        CorrectedSampleRow row;
        row.name = in.name;
        for (int k = 0; k < cc; ++k) {
            row.avg[k] = in.avg[k];
            row.min[k] = in.min[k];
            row.max[k] = in.max[k];
            row.dev[k] = in.dev[k];
            row.count[k] = in.count[k];
        }
        if (g && in.count[3] > 0) {
            const double n1 = in.count[1], n3 = in.count[3];
            row.avg[1] = (n1 * in.avg[1] + n3 * in.avg[3]) / (n1 + n3);
            row.dev[1] = (n1 * in.dev[1] + n3 * in.dev[3]) / (n1 + n3);
            row.min[1] = std::min(in.min[1], in.min[3]);
            row.max[1] = std::max(in.max[1], in.max[3]);
        }
        unsigned mask = 0;
        for (int k = 0; k < n; ++k) {
            if (row.avg[k] > 0.000001) {
                row.dev[k] /= row.avg[k];
                mask |= 1u << k;
            }
        }
        if (s.doFlatField && i < ffIndex.size() && ffIndex[i] >= 0 && ffIndex[i] < flatField.records.size()) {
            const std::array<double, 4> q =
                flatFieldDivisors(flatField.records[ffIndex[i]], channels, s.flatFieldAvgChannels, g);
            for (int k = 0; k < n; ++k) {
                if (row.count[k] <= 0)
                    continue;
                row.avg[k] /= q[k];
                row.min[k] /= q[k];
                row.max[k] /= q[k];
            }
        }
        *relativeMask = mask;
        return row;
    };

    double w[4] = {1, 1, 1, 1};
    const int wbIndex = s.whiteBalanceIndex;
    const bool balance = channels > 1 && s.doWhiteBalance && wbIndex > 0 && wbIndex <= rows;
    if (balance) {
        unsigned unused = 0;
        const CorrectedSampleRow ref = baseRow(wbIndex - 1, &unused);
        double m = 0;
        for (int k = 0; k < n; ++k)
            m = std::max(m, ref.avg[k]);
        for (int k = 0; k < n; ++k) {
            w[k] = ref.avg[k] > 0 ? m / ref.avg[k] : 1;
            result.whiteBalanceCoeffs.append(w[k]);
        }
    }

    const bool gammaStep = s.doGammaAndNorm;
    const double inverseGamma = 1.0 / (s.gamma < 0.01 ? 1.0 : s.gamma);
    double largest = 0;
    QVector<unsigned> masks(rows);
    result.rows.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        CorrectedSampleRow row = baseRow(i, &masks[i]);
        for (int k = 0; k < n; ++k) {
            if (balance) {
                row.avg[k] *= w[k];
                row.min[k] *= w[k];
                row.max[k] *= w[k];
            }
            if (gammaStep) {
                row.avg[k] = std::pow(row.avg[k], inverseGamma);
                row.min[k] = std::pow(row.min[k], inverseGamma);
                row.max[k] = std::pow(row.max[k], inverseGamma);
                largest = std::max(largest, row.avg[k]);
            } else if (masks[i] & (1u << k)) {
                row.dev[k] *= row.avg[k];
            }
        }
        result.rows.append(row);
    }
    if (!gammaStep)
        return result;

    // Scaling needs the largest average of all rows first.
    const double norm = largest < 0.0000001 ? 1.0 : s.normalizationValue / largest;
    result.normCoeff = norm;
    for (int i = 0; i < rows; ++i) {
        CorrectedSampleRow &row = result.rows[i];
        for (int k = 0; k < n; ++k) {
            row.avg[k] *= norm;
            row.min[k] *= norm;
            row.max[k] *= norm;
            if (masks[i] & (1u << k))
                row.dev[k] *= row.avg[k];
        }
    }
    return result;
}
