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
