// Which row of the samples table holds the widest text of each column,
// found from the numbers themselves: laying out every cell of a table of
// thousands of samples costs far more than the statistics behind it.
#ifndef SAMPLECOLUMNWIDTHS_H
#define SAMPLECOLUMNWIDTHS_H

#include <QFont>
#include <QVector>

#include <array>

struct SampleRecord;

class SampleColumnWidths
{
public:
    explicit SampleColumnWidths(const QFont &font);

    // Per column ("ID", then min, avg, max and dev of each channel) the row
    // whose text is widest in the font, -1 for a column without rows. The
    // texts are those of the table: SampleTexts::channelCell and the id.
    QVector<int> widestRows(const QVector<SampleRecord *> &samples, int columns) const;

    // The width of a text of plain ASCII, from the advances of its
    // characters (digits, signs and points do not kern).
    double textWidth(const char *text, int length) const;

private:
    std::array<double, 128> advance{};
};

#endif
