#ifndef EXTERNALTOOL_H
#define EXTERNALTOOL_H

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Runs the outside programs (exiftool, tiffinfo) the writer's output is
// checked with, so writer and reader never share our code.
class ExternalTool {
public:
    static bool available(const QString &program);
    // stdout and stderr together; empty string when the program did not run.
    static QString run(const QString &program, const QStringList &args, int *exitCode = nullptr);
    // exiftool -j -n -G1 on one file: "Group:Tag" -> value.
    static QJsonObject exiftoolJson(const QString &path, const QStringList &extraArgs = {});
    // A value of that object as text (numbers in full), "<missing Key>" when absent.
    static QString jsonText(const QJsonObject &o, const QString &key);
    // dcraw's 16-bit image of a raw file (`mode` -E: the whole raw array,
    // -D: the visible area), as PNM bytes; empty when dcraw failed.
    static QByteArray dcrawImage(const QString &path, const QString &mode);
    // A 16-bit PGM (Bayer data) or PPM (data dcraw turns into RGB itself).
    static bool readPnm(const QByteArray &pnm, int &width, int &height, int &channels, std::vector<uint16_t> &values);
};

#endif
