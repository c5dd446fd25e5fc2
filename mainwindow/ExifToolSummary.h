// What the Metadata panel and the histogram titles take from ExifTool's tag
// lines: a few named tags, matched on the name column.
#ifndef EXIFTOOLSUMMARY_H
#define EXIFTOOLSUMMARY_H

#include <QString>
#include <QStringList>

#include <functional>

class ExifToolSummary
{
public:
    static ExifToolSummary read(const QStringList &lines);

    // The Metadata panel's table over the decoder's make, model and ISO
    // (its ISO wins unless 0 or 65535); empty when ExifTool named too little,
    // so the decoder's own summary stays.
    // `fit`, when given, shortens each text before it goes in, so a long
    // value (a lens name) cannot widen the panel.
    QString panelHtml(const QString &decoderMake, const QString &decoderModel, double decoderIso,
                      const std::function<QString(const QString &)> &fit = {}) const;

    // The cached texts, read as fallbacks by the histogram titles.
    QString make, model, exposure, fNumber, iso;
    // "Make" and "Camera Model Name" share it: the later line wins.
    QString makeOrModel;
    QString metering, compensation, lens, focal;
};

#endif
