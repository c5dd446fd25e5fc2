#include "SampleCoordinatesReader.h"

#include "TextFields.h"

#include <QIODevice>
#include <QStringConverter>
#include <QTextStream>

SampleCoordinatesReader::Result SampleCoordinatesReader::read(QIODevice &device, int frameWidth, int frameHeight)
{
    Result result;
    if (!device.isSequential() && device.size() > maxFileSize) {
        result.tooLarge = true;
        return result;
    }
    QTextStream in(&device);
    in.setEncoding(QStringConverter::Utf8);
    QString line;
    while (in.readLineInto(&line))
        readLine(line, frameWidth, frameHeight, result);
    return result;
}

void SampleCoordinatesReader::readLine(QString line, int frameWidth, int frameHeight, Result &result)
{
    while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (line.trimmed().startsWith(QLatin1Char('#')))
        return;
    // Seven at most: enough to tell a row of six from a longer line.
    const QStringList parts = TextFields::leading(line, 7);
    if (parts.isEmpty())
        return;
    if (parts.size() == 2
        && (parts[0].compare(QLatin1String("samples"), Qt::CaseInsensitive) == 0
            || parts[0].compare(QLatin1String("samples:"), Qt::CaseInsensitive) == 0)) {
        result.declared = parts[1].toInt();
        return;
    }
    if (parts.size() != 6) {
        ++result.damaged;
        return;
    }
    ++result.found;
    QString name = parts[1];
    if (name.startsWith(QLatin1Char('"')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('"')))
        name.chop(1);
    bool ok[4];
    const int left = parts[2].toInt(&ok[0]);
    const int top = parts[3].toInt(&ok[1]);
    const int width = parts[4].toInt(&ok[2]);
    const int height = parts[5].toInt(&ok[3]);
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || width <= 0 || height <= 0 || left < 0 || top < 0) {
        ++result.damaged;
        return;
    }
    // In 64 bits: left + width can pass the int range.
    if (qint64(left) + width > frameWidth || qint64(top) + height > frameHeight) {
        ++result.skipped;
        return;
    }
    if (result.rows.size() >= maxRows) {
        ++result.overLimit;
        return;
    }
    Row row;
    row.area = areaAt(left, top, width, height);
    row.name = name;
    result.rows << row;
}
