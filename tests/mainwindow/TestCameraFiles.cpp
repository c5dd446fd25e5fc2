// Generated files of every camera layout opened in the real window: the
// value under the mouse is the written one (less black), the levels and the
// as-shot balance shown are the file's, the curve is offered where the data
// are curve-coded, and the RGB rendering takes the camera database's colour
// matrix, checked against a rendering computed here from the database
// (four-colour bodies through its least-squares inverse; bodies whose files
// hold no balance through the matrix's own daylight one).
#include "ArwWriter.h"
#include "Cr2Writer.h"
#include "MainWindowFixture.h"
#include "NefWriter.h"
#include "OrfWriter.h"
#include "PefWriter.h"
#include "RafWriter.h"
#include "RawImage.h"
#include "Rw2Writer.h"
#include "SrwWriter.h"
#include "TW_PrefPane.h"
#include "TW_SelectionScene.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGraphicsItem>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMargins>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>

namespace {

using Values = std::array<int, 4>;

// What a row expects of its file. Coordinates are raw unless named frame.
struct CameraFile {
    QString path;
    int left = 0, top = 0, width = 64, height = 48;   // the visible area
    QStringList channels{"R", "G", "B", "G2"};
    std::function<int(int, int)> channel;     // CFA channel of a site
    std::function<Values(int, int)> values;   // the decoder's values, by channel
    bool cfa = true;                          // one value a pixel
    Values black{0, 0, 0, 0};                 // by channel
    QString blackText;
    unsigned white = 0;
    bool balance = true;                  // an as-shot balance to list
    QByteArray dbMake, dbModel, dbMode;   // the colour matrix's entry; empty: no matrix
    Values mul{1, 1, 1, 1};               // as-shot, by channel
    std::vector<uint16_t> curve;          // the file's curve, when curve-coded
    std::vector<uint16_t> codes;          // and the codes it was written with, row by row
    QPoint patch{36, 24};                 // frame pixel inside the uniform patch
    bool ycc = false;                     // the small raw's Y, Cb, Cr asked for
    bool linearRgb = false;               // RGB values without a camera matrix (a scanner's)
    int tolerance = 0;                    // of the values under the mouse
};

int rggb(int x, int y)
{
    return (y & 1) ? ((x & 1) ? 2 : 3) : ((x & 1) ? 1 : 0);
}

// A 2 x 2 mosaic by its channels at (0, 0), (1, 0), (0, 1) and (1, 1).
std::function<int(int, int)> mosaic(std::array<int, 4> c)
{
    return [c](int x, int y) { return c[size_t((y & 1) * 2 + (x & 1))]; };
}

// G R / B G, the green of the red row first.
const auto grbg = mosaic({1, 0, 2, 3});

const char *const xtransRows[6] = {"GGRGGB", "GGBGGR", "BRGRBG", "GGBGGR", "GGRGGB", "RBGBRG"};

int xtrans(int x, int y)
{
    const char c = xtransRows[y % 6][x % 6];
    return c == 'R' ? 0 : c == 'G' ? 1 : 2;
}

// A picture of a uniform patch (24 x 24 frame pixels from frame (24, 12)),
// its colour per channel, rising gently away from it: every step small
// enough for the codecs that code differences.
struct Picture {
    int left = 0, top = 0;
    Values patch{};
    std::function<int(int, int)> channel = rggb;
    int at(int x, int y) const
    {
        const int x0 = left + 24, x1 = left + 47, y0 = top + 12, y1 = top + 35;
        const int dx = std::max({0, x0 - x, x - x1}), dy = std::max({0, y0 - y, y - y1});
        return patch[size_t(channel(x, y))] + 3 * dx + 2 * dy;
    }
};

// Patch values that white-balance to a plain colour well inside the range.
Values patchFor(const Values &black, unsigned white, const Values &mul)
{
    const double share[4] = {0.30, 0.22, 0.12, 0.22};
    const int lowest = std::min({mul[0], mul[1], mul[2]});
    Values v{};
    for (int c = 0; c < 4; ++c)
        v[size_t(c)] = black[size_t(c)] + int(share[c] * (int(white) - black[size_t(c)]) * lowest / mul[size_t(c)]);
    return v;
}

// The balance as the window lists it: each multiplier over the smallest.
QString balanceText(const Values &mul, int channels)
{
    const int lowest = std::min({mul[0], mul[1], mul[2]});
    QStringList out;
    for (int c = 0; c < 4; ++c)
        out << QString::number(double(mul[size_t(c == 3 && channels < 4 ? 1 : c)]) / lowest, 'f', 5);
    return out.join(',');
}

Values cfaValue(int v, int channel)
{
    Values out{0, 0, 0, 0};
    out[size_t(channel)] = v;
    return out;
}

// The database entry's XYZ-to-camera matrix, read here on its own: its
// number of rows (one a colour), 0 without one.
int databaseMatrix(const QByteArray &make, const QByteArray &model, const QByteArray &mode, double m[4][3])
{
    QFile f(QStringLiteral(TW_CAMERAS_XML));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    QXmlStreamReader xml(&f);
    bool inside = false;
    int rows = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("Camera")) {
            const auto a = xml.attributes();
            inside = a.value("make").toUtf8() == make && a.value("model").toUtf8() == model
                     && a.value("mode").toUtf8() == mode;
        } else if (inside && xml.isStartElement() && xml.name() == QLatin1String("ColorMatrixRow")) {
            const int plane = xml.attributes().value("plane").toInt();
            const QStringList numbers = xml.readElementText().split(' ', Qt::SkipEmptyParts);
            if (plane < 0 || plane > 3 || numbers.size() != 3)
                return 0;
            for (int j = 0; j < 3; ++j)
                m[plane][j] = numbers[j].toDouble() / 10000.0;
            ++rows;
        } else if (inside && xml.isEndElement() && xml.name() == QLatin1String("Camera")) {
            return rows == 3 || rows == 4 ? rows : 0;
        }
    }
    return 0;
}

