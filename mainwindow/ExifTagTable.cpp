#include "ExifTagTable.h"

#include "ExifTagLine.h"

#include <QRegularExpression>

#include <algorithm>

QString exifTagsHtml(const ColorTable &colors, const QStringList &lines, bool fullWidth)
{
    const QString c1 = colors.value(1).name();
    const QString c2 = colors.value(2).name();
    const QString c3 = colors.value(3).name();
    const QString c4 = colors.value(4).name();
    QString html = QStringLiteral("<html><body style=\"background: %2;\"><table %1>")
                       .arg(fullWidth ? QStringLiteral("width=100%") : QString(), c2);
    int row = 0;
    for (const QString &line : lines) {
        const ExifTagLine tag = ExifTagLine::parse(line);
        if (tag.fieldCount == 1) {
            html += QStringLiteral("<tr><th colspan=2 width=100% align=left style=\"background-color: %2; "
                                   "color: %3;\">%1</th></tr>\n")
                        .arg(tag.group.toHtmlEscaped(), c1, c4);
            row = 0;
            continue;
        }
        const QString &background = row % 2 ? c3 : c2;
        ++row;
        if (tag.fieldCount == 2)
            html += QStringLiteral("<tr><td style=\"background-color: %3; color: %4;\" width=\"35%\">%1</td>"
                                   "<td style=\"background-color: %3; color: %4;\">%2</td></tr>\n")
                        .arg(tag.name.toHtmlEscaped(), tag.value.toHtmlEscaped(), background, c1);
        else
            html += QStringLiteral("<tr><td style=\"background-color: %2; color: %3;\">%1</td>"
                                   "<td style=\"background-color: %2; color: %3;\">%4</td></tr>\n")
                        .arg(tag.shownName().toHtmlEscaped(), background, c1, tag.value.toHtmlEscaped());
    }
    html += QStringLiteral("</table></body></html>");
    return html;
}

QString exifTagsText(const QStringList &lines)
{
    QList<ExifTagLine> tags;
    tags.reserve(lines.size());
    qsizetype width = 0;
    for (const QString &line : lines) {
        tags << ExifTagLine::parse(line);
        if (tags.last().fieldCount > 1)
            width = std::max(width, tags.last().shownName().size());
    }
    ++width;
    QString text;
    for (const ExifTagLine &tag : tags) {
        if (tag.fieldCount == 1)
            text += tag.heading + QLatin1Char('\n');
        else
            text += tag.shownName().leftJustified(width) + QStringLiteral(" : ") + tag.value + QLatin1Char('\n');
    }
    return text;
}

QStringList exifFilterLines(const QStringList &lines, const QString &pattern)
{
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
    if (!re.isValid())
        return {};
    QStringList matching;
    for (const QString &line : lines)
        if (re.match(line).hasMatch())
            matching << line;
    return matching;
}
