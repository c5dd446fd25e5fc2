#include "SampleFileWriter.h"

#include "SampleFileTexts.h"
#include "SampleRecord.h"

#include <QSysInfo>
#include <QTextStream>

#include <algorithm>

namespace {

QString number(const QLocale &locale, double v)
{
    return locale.toString(v, 'f', sampleValueDecimals(float(v)));
}

// The header of channel k's field (0 min, 1 avg, 2 max, 3 dev).
QString columnHeader(const QStringList &headers, int k, int field)
{
    return headers.value(1 + 4 * k + field);
}

// CGATS spells a second green "g", so a colour representation reads RGBg.
QString cgatsChannelName(const QStringList &names, int k)
{
    const QString name = names.value(k);
    return k == 3 && name == QLatin1String("G2") ? QStringLiteral("g") : name;
}

// A data-line name stays bare unless a reader would take it for something
// else: a comment, a quoted string, or no field at all.
QString cgatsSampleName(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('"')) || name.startsWith(QLatin1Char('#')))
        return SampleFileTexts::quoted(name);
    return name;
}

const char *const startCorners[] = {"TOP_LEFT", "TOP_RIGHT", "BOTTOM_RIGHT", "BOTTOM_LEFT"};
const char *const walkOrders[] = {"BY_COLUMNS", "BY_ROWS"};
const char *const namingOrders[] = {"A1_Z99", "A01_Z99", "1A_99Z", "01A_99Z", "AA_ZZ", "11_9999", "0101_9999"};

}

