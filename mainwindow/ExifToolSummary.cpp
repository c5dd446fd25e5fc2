#include "ExifToolSummary.h"

#include "ExifTagLine.h"

#include <cmath>

ExifToolSummary ExifToolSummary::read(const QStringList &lines)
{
    ExifToolSummary s;
    for (const QString &line : lines) {
        const ExifTagLine tag = ExifTagLine::parse(line);
        if (tag.fieldCount < 2)
            continue;
        const QString &name = tag.name;
        const QString &value = tag.value;
        if (name == QLatin1String("Camera Model Name")) {
            s.makeOrModel = value;
            s.model = value;
        } else if (name == QLatin1String("Make")) {
            s.makeOrModel = value;
            s.make = value;
        } else if (name == QLatin1String("Metering Mode")) {
            s.metering = value;
        } else if (name == QLatin1String("Exposure Compensation")) {
            s.compensation = value == QLatin1String("0") ? QString() : value;
        } else if (name == QLatin1String("Exposure Time")) {
            s.exposure = value + QLatin1Char('s');
        } else if (name == QLatin1String("F Number")) {
            s.fNumber = QStringLiteral("f/") + value;
        } else if (name == QLatin1String("Lens ID")) {
            s.lens = value;
        } else if (name == QLatin1String("ISO")) {
            s.iso = value;
        } else if (name == QLatin1String("Focal Length")) {
            s.focal = QLatin1Char('@') + value;
        }
    }
    return s;
}

QString ExifToolSummary::panelHtml(const QString &decoderMake, const QString &decoderModel, double decoderIso,
                                   const std::function<QString(const QString &)> &fit) const
{
    if (makeOrModel.size() <= 2 || exposure.size() <= 1 || fNumber.size() <= 1)
        return QString();
    // A hostile file's ISO may be any float; only a value an int holds is
    // compared.
    const int fileIso = std::isfinite(decoderIso) && std::fabs(decoderIso) < 2e9 ? int(decoderIso) : 0;
    const QString shownIso = fileIso != 0 && fileIso != 65535 ? QString::number(fileIso) : iso;
    auto e = [&fit](const QString &s) { return (fit ? fit(s) : s).toHtmlEscaped(); };
    return QStringLiteral("<table><tr><td>%1 %2</td></tr><tr><td><b>%3 %4 @ISO %5</b></td></tr>"
                          "<tr><td>%6 <b>%7</b></td></tr><tr><td>%8</td></tr><tr><td>%9</b></td></tr></table>")
        .arg(e(decoderMake), e(decoderModel), e(exposure), e(fNumber), e(shownIso), e(metering), e(compensation),
             e(lens), e(focal));
}
