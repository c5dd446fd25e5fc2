// The built-in camera definitions: lookups as files name their camera
// (aliases, modes, padded strings), the facts of known entries, ISO levels,
// crops resolved against raw sizes, the supported list, and definition
// texts that are broken in the ways a hand-edited file can be.
#include "TestRegistry.h"

#include "camera/CameraDatabase.h"

#include <QFile>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

using kaldris::CameraDatabase;
using kaldris::CameraEntry;

namespace {

std::string str(const QByteArray &b) { return std::string(b.constData(), size_t(b.size())); }

const CameraEntry &mustFind(std::string_view make, std::string_view model, std::string_view mode = {})
{
    const CameraEntry *e = CameraDatabase::instance().find(make, model, mode);
    if (!e)
        qFatal("camera %s / %s / %s missing", std::string(make).c_str(), std::string(model).c_str(),
               std::string(mode).c_str());
    return *e;
}

QByteArray goodCamera(const char *model)
{
    return QByteArray("<Camera make=\"Acme\" model=\"") + model
        + "\"><CFA width=\"2\" height=\"1\"><Color x=\"0\" y=\"0\">RED</Color>"
          "<Color x=\"1\" y=\"0\">GREEN</Color></CFA><Sensor black=\"1\" white=\"2\"/></Camera>";
}

}

class TestCameraDatabase : public QObject {
    Q_OBJECT

private slots:
    void everyShippedEntryParses();
    void exactEntryFacts();
    void find_data();
    void find();
    void modeEntries();
    void sensorFor_data();
    void sensorFor();
    void cropRect_data();
    void cropRect();
    void supportedCanonList();
    void supportedListFoldsModesAndAliases();
    void malformedEntriesAreSkipped_data();
    void malformedEntriesAreSkipped();
};

// A parser fault on any construct of the real file would silently drop
// cameras: every <Camera> of the shipped file must come through.
void TestCameraDatabase::everyShippedEntryParses()
{
    QFile f(QStringLiteral(TW_CAMERAS_XML));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.startsWith("<?xml"));
    QCOMPARE(CameraDatabase::instance().size(), size_t(text.count("<Camera ")));
    QCOMPARE(CameraDatabase(str(text)).size(), CameraDatabase::instance().size());
    QCOMPARE(&CameraDatabase::instance(), &CameraDatabase::instance());
}

void TestCameraDatabase::exactEntryFacts()
{
    const CameraEntry &e = mustFind("Canon", "Canon EOS 5D Mark III");
    QCOMPARE(e.idMake, std::string("Canon"));
    QCOMPARE(e.idModel, std::string("EOS 5D Mark III"));
    QCOMPARE(e.mode, std::string());
    QVERIFY(e.isSupported());
    QCOMPARE(e.cfaWidth, 2);
    QCOMPARE(e.cfaHeight, 2);
    QCOMPARE(std::string(e.cfa.begin(), e.cfa.end()), std::string("RGGB"));
    QVERIFY(e.hasCrop);
    QCOMPARE(e.cropWidth, -2);
    QCOMPARE(e.cropHeight, 0);
    int x = -1, y = -1, w = -1, h = -1;
    QVERIFY(e.cropRect(5920, 3950, x, y, w, h));
    QCOMPARE(x, 124);
    QCOMPARE(y, 82);
    QCOMPARE(w, 5920 - 124 - 2);
    QCOMPARE(h, 3950 - 82);
    QCOMPARE(e.blackAreas.size(), size_t(2));
    QVERIFY(e.blackAreas[0].vertical);
    QCOMPARE(e.blackAreas[0].offset, 0);
    QCOMPARE(e.blackAreas[0].size, 120);
    QVERIFY(!e.blackAreas[1].vertical);
    QCOMPARE(e.blackAreas[1].offset, 2);
    QCOMPARE(e.blackAreas[1].size, 78);
    QCOMPARE(e.matrixPlanes, 3);
    QCOMPARE(e.colorMatrix, (std::vector<int>{6722, -635, -963, -4287, 12460, 2028, -908, 2162, 5668}));
    QVERIFY(e.sensors.empty());
    QVERIFY(!e.sensorFor(100));
    QVERIFY(!e.hint("sraw_new"));

    // A four-colour matrix keeps its fourth row.
    const CameraEntry &cmyg = mustFind("Canon", "Canon PowerShot Pro70");
    QVERIFY(!cmyg.isSupported());
    QCOMPARE(cmyg.matrixPlanes, 4);
    QCOMPARE(cmyg.colorMatrix.size(), size_t(12));
    QCOMPARE(cmyg.colorMatrix[9], -2238);
    QCOMPARE(cmyg.colorMatrix[11], 1342);
}

