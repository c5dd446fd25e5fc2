#include "FlatFieldReader.h"

#include "TextFields.h"

#include <QFile>
#include <QStringConverter>
#include <QTextStream>

namespace {

// The header is compared over its first 23 characters only, so a file whose
// title differs in its last character still reads.
const QLatin1String headerStart("Tessivane FlatField Dat");

bool nextLine(QTextStream &in, QString *line)
{
    if (!in.readLineInto(line))
        return false;
    while (line->endsWith(QLatin1Char('\r')))
        line->chop(1);
    return true;
}

}

FlatFieldFile FlatFieldReader::read(QIODevice &device)
{
    FlatFieldFile result;
    if (!device.isSequential() && device.size() > maxFileSize)
        return result;
    QTextStream in(&device);
    in.setEncoding(QStringConverter::Utf8);
    QString line;
    if (!nextLine(in, &line) || !line.startsWith(headerStart))
        return result;
    if (!nextLine(in, &line))
        return result;
    const QStringList header = TextFields::leading(line, 2);
    if (header.size() < 2)
        return result;
    result.channels = header[0].toInt();
    result.count = header[1].toInt();
    if (result.channels != 4 || result.count <= 0)
        return result;
    for (int skip = 0; skip < 2; ++skip)
        if (!nextLine(in, &line))
            return result;
    for (int i = 0; i < result.count && nextLine(in, &line); ++i) {
        const QStringList parts = TextFields::leading(line, 6);
        if (parts.size() < 2)
            continue;
        FlatFieldRecord r;
        r.id = parts[0].toInt();
        r.name = parts[1];
        for (int k = 0; k < 4 && k + 2 < parts.size(); ++k)
            r.coeff[k] = float(parts[k + 2].toDouble());
        result.records.append(r);
    }
    return result;
}

FlatFieldFile readFlatFieldFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FlatFieldFile();
    return FlatFieldReader::read(file);
}
