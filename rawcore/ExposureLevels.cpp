#include "ExposureLevels.h"

#include "EvTables.h"
#include "PrefStore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

int64_t countAt(const HistogramData &h, int64_t v, int c)
{
    if (v < 0 || v >= h.counts.size())
        return 0;
    return h.counts[int(v)][c];
}

unsigned atLeastOne(int64_t v)
{
    return unsigned(std::clamp<int64_t>(v, 1, 0xFFFFFFFFll));
}

unsigned nonNegative(int v)
{
    return unsigned(std::max(0, v));
}

} // namespace

ExposureSettings ExposureSettings::fromPrefs(PrefStore *store)
{
    ExposureSettings s;
    if (!store)
        return s;
    s.useLinearityLimit = store->prefValue(QStringLiteral("d_useLinearityLimitforOE"));
    s.sensitivityIndex = store->prefValue(QStringLiteral("autoOESensitivity"));
    s.oeDetectMethod = store->prefValue(QStringLiteral("oeDetectMethod"));
    s.manualOELevel = store->prefValue(QStringLiteral("manualOELevel"));
    s.ueDetectMethod = store->prefValue(QStringLiteral("ueDetectMethod"));
    s.manualUELevel = store->prefValue(QStringLiteral("manualUELevel"));
    for (int c = 0; c < 4; ++c) {
        if (s.oeDetectMethod == 2)
            s.moec[c] = store->prefValue(QStringLiteral("MOEC%1").arg(c));
        if (s.ueDetectMethod == 2)
            s.muec[c] = store->prefValue(QStringLiteral("MUEC%1").arg(c));
    }
    s.oeShift = store->prefValue(QStringLiteral("OEShift"));
    s.ueOffset = store->prefValue(QStringLiteral("ueOffset"));
    s.resetMOEOnLoad = store->prefValue(QStringLiteral("resetMOEOnLoad"));
    return s;
}

float exposureSensitivity(int index)
{
    switch (index) {
    case 0: return 0.1f * 0.01f;
    case 1: return 0.5f * 0.01f;
    case 2: return 1.0f * 0.01f;
    case 3: return 2.0f * 0.01f;
    case 4: return -1.0f;
    default: return 0.01f;
    }
}

unsigned detectClipBySpike(const HistogramData &hist, int c, float sensitivity, unsigned base)
{
    int64_t t = 0;
    for (int64_t v = int64_t(hist.counts.size()) - 1; v >= 0; --v)
        if (hist.counts[int(v)][c] > 3) {
            t = v;
            break;
        }
    const int64_t w = int64_t(sensitivity * float(t));
    const int64_t ht = countAt(hist, t, c);
    if (t >= 1 && ht > countAt(hist, t - 1, c) + 50 && ht > 100)
        return atLeastOne(t - w);
    if (2 * w < t) {
        int64_t high = 0, low = 0;
        for (int64_t i = 0; i < w; ++i) {
            high += countAt(hist, t - i, c);
            low += countAt(hist, t - w - i, c);
        }
        if (low + 50 < high && high > 100)
            return atLeastOne(t - w);
    }
    return base;
}

unsigned detectClipByBins(const HistogramData &hist, int c, unsigned dataRange, unsigned base)
{
    const EvTables &ev = EvTables::instance();
    int64_t bins[256] = {};
    const int last = std::min<int>(int(hist.counts.size()) - 1, 65535);
    for (int v = 0; v <= last; ++v)
        bins[ev.binOf((unsigned short)v)] += hist.counts[v][c];
    int b = 0;
    for (int i = 255; i >= 1; --i)
        if (bins[i]) {
            b = i;
            break;
        }
    if (!(b >= 255 || unsigned(ev.binStart(b)) >= dataRange / 4))
        return base;
    for (int bb = b; bb > b - 4 && bb > 37; --bb)
        if (bins[bb - 1] + 100 < bins[bb])
            return unsigned(ev.binStart(bb));
    return base;
}

ExposureResult computeExposureLevels(const ExposureInput &in, const ExposureSettings &s)
{
    ExposureResult r;
    const int64_t x = std::max(in.dataRange, in.visibleMaximum);
    for (int c = 0; c < 4; ++c)
        r.computed[c] = atLeastOne(x - int64_t(in.black[c]));

    if (s.useLinearityLimit && in.linearMax[0] >= 1) {
        for (int c = 0; c < 4; ++c) {
            const int64_t l = in.linearMax[c] >= 1 ? in.linearMax[c] : in.linearMax[0];
            r.computed[c] = atLeastOne(l - int64_t(in.black[c]));
        }
    } else if (in.frameHistogram && !in.frameHistogram->counts.isEmpty()) {
        const float sens = exposureSensitivity(s.sensitivityIndex);
        for (int c = 0; c < 4; ++c)
            r.computed[c] = sens >= 0
                ? detectClipBySpike(*in.frameHistogram, c, sens, r.computed[c])
                : detectClipByBins(*in.frameHistogram, c, in.dataRange, r.computed[c]);
    }

    const float oeFactor = float(std::pow(2.0, double(s.oeShift) / 1000.0));
    const float ueFactor = float(std::pow(2.0, -double(s.ueOffset) / 1000.0));
    for (int c = 0; c < 4; ++c) {
        if (s.oeDetectMethod == 1)
            r.over[c] = nonNegative(s.manualOELevel);
        else if (s.oeDetectMethod == 2)
            r.over[c] = nonNegative(s.moec[c]);
        else
            r.over[c] = unsigned(std::min(float(r.computed[c]) * oeFactor, 4294967040.0f));
    }
    for (int c = 0; c < 4; ++c) {
        if (s.ueDetectMethod == 1)
            r.under[c] = nonNegative(s.manualUELevel);
        else if (s.ueDetectMethod == 2)
            r.under[c] = nonNegative(s.muec[c]);
        else
            r.under[c] = unsigned(std::min(float(r.over[c]) * ueFactor, 4294967040.0f));
    }
    return r;
}