void TestCameraDatabase::find_data()
{
    QTest::addColumn<QByteArray>("make");
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("entryModel");
    QTest::addColumn<QByteArray>("entryMode");
    QTest::addColumn<QByteArray>("idModel");

    QTest::newRow("exact") << QByteArray("Canon") << QByteArray("Canon EOS 5D Mark III") << QByteArray() << true
                           << QByteArray("Canon EOS 5D Mark III") << QByteArray() << QByteArray("EOS 5D Mark III");
    QTest::newRow("padded as in the file") << QByteArray("Canon\0\0\0", 8) << QByteArray("Canon EOS 5D Mark III  \0", 24)
                                           << QByteArray() << true << QByteArray("Canon EOS 5D Mark III")
                                           << QByteArray() << QByteArray("EOS 5D Mark III");
    QTest::newRow("make in capitals") << QByteArray("CANON") << QByteArray("Canon EOS 5D Mark III") << QByteArray()
                                      << true << QByteArray("Canon EOS 5D Mark III") << QByteArray()
                                      << QByteArray("EOS 5D Mark III");
    QTest::newRow("alias") << QByteArray("Canon") << QByteArray("Canon EOS REBEL SL1") << QByteArray() << true
                           << QByteArray("Canon EOS 100D") << QByteArray() << QByteArray("EOS Rebel SL1");
    QTest::newRow("second alias") << QByteArray("Canon") << QByteArray("Canon EOS Kiss X7") << QByteArray() << true
                                  << QByteArray("Canon EOS 100D") << QByteArray() << QByteArray("EOS Kiss X7");
    QTest::newRow("alias without id") << QByteArray("Panasonic") << QByteArray("DMC-FZ2500") << QByteArray() << true
                                      << QByteArray("DMC-FZ2000") << QByteArray() << QByteArray("DMC-FZ2500");
    QTest::newRow("alias in a mode") << QByteArray("Panasonic") << QByteArray("DMC-FZ2500") << QByteArray("3:2")
                                     << true << QByteArray("DMC-FZ2000") << QByteArray("3:2")
                                     << QByteArray("DMC-FZ2500");
    QTest::newRow("sRAW mode") << QByteArray("Canon") << QByteArray("Canon EOS 5D Mark III") << QByteArray("sRaw1")
                               << true << QByteArray("Canon EOS 5D Mark III") << QByteArray("sRaw1")
                               << QByteArray("EOS 5D Mark III");
    QTest::newRow("bit-depth mode") << QByteArray("NIKON CORPORATION") << QByteArray("NIKON D100")
                                    << QByteArray("12bit-compressed") << true << QByteArray("NIKON D100")
                                    << QByteArray("12bit-compressed") << QByteArray("D100");
    QTest::newRow("empty model") << QByteArray("DJI") << QByteArray() << QByteArray("chdk") << true << QByteArray()
                                 << QByteArray("chdk") << QByteArray();
    QTest::newRow("unknown model") << QByteArray("Canon") << QByteArray("Canon EOS 5D Mark IX") << QByteArray()
                                   << false << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("model case differs") << QByteArray("Canon") << QByteArray("canon eos 5d mark iii") << QByteArray()
                                        << false << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("unknown mode") << QByteArray("Canon") << QByteArray("Canon EOS 5D Mark III") << QByteArray("sRaw3")
                                  << false << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("model only under modes") << QByteArray("NIKON CORPORATION") << QByteArray("NIKON D100")
                                            << QByteArray() << false << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("alias of another make") << QByteArray("NIKON CORPORATION") << QByteArray("Canon EOS REBEL SL1")
                                           << QByteArray() << false << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("prefix of a model") << QByteArray("Canon") << QByteArray("Canon EOS 5D") << QByteArray("Mark III")
                                       << false << QByteArray() << QByteArray() << QByteArray();
}