QLocale SampleFileWriter::numberLocale(bool regional)
{
    QLocale locale = regional ? QLocale::system() : QLocale::c();
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

QString SampleFileWriter::originatorText()
{
    return QStringLiteral("Tessivane v.%1.%2.%3 (Linux, %4)").arg(1).arg(4).arg(1).arg(QSysInfo::buildCpuArchitecture());
}

void SampleFileWriter::writeSamplesCSV(QTextStream &out, const Measurements &m, bool appending)
{
    const SamplesSaveSettings &s = m.settings;
    QLocale locale = m.tableLocale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const QString sep = locale.decimalPoint() == QLatin1String(",") ? QStringLiteral(";") : QStringLiteral(",");
    const int n = SampleCorrections::outputChannels(m.channels, m.greensAveraged);
    const bool extra[SamplesSaveSettings::ExtraFieldCount] = {
        s.extraFields.contains(0), s.extraFields.contains(1), s.extraFields.contains(2), s.extraFields.contains(3),
        s.extraFields.contains(4), s.extraFields.contains(5), s.extraFields.contains(6)};

    if (!appending) {
        QStringList header;
        if (s.addFilename)
            header << QStringLiteral("Filename");
        if (s.addFrameNumber)
            header << QStringLiteral("Frame");
        header << QStringLiteral("Id") << QStringLiteral("Sample_Name");
        static const char *const extraNames[] = {"Camera_Vendor", "Camera_Model", "ISO", "Shutter_Value",
                                                 "Shutter_String", "Aperture_Value", "Aperture_String"};
        for (int i = 0; i < SamplesSaveSettings::ExtraFieldCount; ++i)
            if (extra[i])
                header << QLatin1String(extraNames[i]);
        if (s.addCoordinates)
            header << QStringLiteral("Left") << QStringLiteral("Top") << QStringLiteral("Width")
                   << QStringLiteral("Height");
        for (int k = 0; k < n; ++k) {
            if (s.addExtremes)
                header << columnHeader(m.columnHeaders, k, 0);
            header << columnHeader(m.columnHeaders, k, 1);
            if (s.addExtremes)
                header << columnHeader(m.columnHeaders, k, 2);
            if (s.addStdDev)
                header << columnHeader(m.columnHeaders, k, 3);
        }
        for (QString &h : header)
            h = SampleFileTexts::quoted(h);
        out << header.join(sep) << '\n';
    }

    // The fields that are the same on every row.
    QString fixedFront, fixedExtra;
    if (s.addFilename)
        fixedFront += SampleFileTexts::quoted(m.info.fileName) + sep;
    if (s.addFrameNumber)
        fixedFront += QString::number(m.info.frameNumber) + sep;
    {
        QStringList fields;
        if (extra[0])
            fields << SampleFileTexts::quoted(m.info.cameraVendor);
        if (extra[1])
            fields << SampleFileTexts::quoted(m.info.cameraModel);
        if (extra[2])
            fields << QString::number(qint64(m.info.isoSpeed));
        if (extra[3])
            fields << QString::number(m.info.shutter, 'f', 6);
        if (extra[4])
            fields << SampleFileTexts::quoted(formatShutterSpeed(m.info.shutter));
        if (extra[5])
            fields << SampleFileTexts::apertureValue(m.info.aperture);
        if (extra[6])
            fields << SampleFileTexts::quoted(SampleFileTexts::apertureString(m.info.aperture));
        for (const QString &f : fields)
            fixedExtra += sep + f;
    }

    const QString dash = QStringLiteral("-");
    QString line;
    for (int i = 0; i < m.samples.size(); ++i) {
        const SampleRecord &r = *m.samples[i];
        const CorrectedSampleRow &c = m.corrected.rows[i];
        line = fixedFront;
        line += QString::number(r.id);
        line += sep;
        line += SampleFileTexts::quoted(r.name);
        line += fixedExtra;
        if (s.addCoordinates) {
            for (int v : {r.area.left, r.area.top, r.area.width, r.area.height}) {
                line += sep;
                line += QString::number(v);
            }
        }
        for (int k = 0; k < n; ++k) {
            const bool any = c.count[k] >= 1;
            auto field = [&](double v) {
                line += sep;
                line += any ? number(locale, v) : dash;
            };
            if (s.addExtremes)
                field(c.min[k]);
            field(c.avg[k]);
            if (s.addExtremes)
                field(c.max[k]);
            if (s.addStdDev)
                field(c.dev[k]);
        }
        line += QLatin1Char('\n');
        out << line;
    }
}

void SampleFileWriter::writeSamplesCGATS(QTextStream &out, const Measurements &m, const QVector<int> &gridIndices)
{
    using T = SampleFileTexts;
    const SamplesSaveSettings &s = m.settings;
    // A comma decimal point is not CGATS: readers would not take it for a number.
    const QLocale c = QLocale::c();
    const int n = SampleCorrections::outputChannels(m.channels, m.greensAveraged);
    const bool dev = s.addStdDev;

    out << "CGATS.17\n";
    out << "CREATED\t" << T::quoted(m.created.toString(QStringLiteral("MM/dd/yyyy"))) << "  # Time: "
        << m.created.toString(QStringLiteral("hh:mm")) << '\n';
    out << "INSTRUMENTATION\t" << T::quoted(QStringLiteral("Tessivane")) << '\n';
    out << "ORIGINATOR\t" << T::quoted(m.originator) << '\n';
    out << "MEASUREMENT_SOURCE\t"
        << T::quoted(QStringLiteral("Illumination=Unknown ObserverAngle=Unknown Filter=Unknown")) << '\n';
    auto descriptor = [&out](const QString &value) { out << "DESCRIPTOR\t" << T::quoted(value) << '\n'; };
    descriptor(QStringLiteral("Filename='%1' Frame=%2").arg(m.info.canonicalPath).arg(m.info.frameNumber));
    if (!m.info.cameraInfoLine.isEmpty())
        descriptor(m.info.cameraInfoLine);
    if (!m.info.dataRangeLine.isEmpty())
        descriptor(m.info.dataRangeLine);
    if (s.addDcp)
        descriptor(QStringLiteral("DCP Profile"));
    if (s.doFlatField)
        descriptor(QStringLiteral("FlatFieldFile='%1' FlatFieldChannelAverage=%2")
                       .arg(m.flatFieldCanonicalPath,
                            s.flatFieldAvgChannels ? QStringLiteral("yes") : QStringLiteral("no")));
    if (s.doWhiteBalance) {
        QStringList coeffs;
        for (double w : m.corrected.whiteBalanceCoeffs)
            coeffs << number(c, w);
        const int ref = s.whiteBalanceIndex - 1;
        const QString name = ref >= 0 && ref < m.corrected.rows.size() ? m.corrected.rows[ref].name : QString();
        descriptor(QStringLiteral("WhiteBalanceSample=%1 WhiteBalanceCoeffs=%2").arg(name, coeffs.join(QLatin1Char(','))));
    }
    if (s.doGammaAndNorm)
        descriptor(QStringLiteral("Gamma=%1 MaxValue=%2 NormCoeff=%3")
                       .arg(number(c, s.gamma), number(c, s.normalizationValue), number(c, m.corrected.normCoeff)));
    out << "NUMBER_OF_FIELDS\t" << 2 + (dev ? 2 : 1) * n << '\n';

    QStringList names;
    for (int k = 0; k < n; ++k)
        names << cgatsChannelName(m.channelNames, k);
    const bool rgb = m.greensAveraged || m.channels == 1;
    const QString rep = rgb ? QStringLiteral("RGB") : names.join(QString());
    QStringList valueFields, devFields;
    if (m.greensAveraged) {
        valueFields = {QStringLiteral("RGB_R"), QStringLiteral("RGB_G"), QStringLiteral("RGB_B")};
        devFields = {QStringLiteral("STDEV_R"), QStringLiteral("STDEV_G"), QStringLiteral("STDEV_B")};
        if (dev)
            for (const QString &f : devFields)
                out << "KEYWORD\t" << T::quoted(f) << '\n';
    } else {
        for (const QString &name : names) {
            valueFields << rep + QLatin1Char('_') + name;
            devFields << QStringLiteral("STDEV_") + name;
        }
        out << "KEYWORD\t" << T::quoted(QStringLiteral("COLOR_REP")) << '\n';
        out << "COLOR_REP\t" << T::quoted(rep) << '\n';
        for (int k = 0; k < n; ++k) {
            out << "KEYWORD\t" << T::quoted(valueFields[k]) << '\n';
            if (dev)
                out << "KEYWORD\t" << T::quoted(devFields[k]) << '\n';
        }
    }

    struct GridList {
        const char *keyword;
        const char *const *entries;
        int size;
    };
    const GridList lists[3] = {{"START_CORNER", startCorners, 4}, {"WALK_ORDER", walkOrders, 2},
                               {"NAMING_ORDER", namingOrders, 7}};
    auto validGrid = [&](int i) {
        const int v = gridIndices.value(i, -1);
        return v >= 0 && v < lists[i].size;
    };
    for (int i = 0; i < 3; ++i)
        if (validGrid(i))
            out << "KEYWORD " << T::quoted(QLatin1String(lists[i].keyword)) << '\n';
    out << "KEYWORD " << T::quoted(QStringLiteral("SAMPLE_NAME")) << '\n';
    for (int i = 0; i < 3; ++i)
        if (validGrid(i))
            out << lists[i].keyword << ' ' << T::quoted(QLatin1String(lists[i].entries[gridIndices[i]])) << '\n';

    out << "BEGIN_DATA_FORMAT\n";
    out << "SAMPLE_ID\tSAMPLE_NAME";
    for (const QString &f : valueFields)
        out << '\t' << f;
    if (dev)
        for (const QString &f : devFields)
            out << '\t' << f;
    out << "\nEND_DATA_FORMAT\n";
    out << "NUMBER_OF_SETS\t" << m.samples.size() << '\n';
    out << "BEGIN_DATA\n";
    QString line;
    for (int i = 0; i < m.samples.size(); ++i) {
        const CorrectedSampleRow &row = m.corrected.rows[i];
        line = QString::number(m.samples[i]->id);
        line += QLatin1Char('\t');
        line += cgatsSampleName(m.samples[i]->name);
        for (int k = 0; k < n; ++k) {
            line += QLatin1Char('\t');
            line += number(c, row.avg[k]);
        }
        if (dev) {
            for (int k = 0; k < n; ++k) {
                line += QLatin1Char('\t');
                line += number(c, row.dev[k]);
            }
        }
        line += QLatin1Char('\n');
        out << line;
    }
    out << "END_DATA\n";
}

void SampleFileWriter::writeSampleCoordinates(QTextStream &out, const QVector<SampleRecord *> &samples,
                                              const SampleFileInfo &info)
{
    out << "# Tessivane Sample Coordinate Data\n";
    out << "samples:\t" << samples.size() << '\n';
    out << "# Filename: " << info.fileName << "\tFrame: " << info.frameNumber << '\n';
    out << "# Sample_Id\tSample_Name\tLeft\tTop\tWidth\tHeight\n";
    for (const SampleRecord *r : samples) {
        QString name = r->name;
        name.replace(QLatin1Char('\t'), QLatin1Char(' '));
        out << r->id << "\t\"" << name << "\"\t" << r->area.left << '\t' << r->area.top << '\t' << r->area.width
            << '\t' << r->area.height << '\n';
    }
}

void SampleFileWriter::writeFlatFieldData(QTextStream &out, const QVector<SampleRecord *> &samples,
                                          const QStringList &channelNames, int channels, const SampleFileInfo &info)
{
    const int cc = std::clamp(channels, 0, 4);
    out << "Tessivane FlatField Data\n";
    out << "4\t" << samples.size() << "\tchannels/samples\n";
    out << "Filename: " << info.fileName << "\tFrame: " << info.frameNumber << '\n';
    out << "Sample_Id\tSample_Name\t" << channelNames.join(QLatin1Char('\t')) << '\n';
    float largest[4] = {0, 0, 0, 0};
    for (const SampleRecord *r : samples)
        for (int k = 0; k < cc; ++k)
            largest[k] = std::max(largest[k], float(r->avg[k]));
    for (float &m : largest)
        if (m < 0.00001f)
            m = 1;
    QString line;
    for (const SampleRecord *r : samples) {
        line = QString::number(r->id);
        line += QLatin1Char('\t');
        line += r->name;
        for (int k = 0; k < cc; ++k) {
            line += QLatin1Char('\t');
            line += QString::number(float(r->avg[k]) / largest[k], 'f', 6);
        }
        line += QLatin1Char('\n');
        out << line;
    }
}
