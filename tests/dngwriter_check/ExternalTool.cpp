#include "ExternalTool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

bool ExternalTool::available(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QString ExternalTool::run(const QString &program, const QStringList &args, int *exitCode)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAll());
}

QJsonObject ExternalTool::exiftoolJson(const QString &path, const QStringList &extraArgs)
{
    QProcess p;
    p.start("exiftool", QStringList{"-j", "-n", "-G1"} + extraArgs + QStringList{path});
    if (!p.waitForFinished(30000))
        return {};
    const QJsonArray list = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    return list.isEmpty() ? QJsonObject() : list.first().toObject();
}

QString ExternalTool::jsonText(const QJsonObject &o, const QString &key)
{
    const QJsonValue v = o.value(key);
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 12);
    return QStringLiteral("<missing %1>").arg(key);
}

QByteArray ExternalTool::dcrawImage(const QString &path, const QString &mode)
{
    QProcess p;
    p.start("dcraw", {mode, "-4", "-c", path});
    if (!p.waitForFinished(30000))
        return {};
    return p.readAllStandardOutput();
}

bool ExternalTool::readPnm(const QByteArray &pnm, int &width, int &height, int &channels, std::vector<uint16_t> &values)
{
    int newlines = 0, pos = 0;
    while (newlines < 3 && pos < pnm.size())
        if (pnm[pos++] == '\n')
            ++newlines;
    const QList<QByteArray> header = pnm.left(pos).simplified().split(' ');
    if (newlines < 3 || header.size() != 4 || (header[0] != "P5" && header[0] != "P6") || header[3] != "65535")
        return false;
    channels = header[0] == "P5" ? 1 : 3;
    width = header[1].toInt();
    height = header[2].toInt();
    if (pnm.size() - pos != qsizetype(width) * height * channels * 2)
        return false;
    values.resize(size_t(width) * size_t(height) * size_t(channels));
    const auto *p = reinterpret_cast<const uint8_t *>(pnm.constData() + pos);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = uint16_t(p[2 * i] << 8 | p[2 * i + 1]);
    return true;
}

QString ExternalTool::dcrawRawArrayMismatch(const QString &path, int width, int height,
                                            const std::vector<uint16_t> &expected)
{
    int w = 0, h = 0, channels = 0;
    std::vector<uint16_t> values;
    if (!readPnm(dcrawImage(path, "-E"), w, h, channels, values))
        return QStringLiteral("dcraw gave no 16-bit image");
    if (channels != 1 || w != width || h != height)
        return QStringLiteral("dcraw gave %1 x %2 x %3, expected %4 x %5 x 1").arg(w).arg(h).arg(channels).arg(width).arg(height);
    for (size_t i = 0; i < values.size() && i < expected.size(); ++i)
        if (values[i] != expected[i])
            return QStringLiteral("sample %1, %2: dcraw %3, written %4")
                .arg(i % size_t(w)).arg(i / size_t(w)).arg(values[i]).arg(expected[i]);
    return {};
}