void TestCameraDatabase::find()
{
    QFETCH(QByteArray, make);
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, mode);
    QFETCH(bool, found);
    QFETCH(QByteArray, entryModel);
    QFETCH(QByteArray, entryMode);
    QFETCH(QByteArray, idModel);
    std::string id = "untouched";
    const CameraEntry *e = CameraDatabase::instance().find(str(make), str(model), str(mode), &id);
    QCOMPARE(e != nullptr, found);
    if (!found) {
        QCOMPARE(id, std::string("untouched"));
        return;
    }
    QCOMPARE(e->model, str(entryModel));
    QCOMPARE(e->mode, str(entryMode));
    QCOMPARE(id, str(idModel));
    QCOMPARE(CameraDatabase::instance().find(str(make), str(model), str(mode)), e);
}

void TestCameraDatabase::modeEntries()
{
    const CameraEntry &sraw = mustFind("Canon", "Canon EOS 5D Mark III", "sRaw1");
    QVERIFY(&sraw != &mustFind("Canon", "Canon EOS 5D Mark III", "sRaw2"));
    QCOMPARE(sraw.idModel, std::string("EOS 5D Mark III"));
    std::string value = "x";
    QVERIFY(sraw.hint("sraw_new", &value));
    QCOMPARE(value, std::string());
    QVERIFY(sraw.hint("invert_sraw_wb"));
    QVERIFY(!sraw.hint("sraw_40d"));
    QCOMPARE(sraw.cfaWidth, 0);
    QVERIFY(sraw.cfa.empty());
    int x, y, w, h;
    QVERIFY(sraw.cropRect(2880, 1920, x, y, w, h));
    QCOMPARE(std::vector<int>({x, y, w, h}), std::vector<int>({0, 0, 2880, 1920}));

    const CameraEntry &nef = mustFind("NIKON CORPORATION", "NIKON D100", "12bit-compressed");
    QCOMPARE(nef.idMake, std::string("Nikon"));
    QCOMPARE(std::string(nef.cfa.begin(), nef.cfa.end()), std::string("GRBG"));
    QCOMPARE(nef.sensors.size(), size_t(1));
    QCOMPARE(nef.sensors[0].white, 4095);
    QVERIFY(&nef != &mustFind("NIKON CORPORATION", "NIKON D100", "12bit-uncompressed"));

    const CameraEntry &xtrans = mustFind("FUJIFILM", "X-T1");
    QCOMPARE(xtrans.cfaWidth, 6);
    QCOMPARE(xtrans.cfaHeight, 6);
    QCOMPARE(std::string(xtrans.cfa.begin(), xtrans.cfa.end()),
             std::string("RBGBRG" "GGRGGB" "GGBGGR" "BRGRBG" "GGBGGR" "GGRGGB"));
}

void TestCameraDatabase::sensorFor_data()
{
    QTest::addColumn<QByteArray>("make");
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("iso");
    QTest::addColumn<int>("black");   // -1: no levels

    const QByteArray canon("Canon"), eos300("Canon EOS 300D DIGITAL");
    for (auto [iso, black] : {std::pair{100, 126}, {200, 127}, {400, 128}, {800, 129}, {1600, 251}, {3200, 250},
                              {6400, 126}, {0, 126}})
        QTest::addRow("300D ISO %d", iso) << canon << eos300 << QByteArray() << iso << black;

    // Ranges: [400, 3200], then [open, 1]; anything else takes the unconditioned line.
    const QByteArray nikon("NIKON"), p7000("COOLPIX P7000"), p7100("COOLPIX P7100"), mode("12bit-uncompressed");
    for (auto [iso, black] : {std::pair{100, 0}, {400, 255}, {3200, 255}, {3201, 0}, {1, 255}, {0, 255}})
        QTest::addRow("P7000 ISO %d", iso) << nikon << p7000 << mode << iso << black;
    // An open upper end: from 400 on.
    for (auto [iso, black] : {std::pair{399, 0}, {400, 250}, {409600, 250}})
        QTest::addRow("P7100 ISO %d", iso) << nikon << p7100 << mode << iso << black;
    QTest::newRow("no sensor lines") << canon << QByteArray("Canon EOS 5D Mark III") << QByteArray() << 100 << -1;
}

