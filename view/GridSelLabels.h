// The number and name labels of all cells of a grid, drawn by one item: a
// text item with its own document a cell made a 99 x 99 grid take a second
// and hundreds of megabytes. Each label reads back as a text item would
// (its plain text, position, visibility and font); its glyphs are laid out
// once a font, that is once a zoom, and drawn in one run.
#ifndef GRIDSELLABELS_H
#define GRIDSELLABELS_H

#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QPointF>
#include <QRawFont>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>

#include <vector>

class GridSelLabels : public QGraphicsItem
{
public:
    // One cell's label.
    class Label
    {
    public:
        // The two lines, number and name, as a text item gives them.
        QString toPlainText() const;
        // The top-left corner of the label's box, in the parent's coordinates.
        QPointF pos() const;
        bool isVisible() const;
        QFont font() const;

    private:
        friend class GridSelLabels;
        const GridSelLabels *owner = nullptr;
        int index = 0;
    };

    GridSelLabels(int count, const QFont &font, const QColor &color, QGraphicsItem *parent);

    int count() const { return int(labelPositions.size()); }
    const QVector<const Label *> &labels() const { return labelViews; }

    // Label i shows "number" over "name".
    void setTexts(const QVector<int> &numbers, const QVector<QString> &names);
    // Moves label i; positionsChanged() after a batch of moves.
    void setLabelPos(int i, const QPointF &pos) { labelPositions[size_t(i)] = pos; }
    void positionsChanged();
    void setLabelFont(const QFont &font);
    QFont labelFont() const { return font; }

    QRectF boundingRect() const override;
    // Only the labels' boxes: clicks between them reach the items below.
    bool contains(const QPointF &point) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    struct Glyph {
        quint32 index = 0;
        double advance = 0;
    };

    void boundsWillChange();
    void ensureLayout() const;
    Glyph glyphFor(QChar c) const;
    QRectF labelBox(int i) const { return QRectF(labelPositions[size_t(i)], labelSizes[size_t(i)]); }

    QFont font;
    QColor color;
    QVector<QString> texts;                    // "number\nname"
    std::vector<QPointF> labelPositions;
    std::vector<Label> labelData;
    QVector<const Label *> labelViews;

    // Laid out for the font: the glyphs of label i are glyphs[first[i] ..
    // first[i + 1]), placed at offsets from the label's corner.
    mutable bool laidOut = false;
    mutable bool boundsKnown = false;
    mutable QRawFont rawFont;
    mutable Glyph ascii[128];
    mutable std::vector<quint32> glyphs;
    mutable std::vector<QPointF> offsets;
    mutable std::vector<int> first;
    mutable std::vector<QSizeF> labelSizes;
    mutable QRectF bounds;
};

#endif