ExposureResult computeExposureLevels(const ExposureInput &in, PrefStore *store, bool reload)
{
    const ExposureSettings s = ExposureSettings::fromPrefs(store);
    ExposureResult r = computeExposureLevels(in, s);
    if (reload && store && s.resetMOEOnLoad) {
        QVector<int> levels;
        for (int c = 0; c < 4; ++c)
            levels.append(int(std::min<unsigned>(r.computed[c], 0x7FFFFFFF)));
        store->setOverExposureLevelsFromFile(levels);
    }
    return r;
}

QString formatCount(int n)
{
    if (n < 0)
        return QStringLiteral("-");
    if (n < 1000)
        return QStringLiteral("%1").arg(n);
    if (n < 1000000)
        return QStringLiteral("%1k").arg(n / 1000);
    return QStringLiteral("%1m").arg(n / 1000000);
}

QString exposureStatsTable(const HistogramData &frame, const QStringList &names, int channels,
                           const QVector<unsigned> &over, const QVector<unsigned> &under,
                           unsigned dataRange, unsigned currentMaximum, const ColorTable &colors)
{
    const QString header = QStringLiteral(
        "<table><tr><td>&nbsp;</td><td colspan=2 align=center>OvExp</td>"
        "<td colspan=2 align=center>UnExp</td></tr>");
    QString rows[4];
    const int64_t top = std::max(dataRange, currentMaximum);
    const QString overColor = colors.value(7).name();
    const QString underColor = colors.value(5).name();
    const int nch = std::clamp(channels, 0, 4);
    for (int c = 0; c < nch; ++c) {
        const int64_t oe = c < over.size() ? over[c] : 0;
        const int64_t ue = c < under.size() ? under[c] : 0;
        int64_t overCount = 0, underCount = 0;
        for (int64_t v = top; v >= oe && v > 0; --v)
            overCount += countAt(frame, v, c);
        for (int64_t v = 0; v < ue && v <= top; ++v)
            underCount += countAt(frame, v, c);
        const int n = frame.count[c];
        // Truncated to the one decimal shown, in whole tenths so that 3.3 %
        // is not 3.29999; an empty channel shows 0 %, not a division by zero.
        auto percent = [n](int64_t part) { return n > 0 ? double(part * 1000 / n) / 10.0 : 0.0; };
        const double overPct = percent(overCount);
        const double underPct = percent(underCount);
        rows[c] = QStringLiteral(
                      "<tr><td>%1</td><td align=right><font color=%6>%2&nbsp;</font></td>"
                      "<td align=right><i>%3%&nbsp;</i></td><td align=right><font color=%7>"
                      "&nbsp;%4&nbsp;</font></td><td align=right><i>%5%</i></td></tr>")
                      .arg(names.value(c), formatCount(int(std::min<int64_t>(overCount, 0x7FFFFFFF))),
                           QStringLiteral("%1").arg(overPct, 4, 'f', 1),
                           formatCount(int(std::min<int64_t>(underCount, 0x7FFFFFFF))),
                           QStringLiteral("%1").arg(underPct, 4, 'f', 1), overColor,
                           underColor);
    }
    return QStringLiteral("%1%2%3%4%5</table>").arg(header, rows[0], rows[1], rows[2], rows[3]);
}

QString widestExposureStatsTable(const ColorTable &colors)
{
    HistogramData h;
    h.resizeCounts(2);
    for (int c = 0; c < 4; ++c)
        h.counts[1][c] = h.count[c] = 888888888;
    const QStringList names{QStringLiteral("G2"), QStringLiteral("Cb"), QStringLiteral("Cr"), QStringLiteral("G2")};
    return exposureStatsTable(h, names, 4, {1, 1, 1, 1}, {2, 2, 2, 2}, 1, 1, colors);
}

QString dataRangeLine(unsigned dataRange, unsigned visibleMaximum, const QVector<unsigned> &over,
                      int channels, const QStringList &wbAsShot)
{
    QStringList levels;
    const int nch = std::clamp(channels, 0, 4);
    for (int c = 0; c < nch && c < over.size(); ++c)
        levels.append(QString::number(over[c]));
    QString line = QStringLiteral("DataRange=%1 RealDataLimit=%2 OELevels=%3")
                       .arg(dataRange)
                       .arg(visibleMaximum)
                       .arg(levels.join(QLatin1Char(',')));
    if (!wbAsShot.isEmpty())
        line += QStringLiteral(" WBAsShot=%1").arg(wbAsShot.join(QLatin1Char(',')));
    return line;
}

QStringList asShotWBValues(const float mul[4], int channelCount)
{
    QStringList out;
    if (!(mul[0] > 0.1f) || !(mul[2] > 0.1f))
        return out;
    QVector<float> v;
    const int n = std::clamp(channelCount, 0, 4);
    for (int c = 0; c < n; ++c)
        v.append(mul[c]);
    if (v.size() == 3)
        v.append(mul[1]);
    if (v.size() == 4 && v[3] < 0.1f)
        v[3] = mul[1];
    if (v.isEmpty())
        return out;
    const float m = *std::min_element(v.begin(), v.end());
    if (!(m >= 0.1f))
        return out;
    for (float x : std::as_const(v))
        out.append(QStringLiteral("%1").arg(double(x / m), 0, 'f', 5));
    return out;
}