void TestCameraDatabase::sensorFor()
{
    QFETCH(QByteArray, make);
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, mode);
    QFETCH(int, iso);
    QFETCH(int, black);
    const kaldris::CameraSensor *s = mustFind(str(make), str(model), str(mode)).sensorFor(iso);
    QCOMPARE(s ? s->black : -1, black);
}

void TestCameraDatabase::cropRect_data()
{
    QTest::addColumn<QByteArray>("make");
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("rawWidth");
    QTest::addColumn<int>("rawHeight");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QList<int>>("rect");

    const QByteArray canon("Canon"), eos5d3("Canon EOS 5D Mark III");
    const QByteArray nikon("NIKON CORPORATION"), d100("NIKON D100"), mode("12bit-compressed");
    QTest::newRow("from the right edge") << canon << eos5d3 << QByteArray() << 5920 << 3950 << true
                                         << QList<int>{124, 82, 5794, 3868};
    QTest::newRow("one column left") << canon << eos5d3 << QByteArray() << 127 << 83 << true << QList<int>{124, 82, 1, 1};
    QTest::newRow("nothing left") << canon << eos5d3 << QByteArray() << 126 << 3950 << false << QList<int>{};
    QTest::newRow("origin outside") << canon << eos5d3 << QByteArray() << 100 << 50 << false << QList<int>{};
    QTest::newRow("fixed size fits") << nikon << d100 << mode << 3032 << 2024 << true << QList<int>{2, 0, 3030, 2024};
    QTest::newRow("fixed size too wide") << nikon << d100 << mode << 3031 << 2024 << false << QList<int>{};
    QTest::newRow("fixed size too tall") << nikon << d100 << mode << 3032 << 2023 << false << QList<int>{};
    QTest::newRow("no crop") << canon << QByteArray("Canon EOS R") << QByteArray() << 6888 << 4546 << false
                             << QList<int>{};
}

void TestCameraDatabase::cropRect()
{
    QFETCH(QByteArray, make);
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, mode);
    QFETCH(int, rawWidth);
    QFETCH(int, rawHeight);
    QFETCH(bool, fits);
    QFETCH(QList<int>, rect);
    int x = -7, y = -7, w = -7, h = -7;
    QCOMPARE(mustFind(str(make), str(model), str(mode)).cropRect(rawWidth, rawHeight, x, y, w, h), fits);
    if (fits)
        QCOMPARE(QList<int>({x, y, w, h}), rect);
    else
        QCOMPARE(QList<int>({x, y, w, h}), QList<int>({-7, -7, -7, -7}));
}

void TestCameraDatabase::supportedCanonList()
{
    const CameraDatabase &db = CameraDatabase::instance();
    const std::vector<std::string> list = db.supportedCameras({"Canon"});
    QVERIFY(list.size() > 100);
    QVERIFY(std::is_sorted(list.begin(), list.end()));
    QVERIFY(std::adjacent_find(list.begin(), list.end()) == list.end());
    for (const std::string &line : list)
        QVERIFY2(line.rfind("Canon ", 0) == 0, line.c_str());
    auto has = [&](const char *name) { return std::count(list.begin(), list.end(), std::string(name)) == 1; };
    QVERIFY(has("Canon EOS 5D Mark III"));
    QVERIFY(has("Canon EOS 300D"));
    QVERIFY(has("Canon EOS Rebel SL1"));
    QVERIFY(has("Canon EOS Kiss X7"));
    QVERIFY(!has("Canon EOS R"));
    QVERIFY(!has("Canon PowerShot Pro70"));
    QCOMPARE(db.supportedCameras({"CANON"}), list);

    const std::vector<std::string> two = db.supportedCameras({"Nikon", "canon"});
    QVERIFY(std::includes(two.begin(), two.end(), list.begin(), list.end()));
    QVERIFY(std::binary_search(two.begin(), two.end(), std::string("Nikon D100")));
    QVERIFY(db.supportedCameras({}).empty());
}

