#include "GridSelLabels.h"

#include <QGlyphRun>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

namespace {

// A text item's document margin: its text starts this far inside its box.
constexpr double Margin = 4;

}

QString GridSelLabels::Label::toPlainText() const
{
    return owner->texts.value(index);
}

QPointF GridSelLabels::Label::pos() const
{
    return owner->labelPositions[size_t(index)];
}

bool GridSelLabels::Label::isVisible() const
{
    return owner->isVisible();
}

QFont GridSelLabels::Label::font() const
{
    return owner->font;
}

GridSelLabels::GridSelLabels(int count, const QFont &font, const QColor &color, QGraphicsItem *parent)
    : QGraphicsItem(parent), font(font), color(color)
{
    count = std::max(count, 0);
    texts.resize(count);
    labelPositions.resize(size_t(count));
    labelData.resize(size_t(count));
    labelViews.reserve(count);
    for (int i = 0; i < count; ++i) {
        labelData[size_t(i)].owner = this;
        labelData[size_t(i)].index = i;
        labelViews << &labelData[size_t(i)];
    }
    setFlag(ItemUsesExtendedStyleOption, true);
}

void GridSelLabels::boundsWillChange()
{
    // Bounds nobody has asked for since the last change are still due to
    // be asked for: announcing them again would only lay the labels out for
    // nothing.
    if (boundsKnown)
        prepareGeometryChange();
    boundsKnown = false;
    update();
}

void GridSelLabels::setTexts(const QVector<int> &numbers, const QVector<QString> &names)
{
    boundsWillChange();
    for (int i = 0; i < texts.size(); ++i)
        texts[i] = QString::number(numbers.value(i)) + QLatin1Char('\n') + names.value(i);
    laidOut = false;
}

void GridSelLabels::positionsChanged()
{
    boundsWillChange();
}

void GridSelLabels::setLabelFont(const QFont &f)
{
    if (f == font)
        return;
    boundsWillChange();
    font = f;
    laidOut = false;
}

GridSelLabels::Glyph GridSelLabels::glyphFor(QChar c) const
{
    if (c.unicode() < 128)
        return ascii[c.unicode()];
    Glyph g;
    const QList<quint32> index = rawFont.glyphIndexesForString(QString(c));
    if (!index.isEmpty()) {
        g.index = index.first();
        const QList<QPointF> advance = rawFont.advancesForGlyphIndexes({g.index});
        g.advance = advance.isEmpty() ? 0 : advance.first().x();
    }
    return g;
}

void GridSelLabels::ensureLayout() const
{
    if (laidOut)
        return;
    rawFont = QRawFont::fromFont(font);
    for (Glyph &g : ascii)
        g = Glyph();
    if (rawFont.isValid()) {
        QString printable;
        for (int c = 32; c < 127; ++c)
            printable += QChar(c);
        const QList<quint32> index = rawFont.glyphIndexesForString(printable);
        if (index.size() == printable.size()) {
            const QList<QPointF> advance = rawFont.advancesForGlyphIndexes(index);
            for (int c = 32; c < 127; ++c) {
                ascii[c].index = index[c - 32];
                ascii[c].advance = advance.value(c - 32).x();
            }
        }
    }
    // Lines as a text document sets them: whole pixels high, the baseline
    // an ascent below the line's top.
    const double ascent = rawFont.isValid() ? rawFont.ascent() : 0;
    const double lineHeight = rawFont.isValid() ? std::ceil(rawFont.ascent() + rawFont.descent()) : 0;
    const size_t n = labelPositions.size();
    glyphs.clear();
    offsets.clear();
    first.assign(n + 1, 0);
    labelSizes.assign(n, QSizeF());
    for (size_t i = 0; i < n; ++i) {
        first[i] = int(glyphs.size());
        double x = 0, widest = 0;
        int lines = 1;
        for (const QChar c : texts[int(i)]) {
            if (c == QLatin1Char('\n')) {
                widest = std::max(widest, x);
                x = 0;
                ++lines;
                continue;
            }
            const Glyph g = glyphFor(c);
            glyphs.push_back(g.index);
            offsets.emplace_back(Margin + x, Margin + (lines - 1) * lineHeight + ascent);
            x += g.advance;
        }
        widest = std::max(widest, x);
        labelSizes[i] = QSizeF(widest + 2 * Margin, lines * lineHeight + 2 * Margin);
    }
    first[n] = int(glyphs.size());
    laidOut = true;
}

QRectF GridSelLabels::boundingRect() const
{
    if (boundsKnown)
        return bounds;
    ensureLayout();
    bounds = QRectF();
    if (!labelPositions.empty()) {
        double left = labelPositions[0].x(), top = labelPositions[0].y(), right = left, bottom = top;
        for (size_t i = 0; i < labelPositions.size(); ++i) {
            const QPointF &p = labelPositions[i];
            left = std::min(left, p.x());
            top = std::min(top, p.y());
            right = std::max(right, p.x() + labelSizes[i].width());
            bottom = std::max(bottom, p.y() + labelSizes[i].height());
        }
        bounds = QRectF(left, top, right - left, bottom - top);
    }
    boundsKnown = true;
    return bounds;
}

bool GridSelLabels::contains(const QPointF &point) const
{
    if (!boundingRect().contains(point))
        return false;
    for (int i = 0; i < count(); ++i)
        if (labelBox(i).contains(point))
            return true;
    return false;
}

void GridSelLabels::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    ensureLayout();
    if (!rawFont.isValid() || glyphs.empty())
        return;
    const QRectF exposed = option ? option->exposedRect : boundingRect();
    QList<quint32> shownGlyphs;
    QList<QPointF> shownPositions;
    for (int i = 0; i < count(); ++i) {
        if (!labelBox(i).intersects(exposed))
            continue;
        const QPointF &corner = labelPositions[size_t(i)];
        for (int j = first[size_t(i)]; j < first[size_t(i) + 1]; ++j) {
            shownGlyphs << glyphs[size_t(j)];
            shownPositions << corner + offsets[size_t(j)];
        }
    }
    if (shownGlyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(rawFont);
    run.setGlyphIndexes(shownGlyphs);
    run.setPositions(shownPositions);
    painter->setPen(color);
    painter->drawGlyphRun(QPointF(0, 0), run);
}
