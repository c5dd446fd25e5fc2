// Draws the program's logo at the sizes the resources need. Shapes only, so
// it runs at build time without a display or fonts.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>

namespace {

// A triangle cut into a small colour-filter mosaic: the raw data the program
// shows, inside the delta of its name.
QImage drawLogo(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size * 0.06;
    const QPolygonF delta({QPointF(size / 2.0, m), QPointF(size - m, size - m), QPointF(m, size - m)});
    QPainterPath clip;
    clip.addPolygon(delta);
    clip.closeSubpath();

    p.save();
    p.setClipPath(clip);
    const int cells = 6;
    const qreal cell = (size - 2 * m) / cells;
    const QColor mosaic[2][2] = {{QColor(214, 40, 40), QColor(46, 160, 67)},
                                 {QColor(46, 160, 67), QColor(38, 84, 214)}};
    for (int r = 0; r < cells; ++r)
        for (int c = 0; c < cells; ++c)
            p.fillRect(QRectF(m + c * cell, m + r * cell, cell + 0.5, cell + 0.5), mosaic[r & 1][c & 1]);
    p.restore();

    QPen pen(QColor(20, 20, 20));
    pen.setWidthF(qMax(1.0, size / 28.0));
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(delta);
    return img;
}

}

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output-folder\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const struct {
        const char *name;
        int size;
    } icons[] = {{"DELTA_3_256_TW.png", 256}, {"DELTA_3_32.png", 32}, {"tessivane_64.png", 64},
                  {"DELTA_3_128_TW.png", 128}, {"DELTA_3_64_TW.png", 64}};
    for (const auto &icon : icons) {
        if (!drawLogo(icon.size).save(dir + QLatin1Char('/') + QLatin1String(icon.name), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", icon.name);
            return 1;
        }
    }
    return 0;
}