const double srgbToXyz[3][3] = {
    {0.4124564, 0.3575761, 0.1804375}, {0.2126729, 0.7151522, 0.0721750}, {0.0193339, 0.1191920, 0.9503041}};

// Daylight balance of a body whose files hold none: each colour's
// multiplier bringing the matrix's D65 white to grey, the smallest 4096.
Values daylightBalance(const QByteArray &make, const QByteArray &model, const QByteArray &mode = {})
{
    double m[4][3];
    const int n = databaseMatrix(make, model, mode, m);
    double mul[4] = {1, 1, 1, 1};
    for (int c = 0; c < n; ++c) {
        double neutral = 0;
        for (int j = 0; j < 3; ++j)
            neutral += m[c][j] * (srgbToXyz[j][0] + srgbToXyz[j][1] + srgbToXyz[j][2]);
        mul[c] = 1 / neutral;
    }
    if (n == 3)
        mul[3] = mul[1];
    const double lowest = std::min({mul[0], mul[1], mul[2], mul[3]});
    Values out{};
    for (int c = 0; c < 4; ++c)
        out[size_t(c)] = int(std::lround(4096 * mul[c] / lowest));
    return out;
}

bool invert3(const double a[3][3], double out[3][3])
{
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
                       - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
                       + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (std::fabs(det) < 1e-12)
        return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            out[i][j] = (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det;
        }
    return true;
}

// sRGB pixel of white-balanced camera values (0..65535) of n colours:
// camera to sRGB through the database matrix (rows of camera-from-sRGB
// summing to one, so balanced grey stays grey; four colours through its
// least-squares inverse), 8 bits through a plain 1/2.2 power.
std::array<int, 3> srgbPixel(const double *cam, const double camXyz[][3], int n, bool identity)
{
    double camRgb[4][3], toRgb[3][4] = {};
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = 0; j < 3; ++j) {
            camRgb[i][j] = 0;
            for (int k = 0; k < 3; ++k)
                camRgb[i][j] += camXyz[i][k] * srgbToXyz[k][j];
            sum += camRgb[i][j];
        }
        for (int j = 0; j < 3; ++j)
            camRgb[i][j] = identity ? (i == j) : camRgb[i][j] / sum;
    }
    // (A^T A)^-1 A^T: the inverse itself for three colours.
    double normal[3][3], inverse[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            normal[i][j] = 0;
            for (int k = 0; k < n; ++k)
                normal[i][j] += camRgb[k][i] * camRgb[k][j];
        }
    invert3(normal, inverse);
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < n; ++k)
            for (int j = 0; j < 3; ++j)
                toRgb[i][k] += inverse[i][j] * camRgb[k][j];
    std::array<int, 3> out{};
    for (int i = 0; i < 3; ++i) {
        double v = 0;
        for (int k = 0; k < n; ++k)
            v += toRgb[i][k] * cam[k];
        v = std::clamp(v / 65535.0, 0.0, 1.0);
        out[size_t(i)] = int(std::lround(255.0 * std::pow(v, 1 / 2.2)));
    }
    return out;
}

QString save(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    if (bytes.empty() || !f.open(QIODevice::WriteOnly)
        || f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        return QString();
    return path;
}

// The pointer panel's numbers in channel order.
Values pointerValues(const QString &html)
{
    static const QRegularExpression cell(QStringLiteral("<td>[^<]*:</td><td>&nbsp;(\\d+)</td>"));
    Values out{0, 0, 0, 0};
    int i = 0;
    for (auto it = cell.globalMatch(html); it.hasNext() && i < 4; ++i)
        out[size_t(i)] = it.next().captured(1).toInt();
    return out;
}

struct Shown {
    int count = 0;
    QStringList titles, texts;
};

// Runs `work`, closing and recording each message box it opens.
Shown messagesOf(const std::function<void()> &work)
{
    Shown shown;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&shown]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown.titles << box->windowTitle();
            shown.texts << box->text();
            ++shown.count;
            box->close();
        }
    });
    timer.start();
    work();
    return shown;
}

}   // namespace

Q_DECLARE_METATYPE(CameraFile)

class TestCameraFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;

    QString where(const QString &name) const { return fixture->path(name); }

    // A row's picture: patch colours chosen for its levels and balance, in
    // its visible area.
    static Picture pictureFor(const CameraFile &f)
    {
        Picture p;
        p.left = f.left;
        p.top = f.top;
        p.channel = f.channel;
        p.patch = patchFor(f.black, f.white, f.mul);
        return p;
    }
    static std::vector<uint16_t> samples(const Picture &p, int width, int height, int add = 0)
    {
        std::vector<uint16_t> out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                out.push_back(uint16_t(p.at(x, y) + add));
        return out;
    }
    // Values through a table: the codes nearest below each wanted value.
    static uint16_t codeFor(const std::vector<uint16_t> &table, int value)
    {
        return uint16_t(std::upper_bound(table.begin(), table.end(), value) - table.begin() - 1);
    }
    static void fromTable(CameraFile &f, std::vector<uint16_t> decoded, int width)
    {
        auto channel = f.channel;
        f.values = [decoded = std::move(decoded), width, channel](int x, int y) {
            return cfaValue(decoded[size_t(y) * size_t(width) + size_t(x)], channel(x, y));
        };
    }

    // A Bayer file's levels, balance (by channel R G B G2) and database entry.
    static CameraFile bayer(const Values &black, const QString &blackText, unsigned white, const Values &mul,
                            const QByteArray &make, const QByteArray &model, const QByteArray &mode = {})
    {
        CameraFile f;
        f.channel = rggb;
        f.black = black;
        f.blackText = blackText;
        f.white = white;
        f.mul = mul;
        f.dbMake = make;
        f.dbModel = model;
        f.dbMode = mode;
        return f;
    }

    CameraFile cr2()
    {
        CameraFile f = bayer({2046, 2048, 2052, 2050}, "Auto (2046,2048,2052,2050)", 15000, {2048, 1024, 1536, 1024},
                             "Canon", "Canon EOS 5D Mark III");
        f.left = 8;
        f.top = 4;
        Cr2Description d;
        d.rawWidth = 72;
        d.rawHeight = 52;
        d.sensorLeft = 8;
        d.sensorTop = 4;
        d.sensorRight = 71;
        d.sensorBottom = 51;
        const int fileBlack[4] = {2046, 2048, 2050, 2052};   // R G G B
        std::copy(fileBlack, fileBlack + 4, d.perChannelBlack);
        d.specularWhite = 15000;
        const uint16_t wb[4] = {2048, 1024, 1024, 1536};
        std::copy(wb, wb + 4, d.wbAsShot);
        d.raw = samples(pictureFor(f), 72, 52);
        fromTable(f, d.raw, 72);
        f.path = save(where("canon.cr2"), Cr2Writer::write(d));
        return f;
    }

    CameraFile nef(NefDescription::Coding coding, const QString &name)
    {
        CameraFile f = bayer({600, 600, 600, 600}, "Auto (600)", 16383, {2048, 1024, 1536, 1024}, "NIKON CORPORATION",
                             "NIKON D750", "14bit-compressed");
        NefDescription d;
        d.coding = coding;
        d.width = 64;
        d.height = 48;
        const Picture p = pictureFor(f);
        d.raw = samples(p, 64, 48);
        if (coding == NefDescription::Coding::Lossy) {
            d.split = 20;
            f.curve = NefWriter::fullCurve(d);
            for (uint16_t &v : d.raw)
                v = codeFor(f.curve, v);
            f.white = f.curve.back();
        }
        if (!f.curve.empty())
            f.codes = d.raw;
        fromTable(f, NefWriter::decodedValues(d), 64);
        f.path = save(where(name), NefWriter::write(d));
        return f;
    }

    CameraFile nrw()
    {
        // The note's black is at 14-bit scale.
        CameraFile f = bayer({150, 150, 150, 150}, "Auto (150)", 4095, {2048, 1024, 1536, 1024}, "NIKON",
                             "COOLPIX P7700", "12bit-compressed");
        NefDescription d;
        d.make = "NIKON";
        d.model = "COOLPIX P7700";
        d.bits = 12;
        d.width = 64;
        d.height = 48;
        d.raw = samples(pictureFor(f), 64, 48);
        fromTable(f, d.raw, 64);
        f.path = save(where("coolpix.nrw"), NefWriter::write(d));
        return f;
    }

    CameraFile coolscan()
    {
        CameraFile f;
        f.cfa = false;
        f.channels = QStringList{"R", "G", "B"};
        f.blackText = "Auto (0)";
        f.white = 65535;
        f.balance = false;
        f.linearRgb = true;
        NefDescription d = NefDescription::scanner(64, 48);
        auto rgb = [](int x, int y) { return Values{1000 + x * 700, 2000 + y * 900, 40000 + x * y, 0}; };
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                for (int c = 0; c < 3; ++c)
                    d.raw.push_back(uint16_t(rgb(x, y)[size_t(c)]));
        f.values = rgb;
        f.path = save(where("scan.nef"), NefWriter::write(d));
        return f;
    }

    static PefDescription pentax(const CameraFile &f, int frames)
    {
        PefDescription d;
        const Picture p = pictureFor(f);
        for (int k = 0; k < frames; ++k) {
            PefDescription::Frame fr;
            fr.width = 78;
            fr.height = 68;
            fr.raw = samples(p, 78, 68, 5 * k);
            d.frames.push_back(fr);
        }
        return d;
    }
    CameraFile pefCommon()
    {
        // The note's black is R G G B; the database's crop of the K-1 starts
        // at (4, 18), 10 columns and 2 rows short of the far edges.
        CameraFile f = bayer({64, 65, 67, 66}, "Auto (64,65,67,66)", 16316, {13824, 8192, 10240, 8192},
                             "RICOH IMAGING COMPANY, LTD.", "PENTAX K-1");
        f.left = 4;
        f.top = 18;
        return f;
    }
    CameraFile pef(int frames, const QString &name)
    {
        CameraFile f = pefCommon();
        PefDescription d = pentax(f, frames);
        fromTable(f, d.frames[0].raw, 78);
        f.path = save(where(name), PefWriter::write(d));
        return f;
    }
    // The scene point at (y, x) lies at (y, x), (y, x + 1), (y + 1, x + 1)
    // and (y + 1, x) of frames 1 to 4: each colour over it once.
    CameraFile pefMerged()
    {
        CameraFile f = pefCommon();
        f.cfa = false;
        PefDescription d = pentax(f, 4);
        std::vector<std::vector<uint16_t>> frames;
        for (const auto &fr : d.frames)
            frames.push_back(fr.raw);
        f.values = [frames](int x, int y) {
            static const int shift[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
            Values out{};
            for (int k = 0; k < 4; ++k) {
                const int yy = y + shift[k][0], xx = x + shift[k][1];
                out[size_t(rggb(xx, yy))] = frames[size_t(k)][size_t(yy) * 78 + size_t(xx)];
            }
            return out;
        };
        f.path = save(where("shift-merged.pef"), PefWriter::write(d));
        return f;
    }

    CameraFile arw(ArwDescription::Data data, const QString &name)
    {
        CameraFile f = bayer({512, 512, 512, 512}, "Auto (512)", 16300, {2048, 1024, 1536, 1024}, "SONY", "ILCE-7M3");
        ArwDescription d;
        d.data = data;
        d.width = 64;
        d.height = 48;
        const uint16_t wb[4] = {2048, 1024, 1024, 1536};
        std::copy(wb, wb + 4, d.wbRggb);
        d.values = samples(pictureFor(f), 64, 48);
        std::vector<uint16_t> decoded = d.values;
        if (data == ArwDescription::Data::Arw2) {
            f.curve = ArwWriter::curveOf(d.toneCurve);
            for (size_t i = 0; i < d.values.size(); ++i) {
                d.values[i] = codeFor(f.curve, d.values[i]);
                decoded[i] = f.curve[d.values[i]];
            }
        }
        if (!f.curve.empty())
            f.codes = d.values;
        fromTable(f, decoded, 64);
        std::string error;
        if (ArwWriter::writeFile(d, QFile::encodeName(where(name)).toStdString(), &error))
            f.path = where(name);
        return f;
    }

    // The DSLR-A100 codes eight rows and a column more than its frame's.
    CameraFile a100()
    {
        CameraFile f = bayer({0, 0, 0, 0}, "Auto (0)", 4095, daylightBalance("SONY", "DSLR-A100"), "SONY", "DSLR-A100");
        f.channel = grbg;
        f.balance = false;
        ArwDescription d = ArwWriter::a100(65, 42);
        const int columns = ArwWriter::arw1Columns(d.width);
        d.values = samples(pictureFor(f), columns, ArwWriter::arw1Rows(d.height));
        fromTable(f, d.values, columns);
        std::string error;
        if (ArwWriter::writeFile(d, QFile::encodeName(where("a100.arw")).toStdString(), &error))
            f.path = where("a100.arw");
        return f;
    }

    // SRF: the F828's four colours (its emerald where the database lists
    // yellow) and the database's crop; the DSC-V3, which the database has
    // no data for, in its own visible area with R G / G B from there.
    CameraFile srf(const std::string &model)
    {
        const bool f828 = model == "DSC-F828";
        CameraFile f;
        if (f828) {
            f = bayer({495, 495, 495, 495}, "Auto (495)", 16383, daylightBalance("SONY", "DSC-F828"), "SONY",
                      "DSC-F828");
            f.channels = QStringList{"R", "G", "B", "E"};
            f.channel = mosaic({3, 0, 2, 1});
            f.left = 5;
        } else {
            f = bayer({0, 0, 0, 0}, "Auto (0)", 16383, {1, 1, 1, 1}, {}, {});
            f.left = 59;
            f.width = 3109;
            f.channel = [](int x, int y) { return rggb(x - 59, y); };
        }
        f.balance = false;
        const int width = f828 ? 136 : 3168;
        ArwDescription d = ArwWriter::srfBody(model, width, 48);
        d.values = samples(pictureFor(f), width, 48);
        fromTable(f, d.values, width);
        const QString name = QString::fromStdString(model) + ".srf";
        std::string error;
        if (ArwWriter::writeFile(d, QFile::encodeName(where(name)).toStdString(), &error))
            f.path = where(name);
        return f;
    }

    // Nikon's small raw: luma rising gently away from the patch, chroma
    // fixed in it and changing pair by pair outside; shown as linear RGB
    // (the camera's balance taken out, the as-shot one listed) or as the
    // stored Y, Cb, Cr, an odd pixel's chroma halfway to the next pair's.
    CameraFile nefSmall(bool ycc)
    {
        CameraFile f;
        f.cfa = false;
        f.ycc = ycc;
        f.channels = ycc ? QStringList{"Y", "Cb", "Cr"} : QStringList{"R", "G", "B"};
        f.blackText = "Auto (0)";
        f.white = ycc ? 4095 : 65535;
        f.mul = {2048, 1024, 1536, 1024};
        if (!ycc) {
            f.dbMake = "NIKON CORPORATION";
            f.dbModel = "NIKON D810";
            f.dbMode = "sNEF-uncompressed";
            // The camera's curve here is the textbook sRGB one, a hair off its own.
            f.tolerance = 1;
        }
        NefDescription d;
        d.coding = NefDescription::Coding::Small;
        d.model = "NIKON D810";
        d.width = 64;
        d.height = 48;
        auto rise = [](int x, int y) {
            return 3 * std::max({0, 24 - x, x - 47}) + 2 * std::max({0, 12 - y, y - 35});
        };
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; x += 2)
                for (int v : {1600 + rise(x, y), 1600 + rise(x + 1, y), 2248 - rise(x, y), 1948 + rise(x, y) / 2})
                    d.raw.push_back(uint16_t(v));
        std::vector<Values> ycbcr;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const size_t pair = (size_t(y) * 32 + size_t(x / 2)) * 4, next = x / 2 < 31 ? pair + 4 : pair;
                const auto &r = d.raw;
                if (x % 2 == 0)
                    ycbcr.push_back({r[pair], r[pair + 2], r[pair + 3], 0});
                else
                    ycbcr.push_back({r[pair + 1], (r[pair + 2] + r[next + 2] + 1) / 2, (r[pair + 3] + r[next + 3] + 1) / 2, 0});
            }
        if (!ycc) {
            auto linear = [](int code) {
                const double v = std::clamp(code, 0, 4095) / 4095.0;
                const double r = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
                return std::min(65535.0, std::floor(65536.0 * r));
            };
            for (Values &p : ycbcr) {
                const double l = p[0], cb = p[1] - 2048, cr = p[2] - 2048;
                const int rgb[3] = {int(l + 1.370705 * cr), int(l - 0.337633 * cb - 0.698001 * cr), int(l + 1.732446 * cb)};
                const float mul[3] = {2.0f, 1.0f, 1.5f};
                for (int c = 0; c < 3; ++c)
                    p[size_t(c)] = int(std::min(65535.0f, float(linear(rgb[c])) / mul[c]));
            }
        }
        // The colour check reads one component a site, as of a mosaic.
        f.channel = mosaic({0, 1, 1, 2});
        f.values = [ycbcr](int x, int y) { return ycbcr[size_t(y) * 64 + size_t(x)]; };
        f.path = save(where(ycc ? "small-ycc.nef" : "small.nef"), NefWriter::write(d));
        return f;
    }

    // An SRW file of a body, its frame `margins` inside the raw area.
    CameraFile srw(SrwDescription::Coding coding, const QByteArray &model, const QByteArray &mode, int iso,
                   int black, unsigned white, const QMargins &margins)
    {
        CameraFile f = bayer({black, black, black, black}, QStringLiteral("Auto (%1)").arg(black), white,
                             {2200, 1024, 1650, 1024}, "SAMSUNG", model, mode);
        f.channel = grbg;
        f.left = margins.left();
        f.top = margins.top();
        SrwDescription d;
        d.coding = coding;
        d.model = model.toStdString();
        d.bits = white > 4095 ? 14 : 12;
        d.iso = float(iso);
        d.width = 64 + margins.left() + margins.right();
        d.height = 48 + margins.top() + margins.bottom();
        d.raw = samples(pictureFor(f), d.width, d.height);
        fromTable(f, d.raw, d.width);
        std::string error;
        f.path = save(where(QStringLiteral("%1-%2-%3.srw").arg(QString::fromLatin1(model)).arg(int(coding)).arg(iso)),
                      SrwWriter::write(d, &error));
        return f;
    }

    CameraFile rw2(const std::string &make, const std::string &model, const QString &name,
                   const std::vector<QPoint> &zeros = {})
    {
        // The tags hold the levels 15 below the sensor's.
        // White from the database where it knows the body, else the bit depth.
        CameraFile f =
            bayer({143, 144, 145, 144}, "Auto (143,144,145,144)", make == "LEICA" ? 3971 : 4095,
                  {2048, 1024, 1536, 1024}, QByteArray::fromStdString(make), QByteArray::fromStdString(model));
        Rw2Description d;
        d.make = make;
        d.model = model;
        d.rawWidth = 64;
        d.rawHeight = 48;
        const uint16_t wb[3] = {2048, 1024, 1536};
        std::copy(wb, wb + 3, d.wbLevels);
        d.raw = samples(pictureFor(f), 64, 48);
        // Defective pixels as the cameras mark them.
        for (const QPoint &z : zeros)
            d.raw[size_t(z.y()) * 64 + size_t(z.x())] = 0;
        fromTable(f, d.raw, 64);
        std::string error;
        f.path = save(where(name), Rw2Writer::write(d, &error));
        return f;
    }

    CameraFile orf()
    {
        // The file's black is R G G B 250 251 253 249; the database's crop
        // of the E-M5 starts at (8, 8), 24 columns and 8 rows short.
        CameraFile f = bayer({250, 251, 249, 253}, "Auto (250,251,249,253)", 4095, {512, 256, 384, 256},
                             "OLYMPUS IMAGING CORP.", "E-M5");
        f.left = 8;
        f.top = 8;
        OrfDescription d;
        d.width = 96;
        d.height = 64;
        const int black[4] = {250, 251, 253, 249};
        std::copy(black, black + 4, d.black);
        d.wbRed = 512;
        d.wbBlue = 384;
        d.raw = samples(pictureFor(f), 96, 64);
        fromTable(f, d.raw, 96);
        f.path = save(where("olympus.orf"), OrfWriter::write(d));
        return f;
    }

    CameraFile raf(bool isXtrans)
    {
        CameraFile f;
        f.left = isXtrans ? 6 : 4;
        f.top = isXtrans ? 6 : 2;
        f.channel = isXtrans ? xtrans : rggb;
        if (isXtrans)
            f.channels = QStringList{"R", "G", "B"};
        f.black = {1024, 1024, 1024, 1024};
        f.blackText = "Auto (1024)";
        f.white = 16383;
        f.mul = {512, 256, 384, 256};
        f.dbMake = "FUJIFILM";
        f.dbModel = isXtrans ? "X-T3" : "GFX 50S";
        RafDescription d;
        d.model = f.dbModel.toStdString();
        if (isXtrans)
            d.setXtrans(xtransRows);
        d.rawWidth = 72;
        d.rawHeight = isXtrans ? 54 : 52;
        d.cropLeft = f.left;
        d.cropTop = f.top;
        d.cropWidth = 64;
        d.cropHeight = 48;
        d.black = 1024;
        const uint16_t wb[4] = {256, 512, 256, 384};   // G R G B
        std::copy(wb, wb + 4, d.wbGrgb);
        d.raw = samples(pictureFor(f), d.rawWidth, d.rawHeight);
        fromTable(f, d.raw, d.rawWidth);
        std::string error;
        f.path = save(where(isXtrans ? "xtrans.raf" : "bayer.raf"), RafWriter::write(d, &error));
        return f;
    }

    void checkRgb(const CameraFile &f)
    {
        double camXyz[4][3];
        const int n = databaseMatrix(f.dbMake, f.dbModel, f.dbMode, camXyz);
        QVERIFY2(n, f.dbModel.constData());
        QVERIFY(window->rgbRadio->isEnabled());
        window->rgbRadio->setChecked(true);
        const kaldris_processed_image_t *out = window->image->processedImage;
        QVERIFY(out);
        QCOMPARE(int(out->colors), 3);
        QCOMPARE(int(out->width), f.width);
        QCOMPARE(int(out->height), f.height);
        // The patch's colours, black off, balanced as shot and scaled to
        // the white level: the camera colour the matrix turns into sRGB.
        const int x = f.left + f.patch.x(), y = f.top + f.patch.y();
        const int lowest = std::min({f.mul[0], f.mul[1], f.mul[2]});
        double cam[4] = {0, 0, 0, 0};
        // One site of each colour near the pixel (a 6 x 6 pattern holds them all).
        for (int dy = 0; dy < 6; ++dy)
            for (int dx = 0; dx < 6; ++dx) {
                const int c = f.channel(x + dx, y + dy);
                const int v = f.values(x + dx, y + dy)[size_t(c)];
                const int k = c == 3 && n == 3 ? 1 : c;
                cam[k] = std::min(65535.0, double(v - f.black[size_t(c)]) * f.mul[size_t(c)] / lowest * 65535.0
                                               / double(int(f.white) - f.black[size_t(c)]));
            }
        const std::array<int, 3> want = srgbPixel(cam, camXyz, n, false);
        const std::array<int, 3> raw = srgbPixel(cam, camXyz, n, true);
        // The matrix matters at this colour.
        QVERIFY(std::abs(want[0] - raw[0]) + std::abs(want[1] - raw[1]) + std::abs(want[2] - raw[2]) > 20);
        const unsigned char *px = out->data + (size_t(f.patch.y()) * out->width + size_t(f.patch.x())) * 3;
        for (int i = 0; i < 3; ++i)
            QVERIFY2(std::abs(int(px[i]) - want[size_t(i)]) <= 2,
                     qPrintable(QStringLiteral("rendered %1 %2 %3, database matrix gives %4 %5 %6")
                                    .arg(px[0])
                                    .arg(px[1])
                                    .arg(px[2])
                                    .arg(want[0])
                                    .arg(want[1])
                                    .arg(want[2])));
    }

    // A scanner's RGB has no camera matrix: its values are taken as linear
    // sRGB, so the rendering is each value through the 1/2.2 power.
    void checkScannerRgb(const CameraFile &f)
    {
        QVERIFY(window->rgbRadio->isEnabled());
        const kaldris_processed_image_t *out = window->image->processedImage;
        QVERIFY(out);
        QCOMPARE(int(out->colors), 3);
        const double unit[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        for (const QPoint &p : {QPoint(3, 5), QPoint(40, 30), QPoint(63, 47)}) {
            const Values v = f.values(p.x(), p.y());
            const double cam[3] = {double(v[0]), double(v[1]), double(v[2])};
            const std::array<int, 3> want = srgbPixel(cam, unit, 3, true);
            const unsigned char *px = out->data + (size_t(p.y()) * out->width + size_t(p.x())) * 3;
            for (int i = 0; i < 3; ++i)
                QVERIFY2(std::abs(int(px[i]) - want[size_t(i)]) <= 1,
                         qPrintable(QStringLiteral("rendered %1 %2 %3, values give %4 %5 %6")
                                        .arg(px[0])
                                        .arg(px[1])
                                        .arg(px[2])
                                        .arg(want[0])
                                        .arg(want[1])
                                        .arg(want[2])));
        }
    }

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        TW_PrefPane *p = window->prefPane;
        p->setPrefValue(QStringLiteral("subtractBlack"), 1);
        p->setPrefValue(QStringLiteral("subtractBlackMethod"), 0);
        p->setPrefValue(QStringLiteral("cursor2x2"), 0);
        p->setPrefValue(QStringLiteral("maskedPixels"), 0);
        p->setPrefValue(QStringLiteral("unloadBeforeLoad"), 0);
        p->setPrefValue(QStringLiteral("whiteBalance"), 1);
        p->setPrefValue(QStringLiteral("rgbColorSource"), 1);
        p->setPrefValue(QStringLiteral("rgbOutputSpace"), 0);
        p->setPrefValue(QStringLiteral("rgbAutoscale"), 0);
        p->setPrefValue(QStringLiteral("linearRawCurve"), 0);
        p->setPrefValue(QStringLiteral("coolscanGamma"), 1000);
        p->setPrefValue(QStringLiteral("P32_4ShotMerge"), 0);
        p->setPrefValue(QStringLiteral("srawYcc"), 0);
        p->setPrefValue(QStringLiteral("srawYccNoInterpolation"), 0);
        p->setPrefValue(QStringLiteral("displayMode"), 2);
    }
    void cleanup() { window.reset(); }

    void opens_data()
    {
        QTest::addColumn<CameraFile>("file");
        QTest::addColumn<bool>("merge");
        QTest::newRow("CR2") << cr2() << false;
        QTest::newRow("NEF lossless") << nef(NefDescription::Coding::Lossless, "lossless.nef") << false;
        QTest::newRow("NEF lossy with curve") << nef(NefDescription::Coding::Lossy, "lossy.nef") << false;
        QTest::newRow("NRW") << nrw() << false;
        QTest::newRow("Coolscan NEF") << coolscan() << false;
        QTest::newRow("PEF") << pef(1, "single.pef") << false;
        QTest::newRow("pixel-shift PEF, first frame") << pef(4, "shift.pef") << false;
        QTest::newRow("pixel-shift PEF, merged") << pefMerged() << true;
        QTest::newRow("ARW 2") << arw(ArwDescription::Data::Arw2, "arw2.arw") << false;
        QTest::newRow("ARW uncompressed") << arw(ArwDescription::Data::Uncompressed, "plain.arw") << false;
        QTest::newRow("RW2") << rw2("Panasonic", "DMC-GH4", "panasonic.rw2") << false;
        QTest::newRow("RWL") << rw2("LEICA", "D-LUX 4", "leica.rwl") << false;
        QTest::newRow("ORF") << orf() << false;
        QTest::newRow("RAF Bayer") << raf(false) << false;
        QTest::newRow("RAF X-Trans") << raf(true) << false;
        QTest::newRow("ARW 1") << a100() << false;
        QTest::newRow("SRF four colours") << srf("DSC-F828") << false;
        QTest::newRow("SRF DSC-V3") << srf("DSC-V3") << false;
        QTest::newRow("NEF small raw, RGB") << nefSmall(false) << false;
        QTest::newRow("NEF small raw, Y Cb Cr") << nefSmall(true) << false;
        using Srw = SrwDescription::Coding;
        QTest::newRow("SRW padded") << srw(Srw::PackedPadded, "NX1000", {}, 200, 0, 4095, {89, 17, 71, 55}) << false;
        QTest::newRow("SRW packed") << srw(Srw::Packed, "NX3000", {}, 200, 0, 4095, {96, 42, 32, 24}) << false;
        QTest::newRow("SRW words") << srw(Srw::Words, "NX500", {}, 100, 128, 16100, {0, 0, 16, 16}) << false;
        QTest::newRow("SRW block layout 1") << srw(Srw::Blocks1, "NX300", {}, 400, 0, 4095, {45, 25, 11, 29}) << false;
        QTest::newRow("SRW per-row Huffman") << srw(Srw::RowHuffman, "NX2000", {}, 800, 0, 4095, {45, 25, 11, 29})
                                             << false;
        QTest::newRow("SRW block layout 2") << srw(Srw::Blocks2, "NX1", {}, 12800, 512, 16100, {}) << false;
        QTest::newRow("SRW block layout 2, 12-bit") << srw(Srw::Blocks2, "NX1", "12bit", 200, 32, 4000, {}) << false;
    }
    void opens()
    {
        QFETCH(CameraFile, file);
        QFETCH(bool, merge);
        QVERIFY(!file.path.isEmpty());
        window->prefPane->setPrefValue(QStringLiteral("P32_4ShotMerge"), merge);
        window->prefPane->setPrefValue(QStringLiteral("srawYcc"), file.ycc);
        bool opened = false;
        const Shown shown = messagesOf([&] { opened = window->openFile(file.path); });
        QVERIFY2(shown.count == 0, qPrintable(shown.texts.join('\n')));
        QVERIFY(opened);
        RawImage *image = window->image;
        QVERIFY(image);
        QCOMPARE(window->frameCombo->isEnabled(), file.path.endsWith("shift.pef"));
        QCOMPARE(image->frameNumber, 1);
        QCOMPARE(window->channelNames.names, file.channels);
        QCOMPARE(image->frameOriginCol, file.left);
        QCOMPARE(image->frameOriginRow, file.top);
        QCOMPARE(image->frameWidth, file.width);
        QCOMPARE(image->frameHeight, file.height);

        // Levels and balance as the window shows them.
        QCOMPARE(window->blackLevelButton->text(), file.blackText);
        QCOMPARE(image->data().color.maximum, file.white);
        const QString line = window->dataRangeLine();
        // The data range: the white level rounded up to a power of two less one.
        unsigned range = 2;
        while (range <= unsigned(0.93 * file.white))
            range *= 2;
        QVERIFY2(line.startsWith(QStringLiteral("DataRange=%1 ").arg(range - 1)), qPrintable(line));
        if (!file.balance)
            QVERIFY2(!line.contains("WBAsShot="), qPrintable(line));
        else
            QVERIFY2(line.endsWith(" WBAsShot=" + balanceText(file.mul, file.channels.size())), qPrintable(line));

        // Under the mouse, frame pixels in and around the patch.
        for (const QPoint &p :
             {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(63, 47), QPoint(37, 25), QPoint(5, 40), QPoint(50, 3)}) {
            window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(p.x() + 0.5, p.y() + 0.5)));
            const int x = p.x() + file.left, y = p.y() + file.top;
            Values want = file.values(x, y);
            for (int c = 0; c < 4; ++c)
                want[size_t(c)] = std::max(0, want[size_t(c)] - file.black[size_t(c)]);
            QCOMPARE(window->pointerPanel.box->title(), QStringLiteral("%1:%2").arg(p.x()).arg(p.y()));
            const Values got = pointerValues(window->pointerPanel.label->text());
            bool near = true;
            for (int c = 0; c < 4; ++c)
                near &= std::abs(got[size_t(c)] - want[size_t(c)]) <= file.tolerance;
            QVERIFY2(near, qPrintable(QStringLiteral("at %1:%2 shown %3 %4 %5 %6, written %7 %8 %9 %10")
                                                 .arg(p.x())
                                                 .arg(p.y())
                                                 .arg(got[0])
                                                 .arg(got[1])
                                                 .arg(got[2])
                                                 .arg(got[3])
                                                 .arg(want[0])
                                                 .arg(want[1])
                                                 .arg(want[2])
                                                 .arg(want[3])));
        }

        // The curve of curve-coded data, for the raw-curve controls.
        QCOMPARE(window->rawCurveButton->isEnabled(), !file.curve.empty());
        if (!file.curve.empty()) {
            QVERIFY(image->curveBackupValid);
            for (size_t i = 0; i < file.curve.size(); ++i)
                QCOMPARE(int(image->curveBackup[i]), int(file.curve[i]));
        }

        // Y, Cb and Cr are no camera colours to render.
        if (file.ycc) {
            QVERIFY(!window->rgbRadio->isEnabled());
            QVERIFY(!window->compositeRadio->isEnabled());
        }
        if (!file.dbMake.isEmpty())
            checkRgb(file);
        else if (file.linearRgb)
            checkScannerRgb(file);
    }

    // "Linear Raw Curve" applied to curve-coded data: decoded again, the
    // codes under the mouse, black where the format puts it then.
    void linearRawCurve_data()
    {
        QTest::addColumn<CameraFile>("file");
        QTest::addColumn<int>("black");
        // The levels follow the data into code space.
        const CameraFile lossy = nef(NefDescription::Coding::Lossy, "linear.nef");
        // (the first code reaching the file's black)
        QTest::newRow("NEF lossy") << lossy
                                   << int(std::lower_bound(lossy.curve.begin(), lossy.curve.end(), 600) - lossy.curve.begin());
        QTest::newRow("ARW 2") << arw(ArwDescription::Data::Arw2, "linear.arw") << 256;
    }
    void linearRawCurve()
    {
        QFETCH(CameraFile, file);
        QFETCH(int, black);
        QVERIFY(window->openFile(file.path));
        QCOMPARE(window->rawCurveButton->text(), QStringLiteral("Normal"));
        const int before = window->filesDecoded;
        window->takePrefMaps();
        window->prefPane->setPrefValue(QStringLiteral("linearRawCurve"), 1);
        window->prefPane->fillControls();
        window->prefPane->buttonBox->button(QDialogButtonBox::Apply)->click();
        QCOMPARE(window->filesDecoded - before, 1);
        QCOMPARE(window->rawCurveButton->text(), QStringLiteral("Linear"));
        for (const QPoint &p : {QPoint(0, 0), QPoint(37, 25), QPoint(63, 46)}) {
            window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(p.x() + 0.5, p.y() + 0.5)));
            const int c = rggb(p.x(), p.y());
            QCOMPARE(pointerValues(window->pointerPanel.label->text())[size_t(c)],
                     std::max(0, int(file.codes[size_t(p.y()) * 64 + size_t(p.x())]) - black));
        }
    }

    // The small raw's "srawYcc" applied on an open file: decoded again, the
    // channels renamed, the values and the RGB rendering following, both ways.
    void smallRawYccApplied()
    {
        const CameraFile rgb = nefSmall(false), ycc = nefSmall(true);
        QVERIFY(window->openFile(rgb.path));
        TW_PrefPane *p = window->prefPane;
        for (const CameraFile *f : {&ycc, &rgb}) {
            const int before = window->filesDecoded;
            window->takePrefMaps();
            p->setPrefValue(QStringLiteral("srawYcc"), f->ycc);
            p->fillControls();
            QCOMPARE(p->srawYccCheck->isChecked(), f->ycc);
            p->buttonBox->button(QDialogButtonBox::Apply)->click();
            QCOMPARE(window->filesDecoded - before, 1);
            QCOMPARE(window->channelNames.names, f->channels);
            QCOMPARE(window->rgbRadio->isEnabled(), !f->ycc);
            QCOMPARE(window->image->data().color.maximum, f->white);
            for (const QPoint &at : {QPoint(37, 25), QPoint(5, 40)}) {
                window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(at.x() + 0.5, at.y() + 0.5)));
                const Values got = pointerValues(window->pointerPanel.label->text()), want = f->values(at.x(), at.y());
                for (int c = 0; c < 3; ++c)
                    QVERIFY(std::abs(got[size_t(c)] - want[size_t(c)]) <= f->tolerance);
            }
        }
    }

    // Each frame of a pixel-shift file through the window's frame selector.
    void pixelShiftFrames()
    {
        const CameraFile f = pef(4, "frames.pef");
        QVERIFY(window->openFile(f.path));
        QCOMPARE(window->frameCombo->count(), 4);
        const QPoint at(37, 25);
        for (int k : {2, 3, 0}) {
            const int before = window->filesDecoded;
            window->frameCombo->setCurrentIndex(k);
            QCOMPARE(window->filesDecoded - before, 1);
            QCOMPARE(window->image->frameNumber, k + 1);
            window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(at.x() + 0.5, at.y() + 0.5)));
            const int x = at.x() + f.left, y = at.y() + f.top, c = rggb(x, y);
            // Frame k is the first frame's picture plus 5 k.
            QCOMPARE(pointerValues(window->pointerPanel.label->text())[size_t(c)],
                     f.values(x, y)[size_t(c)] + 5 * k - f.black[size_t(c)]);
        }
    }

    // Panasonic's zeros: with "Filter bad pixels" each reads what its
    // same-colour neighbours in the patch read; applying the option
    // decodes the file again.
    void zeroPixelsFiltered()
    {
        const std::vector<QPoint> zeros{{28, 20}, {42, 31}};   // first pixels of 14-pixel groups
        const CameraFile f = rw2("Panasonic", "DMC-GH4", "zeros.rw2", zeros);
        TW_PrefPane *p = window->prefPane;
        p->setPrefValue(QStringLiteral("removeZeroes"), 0);
        QVERIFY(window->openFile(f.path));
        auto shownAt = [&](const QPoint &z) {
            window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(z.x() + 0.5, z.y() + 0.5)));
            return pointerValues(window->pointerPanel.label->text())[size_t(rggb(z.x(), z.y()))];
        };
        for (const QPoint &z : zeros)
            QCOMPARE(shownAt(z), 0);
        const int before = window->filesDecoded;
        window->takePrefMaps();
        p->setPrefValue(QStringLiteral("removeZeroes"), 1);
        p->fillControls();
        QVERIFY(p->removeZeroesCheck->isChecked());
        p->buttonBox->button(QDialogButtonBox::Apply)->click();
        QCOMPARE(window->filesDecoded - before, 1);
        for (const QPoint &z : zeros) {
            const int c = rggb(z.x(), z.y());
            // The patch's value of this colour, two columns over.
            const int patch = f.values(z.x() + 2, z.y())[size_t(c)];
            QCOMPARE(shownAt(z), patch - f.black[size_t(c)]);
        }
    }

    // Data the library cannot read: a clear message, and the file shown
    // before stays as it was.
    void refused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("says");
        NefDescription he;
        he.width = 64;
        he.height = 48;
        he.raw.assign(64 * 48, 1000);
        he.nefCompression = 13;
        QTest::newRow("Nikon HE") << save(where("he.nef"), NefWriter::write(he)) << "High Efficiency";
        he.nefCompression = 14;
        QTest::newRow("Nikon HE*") << save(where("hestar.nef"), NefWriter::write(he)) << "High Efficiency";
        RafDescription compressed;
        compressed.model = "X-T3";
        compressed.setXtrans(xtransRows);
        compressed.rawWidth = 72;
        compressed.rawHeight = 54;
        compressed.raw.assign(72 * 54, 2000);
        compressed.compressed = true;
        std::string error;
        QTest::newRow("compressed RAF") << save(where("compressed.raf"), RafWriter::write(compressed, &error))
                                        << "Compressed Fujifilm RAF files are not supported";
    }
    void refused()
    {
        QFETCH(QString, path);
        QFETCH(QString, says);
        QVERIFY(!path.isEmpty());
        const CameraFile before = arw(ArwDescription::Data::Uncompressed, "before.arw");
        QVERIFY(window->openFile(before.path));
        const RawImage *shownImage = window->image;
        const QString title = window->windowTitle();
        bool opened = true;
        const Shown shown = messagesOf([&] { opened = window->openFile(path); });
        QVERIFY(!opened);
        QCOMPARE(shown.count, 1);
        QCOMPARE(shown.titles.value(0), QStringLiteral("Raw file open error"));
        QVERIFY2(shown.texts.value(0).contains(says), qPrintable(shown.texts.value(0)));
        QVERIFY(shown.texts.value(0).contains(QFileInfo(path).fileName()));
        QCOMPARE(window->image, shownImage);
        QCOMPARE(window->windowTitle(), title);
    }
};

TW_REGISTER_TEST(TestCameraFiles)
#include "TestCameraFiles.moc"
