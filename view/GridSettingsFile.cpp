#include "GridSettingsFile.h"

#include "AtomicFileWriter.h"

#include "GridLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>

namespace {

double enclosedArea(const QPolygonF &c)
{
    double twice = 0;
    for (int k = 0; k < c.size(); ++k) {
        const QPointF &a = c[k], &b = c[(k + 1) % c.size()];
        twice += a.x() * b.y() - b.x() * a.y();
    }
    return std::abs(twice) / 2;
}

}

QByteArray GridSettingsFile::write(const GridSettings &s, const GridPosition *position)
{
    QByteArray out;
    auto pair = [](int a, int b) { return QByteArray::number(a) + 'x' + QByteArray::number(b); };
    out += "# Tessivane Grid Settings file\n";
    out += "GridSize: " + pair(s.columns, s.rows) + '\n';
    out += "MinCellSize: " + pair(s.minCellWidth, s.minCellHeight) + '\n';
    // Rounded: truncating 0.29 x 100 would store 28 and load another grid.
    out += "FillFactor: " + QByteArray::number(qRound(s.roiRelativeSize * 100)) + '\n';
    out += "StartCorner: " + QByteArray::number(s.startCorner) + '\n';
    out += "WalkOrder: " + QByteArray::number(s.walkOrder) + '\n';
    out += "NamingOrder: " + QByteArray::number(s.namingOrder) + '\n';
    out += "NamingVisible: " + QByteArray(s.showNames ? "1" : "0") + '\n';
    out += "FontSize: " + QByteArray::number(s.fontSizeIndex) + '\n';
    if (position) {
        out += "ImageDimensions: " + pair(position->imageDimensions.width(), position->imageDimensions.height()) + '\n';
        out += "GridCorners: ";
        for (const QPointF &c : position->corners)
            out += pair(int(c.x()), int(c.y())) + ' ';
        out += '\n';
        out += "GridCenter: " + pair(int(position->centre.x()), int(position->centre.y())) + '\n';
    }
    return out;
}

QString GridSettingsFile::savedStatusText(bool withPosition)
{
    return withPosition ? QStringLiteral("Grid settings and position saved")
                        : QStringLiteral("Grid settings saved, position not recorded");
}

QHash<QString, QVector<int>> GridSettingsFile::readKeys(const QByteArray &text)
{
    QHash<QString, QVector<int>> keys;
    if (text.size() > maxFileSize)
        return keys;
    static const QRegularExpression comment(QStringLiteral("^\\s*#"));
    static const QRegularExpression separator(QStringLiteral("\\s*[:,\\s]\\s*"));
    QString all = QString::fromUtf8(text);
    if (all.startsWith(QChar(0xFEFF)))
        all.remove(0, 1);
    const QStringList lines = all.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.size() <= 4 || comment.match(line).hasMatch())
            continue;
        const QStringList parts = line.split(separator, Qt::SkipEmptyParts);
        if (parts.size() < 2)
            continue;
        QVector<int> values;
        bool ok = true;
        for (int i = 1; i < parts.size() && ok; ++i) {
            for (const QString &piece : parts[i].split(QLatin1Char('x'), Qt::SkipEmptyParts)) {
                const int v = piece.toInt(&ok, 10);
                if (!ok)
                    break;
                values << v;
            }
        }
        if (ok)
            keys.insert(parts[0], values);
    }
    return keys;
}

GridSettingsFile::LoadResult GridSettingsFile::load(const QByteArray &text, const GridSettings &start)
{
    LoadResult r;
    r.settings = start;
    const QHash<QString, QVector<int>> keys = readKeys(text);
    auto take = [&keys](const char *key, int count) -> const QVector<int> * {
        auto it = keys.constFind(QLatin1String(key));
        return it != keys.cend() && it->size() == count ? &*it : nullptr;
    };
    GridSettings &s = r.settings;
    int essentials = 0;
    if (auto v = take("GridSize", 2)) {
        s.columns = (*v)[0];
        s.rows = (*v)[1];
        ++essentials;
    }
    if (auto v = take("MinCellSize", 2)) {
        s.minCellWidth = (*v)[0];
        s.minCellHeight = (*v)[1];
        ++essentials;
    }
    if (auto v = take("FillFactor", 1)) {
        s.roiRelativeSize = (*v)[0] / 100.0;
        ++essentials;
    }
    if (auto v = take("FontSize", 1)) {
        s.fontSizeIndex = (*v)[0];
        ++essentials;
    }
    if (auto v = take("StartCorner", 1))
        s.startCorner = (*v)[0];
    if (auto v = take("WalkOrder", 1))
        s.walkOrder = (*v)[0];
    if (auto v = take("NamingOrder", 1))
        s.namingOrder = (*v)[0];
    if (auto v = take("NamingVisible", 1))
        s.showNames = (*v)[0] != 0;
    if (essentials < 3) {
        r.settings = start;
        r.statusText = QStringLiteral("<font color=red>Unable to load grid parameters: invalid file</font>");
        return r;
    }
    r.valid = true;

    const QVector<int> *dims = take("ImageDimensions", 2);
    const QVector<int> *corners = take("GridCorners", 8);
    const QVector<int> *centre = take("GridCenter", 2);
    if (!dims || !corners || !centre) {
        r.statusText = QStringLiteral("Grid parameters loaded (no position data)");
        return r;
    }
    const int w = (*dims)[0], h = (*dims)[1];
    GridPosition p;
    p.imageDimensions = QSize(w, h);
    for (int i = 0; i < 4; ++i)
        p.corners << QPointF((*corners)[2 * i], (*corners)[2 * i + 1]);
    p.centre = QPointF((*centre)[0], (*centre)[1]);
    auto inside = [w, h](const QPointF &q) { return q.x() >= 0 && q.x() <= w && q.y() >= 0 && q.y() <= h; };
    // Corners that coincide or lie on one line pass the convexity test but
    // enclose no pixels: not a position.
    bool correct = w >= 1 && h >= 1 && inside(p.centre) && GridLayout::isConvex(p.corners)
                   && enclosedArea(p.corners) >= 1.0;
    for (const QPointF &q : p.corners)
        correct = correct && inside(q);
    if (!correct) {
        r.positionState = IncorrectPosition;
        r.statusText = QStringLiteral("Grid parameters loaded <font color=red>(note: incorrect position)</font>");
        return r;
    }
    r.position = p;
    r.positionState = PositionLoaded;
    r.statusText = QStringLiteral("Grid parameters and position loaded");
    return r;
}

QByteArray GridSettingsFile::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(maxFileSize + 1);
}

bool GridSettingsFile::writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return AtomicFileWriter::writeBytes(path, bytes, error);
}

QString GridSettingsFile::suggestedName(const QString &folder, const QString &rawFileName)
{
    const QString base = QFileInfo(rawFileName).baseName();
    if (base.isEmpty())
        return folder;
    return QStringLiteral("%1/%2.tgs").arg(folder, base);
}

QString GridSettingsFile::withSuffix(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QStringLiteral(".tgs");
}

QString GridSettingsFile::dialogFilter()
{
    return QStringLiteral("Grid Settings files (*.tgs *.TGS);; All files (*.*)");
}