// The exact list from a small text: modes fold together, aliases come in by
// their ids, only absent or "yes" counts as supported, the make is the ID's.
void TestCameraDatabase::supportedListFoldsModesAndAliases()
{
    const CameraDatabase db(R"(<?xml version="1.0"?>
<Cameras>
  <Camera make="ACME CORP" model="ACME Z9"><ID make="Acme" model="Z9">Acme Z9</ID>
    <Aliases><Alias id="Z9s">ACME Z9S</Alias><Alias>ACME-Z9X</Alias></Aliases></Camera>
  <Camera make="ACME CORP" model="ACME Z9" mode="crop"><ID make="Acme" model="Z9">Acme Z9</ID>
    <Aliases><Alias id="Z9s">ACME Z9S</Alias></Aliases></Camera>
  <Camera make="ACME CORP" model="ACME A1" supported="yes"><ID make="Acme" model="A1">Acme A1</ID></Camera>
  <Camera make="ACME CORP" model="ACME N1" supported="no"><ID make="Acme" model="N1">Acme N1</ID></Camera>
  <Camera make="ACME CORP" model="ACME S1" supported="no-samples"><ID make="Acme" model="S1">Acme S1</ID></Camera>
  <Camera make="Acme" model="Bare"/>
  <Camera make="OTHER" model="O1"><ID make="Other" model="O1">Other O1</ID></Camera>
</Cameras>)");
    QCOMPARE(db.size(), size_t(7));
    const std::vector<std::string> want{"Acme A1", "Acme Bare", "Acme Z9", "Acme Z9s", "Acme ACME-Z9X"};
    std::vector<std::string> sorted = want;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(db.supportedCameras({"acme"}), sorted);
    // The file's make does not select: only the canonical one does.
    QVERIFY(db.supportedCameras({"ACME CORP"}).empty());
    // Narrowed to the make the files write: the bare entry's "Acme" goes.
    std::vector<std::string> written{"Acme A1", "Acme Z9", "Acme Z9s", "Acme ACME-Z9X"};
    std::sort(written.begin(), written.end());
    QCOMPARE(db.supportedCameras({"acme"}, {"acme corp"}), written);
    QCOMPARE(db.supportedCameras({"acme"}, {"Acme"}), std::vector<std::string>{"Acme Bare"});

    std::string id;
    const CameraEntry *e = db.find("acme corp", "ACME-Z9X", "crop", &id);
    QVERIFY(e);
    QCOMPARE(e->mode, std::string("crop"));
    QCOMPARE(id, std::string("ACME-Z9X"));
}

