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