void TestCameraDatabase::malformedEntriesAreSkipped_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("models");

    const QByteArray head = "<?xml version=\"1.0\"?>\n<Cameras>";
    const QByteArray a = goodCamera("A"), b = goodCamera("B");
    auto between = [&](const char *bad) { return head + a + bad + b + "</Cameras>"; };
    const QStringList both{"A", "B"};
    QTest::newRow("well formed") << between("") << both;
    QTest::newRow("unknown colour") << between(
        R"(<Camera make="Acme" model="X"><CFA width="1" height="1"><Color x="0" y="0">PURPLE</Color></CFA></Camera>)")
                                    << both;
    QTest::newRow("cell outside the pattern") << between(
        R"(<Camera make="Acme" model="X"><CFA width="1" height="1"><Color x="1" y="0">RED</Color></CFA></Camera>)")
                                              << both;
    QTest::newRow("cell missing") << between(
        R"(<Camera make="Acme" model="X"><CFA width="2" height="1"><Color x="0" y="0">RED</Color></CFA></Camera>)")
                                  << both;
    QTest::newRow("row too short") << between(
        R"(<Camera make="Acme" model="X"><CFA2 width="2" height="1"><ColorRow y="0">R</ColorRow></CFA2></Camera>)")
                                   << both;
    QTest::newRow("row of unknown letters") << between(
        R"(<Camera make="Acme" model="X"><CFA2 width="2" height="1"><ColorRow y="0">RQ</ColorRow></CFA2></Camera>)")
                                            << both;
    QTest::newRow("huge pattern") << between(
        R"(<Camera make="Acme" model="X"><CFA width="2000000000" height="2000000000"></CFA></Camera>)")
                                  << both;
    QTest::newRow("crop not a number") << between(
        R"(<Camera make="Acme" model="X"><Crop x="1" y="zero" width="0" height="0"/></Camera>)")
                                       << both;
    QTest::newRow("sensor without white") << between(R"(<Camera make="Acme" model="X"><Sensor black="1"/></Camera>)")
                                          << both;
    QTest::newRow("ISO list with a word") << between(
        R"(<Camera make="Acme" model="X"><Sensor black="1" white="2" iso_list="100 many"/></Camera>)")
                                          << both;
    QTest::newRow("matrix row of two") << between(
        R"(<Camera make="Acme" model="X"><ColorMatrices><ColorMatrix planes="1">)"
        R"(<ColorMatrixRow plane="0">1 2</ColorMatrixRow></ColorMatrix></ColorMatrices></Camera>)")
                                       << both;
    QTest::newRow("matrix plane missing") << between(
        R"(<Camera make="Acme" model="X"><ColorMatrices><ColorMatrix planes="2">)"
        R"(<ColorMatrixRow plane="0">1 2 3</ColorMatrixRow></ColorMatrix></ColorMatrices></Camera>)")
                                          << both;
    QTest::newRow("matrix plane out of range") << between(
        R"(<Camera make="Acme" model="X"><ColorMatrices><ColorMatrix planes="1">)"
        R"(<ColorMatrixRow plane="0">1 2 3</ColorMatrixRow><ColorMatrixRow plane="-1">1 2 3</ColorMatrixRow>)"
        R"(</ColorMatrix></ColorMatrices></Camera>)")
                                               << both;
    QTest::newRow("no model") << between(R"(<Camera make="Acme"><Sensor black="1" white="2"/></Camera>)") << both;
    QTest::newRow("empty alias") << between(R"(<Camera make="Acme" model="X"><Aliases><Alias/></Aliases></Camera>)")
                                 << both;
    QTest::newRow("unknown elements are ignored") << between(
        R"(<Camera make="Acme" model="X"><Future a="1"><Deeper/></Future></Camera>)")
                                                  << QStringList{"A", "X", "B"};
    QTest::newRow("duplicate keeps the first") << between(R"(<Camera make="ACME" model="A"/>)") << both;
    QTest::newRow("cut inside an entry") << head + a + "<Camera make=\"Acme\" model=\"B\"><CFA width=\"2\" he"
                                         << QStringList{"A"};
    QTest::newRow("end tag mismatch") << head + a + "<Camera make=\"Acme\" model=\"X\"></Sensor>" + b
                                      << QStringList{"A"};
    // Ten to the ninth "ha" if expanded: the reader must give up instead.
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE Cameras [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 10; ++i) {
        const QByteArray previous = "&l" + QByteArray::number(i - 1) + ';';
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" + previous.repeated(10) + "\">";
    }
    QTest::newRow("entity expansion bomb")
        << laughs + "]><Cameras>" + a + "<Camera make=\"Acme\" model=\"&l9;\"/>" + b + "</Cameras>"
        << QStringList{"A"};
    QTest::newRow("other root") << QByteArray("<Lenses>") + a + "</Lenses>" << QStringList{};
    QTest::newRow("not XML") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11) << QStringList{};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestCameraDatabase::malformedEntriesAreSkipped()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, models);
    const CameraDatabase db(str(text));
    QCOMPARE(db.size(), size_t(models.size()));
    for (const QString &m : models) {
        const CameraEntry *e = db.find("Acme", m.toStdString());
        QVERIFY2(e, qPrintable(m));
    }
    QVERIFY(!db.find("Acme", "X") || models.contains("X"));
    if (const CameraEntry *e = db.find("Acme", "A"))
        QCOMPARE(std::string(e->cfa.begin(), e->cfa.end()), std::string("RG"));
}

TW_REGISTER_TEST(TestCameraDatabase)
#include "TestCameraDatabase.moc"
