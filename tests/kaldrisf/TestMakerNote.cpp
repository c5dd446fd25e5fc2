// Maker notes of every layout written by our fixture writer into a small
// TIFF file and read back through the TIFF parser: values in the note's own
// byte order and offset base, sub-directories, and damaged notes that must
// lose only themselves.
#include "TestRegistry.h"

#include "MakerNoteBuilder.h"
#include "tiff/MakerNoteParser.h"

#include <QTest>

#include <string>

using kaldris::MakerNoteKind;
using Layout = MakerNoteBuilder::Layout;

namespace {

constexpr uint16_t tagMake = 271, tagExifIfd = 34665, tagExifVersion = 0x9000;
const std::string outOfLineText = "Out of line text";

struct Written {
    std::vector<uint8_t> bytes;
    uint32_t noteOffset = 0, noteSize = 0, exifOffset = 0, ifd0Offset = 0;
    bool fileBig = false;
    // Position of the EXIF MakerNote entry's value field (its count is 4 before).
    uint32_t noteFieldPos() const { return exifOffset + 2 + 12 + 8; }
};

// IFD0 (Make, Model, ExifIFD) -> EXIF IFD (ExifVersion, MakerNote) -> a note
// with an inline SHORT and LONG, an out-of-line ASCII and SHORT array, and
// optionally a sub-directory at subTag.
Written writeFile(Layout layout, bool fileBig, bool noteBig, const std::string &make, uint16_t subTag = 0,
                  uint16_t subType = TiffIfd::Long)
{
    TiffIfd note(noteBig);
    note.addShort(0x0001, 1234);
    note.addLong(0x0002, 0x01020304);
    note.addAscii(0x0003, outOfLineText);
    note.addShorts(0x0004, {10, 20, 30, 40});
    std::vector<MakerNoteBuilder::SubIfd> subs;
    if (subTag) {
        TiffIfd sub(noteBig);
        sub.addShorts(0x0100, {500, 600, 700});
        sub.addLong(0x0101, 77);
        subs.push_back({subTag, subType, sub});
    }

    Written w;
    w.fileBig = fileBig;
    TiffFileBuilder file(fileBig);
    w.noteOffset = MakerNoteBuilder::append(file, layout, note, subs, &w.noteSize);
    TiffIfd exif(fileBig);
    exif.addBytes(tagExifVersion, {'0', '2', '3', '0'}, TiffIfd::Undefined);
    exif.addEntry(MakerNoteBuilder::exifEntry(w.noteOffset, w.noteSize));
    w.exifOffset = file.appendIfd(exif, 0);
    TiffIfd ifd0(fileBig);
    ifd0.addAscii(tagMake, make);
    ifd0.addAscii(272, "Test Model");
    ifd0.addLong(tagExifIfd, w.exifOffset);
    w.ifd0Offset = file.appendIfd(ifd0, 0);
    file.setFirstIfd(w.ifd0Offset);
    w.bytes = file.take();
    return w;
}

kaldris::TiffTree parseTree(const std::vector<uint8_t> &bytes)
{
    return kaldris::TiffParser::parse(kaldris::ByteStream(bytes.data(), bytes.size()));
}

// The main tree is whole whatever became of the note.
void checkMainTree(const kaldris::TiffTree &tree, const std::string &make)
{
    QCOMPARE(tree.chain.size(), size_t(1));
    const kaldris::TiffEntry *m = tree.chain[0]->get(tagMake);
    QVERIFY(m);
    QCOMPARE(m->text(), make);
    QVERIFY(tree.chain[0]->exif);
    QVERIFY(tree.chain[0]->exif->has(tagExifVersion));
}

void checkNote(const kaldris::TiffIfd &note, uint16_t subTag)
{
    QCOMPARE(note.u(0x0001, 0), uint64_t(1234));
    QCOMPARE(note.u(0x0002, 0), uint64_t(0x01020304));
    QVERIFY(note.get(0x0003));
    QCOMPARE(note.get(0x0003)->text(), outOfLineText);
    QVERIFY(note.get(0x0004));
    QCOMPARE(note.get(0x0004)->ints(), (std::vector<uint64_t>{10, 20, 30, 40}));
    if (!subTag) {
        QVERIFY(note.tagged.empty());
        return;
    }
    const kaldris::TiffIfd *sub = note.subIfd(subTag);
    QVERIFY(sub);
    QVERIFY(sub->get(0x0100));
    QCOMPARE(sub->get(0x0100)->ints(), (std::vector<uint64_t>{500, 600, 700}));
    QCOMPARE(sub->u(0x0101, 0), uint64_t(77));
}

enum Damage { NoteOutsideFile, IfdOutsideFile, CountOverflow, HugeCount, LoopToExif, LoopToIfd0, CutShort, WrongMagic };

}

class TestMakerNote : public QObject {
    Q_OBJECT

private slots:
    void layouts_data();
    void layouts();
    void damaged_data();
    void damaged();
    void brokenSubIfd_data();
    void brokenSubIfd();
    void headerBeforeMake_data();
    void headerBeforeMake();
    void readIfdAtBase();
    void noteOutsideStream_data();
    void noteOutsideStream();
    void sharedIfdLimit();
};

void TestMakerNote::layouts_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("fileBig");
    QTest::addColumn<bool>("noteBig");
    QTest::addColumn<QString>("make");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("subTag");
    QTest::addColumn<int>("subType");

    auto row = [](const char *name, Layout l, bool fileBig, bool noteBig, const char *make, MakerNoteKind kind,
                  int subTag = 0, int subType = TiffIfd::Long) {
        QTest::newRow(name) << int(l) << fileBig << noteBig << QString(make) << int(kind) << subTag << subType;
    };
    row("canon II", Layout::Canon, false, false, "Canon", MakerNoteKind::Canon);
    row("canon MM", Layout::Canon, true, true, "Canon", MakerNoteKind::Canon);
    row("nikon MM note in II file", Layout::Nikon, false, true, "NIKON CORPORATION", MakerNoteKind::Nikon, 0x11);
    row("nikon II note in MM file", Layout::Nikon, true, false, "NIKON", MakerNoteKind::Nikon, 0x11);
    row("nikon old II", Layout::NikonOld, false, false, "NIKON", MakerNoteKind::NikonOld);
    row("nikon plain MM", Layout::NikonPlain, true, true, "NIKON", MakerNoteKind::NikonOld);
    row("pentax AOC MM note in II file", Layout::PentaxAoc, false, true, "PENTAX Corporation", MakerNoteKind::Pentax);
    row("pentax AOC II", Layout::PentaxAoc, false, false, "PENTAX Corporation", MakerNoteKind::Pentax);
    row("pentax AOC unmarked MM", Layout::PentaxAocUnmarked, true, true, "PENTAX", MakerNoteKind::Pentax);
    row("pentax II note in MM file", Layout::Pentax, true, false, "PENTAX", MakerNoteKind::Pentax);
    row("pentax MM", Layout::Pentax, false, true, "RICOH IMAGING COMPANY, LTD.", MakerNoteKind::Pentax);
    row("sony DSC II", Layout::SonyDsc, false, false, "SONY", MakerNoteKind::Sony);
    row("sony CAM MM", Layout::SonyCam, true, true, "SONY", MakerNoteKind::Sony);
    row("sony plain II", Layout::SonyPlain, false, false, "SONY", MakerNoteKind::Sony);
    row("panasonic II", Layout::Panasonic, false, false, "Panasonic", MakerNoteKind::Panasonic);
    row("panasonic MM", Layout::Panasonic, true, true, "Panasonic", MakerNoteKind::Panasonic);
    row("olympus old MM", Layout::OlympusOld, true, true, "OLYMPUS OPTICAL CO.,LTD", MakerNoteKind::OlympusOld, 0x2040);
    row("olympus old II", Layout::OlympusOld, false, false, "OLYMPUS OPTICAL CO.,LTD", MakerNoteKind::OlympusOld, 0x2010);
    row("olympus II note in MM file, IFD type", Layout::Olympus, true, false, "OLYMPUS IMAGING CORP.",
        MakerNoteKind::Olympus, 0x2040, TiffIfd::Ifd);
    row("olympus MM, LONG type", Layout::Olympus, false, true, "OLYMPUS CORPORATION", MakerNoteKind::Olympus, 0x2040);
    row("olympus II, equipment", Layout::Olympus, false, false, "OLYMPUS CORPORATION", MakerNoteKind::Olympus, 0x2010);
    row("fujifilm in MM file", Layout::Fujifilm, true, false, "FUJIFILM", MakerNoteKind::Fujifilm);
    row("fujifilm in II file", Layout::Fujifilm, false, false, "FUJIFILM", MakerNoteKind::Fujifilm);
    row("samsung II", Layout::Samsung, false, false, "SAMSUNG", MakerNoteKind::Samsung);
    row("samsung MM", Layout::Samsung, true, true, "Samsung Techwin", MakerNoteKind::Samsung);
    row("any maker, IFD-typed pointer", Layout::SonyDsc, false, false, "SONY", MakerNoteKind::Sony, 0x9050,
        TiffIfd::Ifd);
}

void TestMakerNote::layouts()
{
    QFETCH(int, layout);
    QFETCH(bool, fileBig);
    QFETCH(bool, noteBig);
    QFETCH(QString, make);
    QFETCH(int, kind);
    QFETCH(int, subTag);
    QFETCH(int, subType);

    const Written w = writeFile(Layout(layout), fileBig, noteBig, make.toStdString(), uint16_t(subTag),
                                uint16_t(subType));
    const kaldris::TiffTree tree = parseTree(w.bytes);
    checkMainTree(tree, make.toStdString());
    QCOMPARE(int(tree.makerNoteKind), kind);
    QVERIFY(tree.makerNote);
    checkNote(*tree.makerNote, uint16_t(subTag));

    // The same note found elsewhere than in EXIF, through the public entry point.
    MakerNoteKind found = MakerNoteKind::None;
    const kaldris::ByteStream file(w.bytes.data(), w.bytes.size(), fileBig);
    auto note = kaldris::MakerNoteParser::parse(file, w.noteOffset, w.noteSize, make.toStdString(), &found);
    QCOMPARE(int(found), kind);
    QVERIFY(note);
    checkNote(*note, uint16_t(subTag));
}

void TestMakerNote::damaged_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<QString>("make");
    QTest::addColumn<int>("damage");
    QTest::addColumn<int>("at");   // where in the note the damage goes, or the length cut to

    auto row = [](const char *name, Layout l, const char *make, Damage d, int at = 0) {
        QTest::newRow(name) << int(l) << QString(make) << int(d) << at;
    };
    row("note offset outside the file", Layout::Canon, "Canon", NoteOutsideFile);
    row("fujifilm IFD offset outside the file", Layout::Fujifilm, "FUJIFILM", IfdOutsideFile, 8);
    row("nikon IFD offset outside the file", Layout::Nikon, "NIKON", IfdOutsideFile, 14);
    row("canon entry count past the note", Layout::Canon, "Canon", CountOverflow, 0);
    row("olympus entry count past the note", Layout::Olympus, "OLYMPUS", CountOverflow, 12);
    row("panasonic entry count over the limit", Layout::Panasonic, "Panasonic", HugeCount, 12);
    row("note is the EXIF IFD", Layout::Canon, "Canon", LoopToExif);
    row("note is IFD0", Layout::Samsung, "SAMSUNG", LoopToIfd0);
    row("olympus header cut short", Layout::Olympus, "OLYMPUS", CutShort, 10);
    row("nikon header cut short", Layout::Nikon, "NIKON", CutShort, 12);
    row("fujifilm header cut short", Layout::Fujifilm, "FUJIFILM", CutShort, 10);
    row("sony header alone", Layout::SonyDsc, "SONY", CutShort, 12);
    row("nikon TIFF header wrong", Layout::Nikon, "NIKON", WrongMagic, 10);
    row("olympus byte order wrong", Layout::Olympus, "OLYMPUS", WrongMagic, 8);
    row("pentax byte order wrong", Layout::Pentax, "PENTAX", WrongMagic, 8);
    row("unknown header of an unknown maker", Layout::SonyDsc, "Acme", WrongMagic, 0);
}

void TestMakerNote::damaged()
{
    QFETCH(int, layout);
    QFETCH(QString, make);
    QFETCH(int, damage);
    QFETCH(int, at);

    const bool noteBig = Layout(layout) == Layout::Fujifilm ? false : true;
    Written w = writeFile(Layout(layout), true, noteBig, make.toStdString());
    std::vector<uint8_t> &b = w.bytes;
    const uint32_t pos = w.noteOffset + uint32_t(at);
    switch (Damage(damage)) {
    case NoteOutsideFile:
        TiffIfd::patch32(b, w.noteFieldPos(), uint32_t(b.size()) + 64, true);
        break;
    case IfdOutsideFile:
        TiffIfd::patch32(b, pos, 0x10000000, Layout(layout) != Layout::Fujifilm);
        break;
    case CountOverflow:
        TiffIfd::patch16(b, pos, uint16_t(w.noteSize / 12 + 1), true);
        break;
    case HugeCount:
        TiffIfd::patch16(b, pos, 0xFFFF, true);
        break;
    case LoopToExif:
        // A plain IFD that is also the EXIF IFD (two entries).
        TiffIfd::patch32(b, w.noteFieldPos(), w.exifOffset, true);
        TiffIfd::patch32(b, w.noteFieldPos() - 4, 2 + 2 * 12 + 4, true);
        break;
    case LoopToIfd0:
        TiffIfd::patch32(b, w.noteFieldPos(), w.ifd0Offset, true);
        TiffIfd::patch32(b, w.noteFieldPos() - 4, 2 + 3 * 12 + 4, true);
        break;
    case CutShort:
        TiffIfd::patch32(b, w.noteFieldPos() - 4, uint32_t(at), true);
        break;
    case WrongMagic:
        b[pos] = 'X';
        b[pos + 1] = 'Y';
        break;
    }

    const kaldris::TiffTree tree = parseTree(b);
    checkMainTree(tree, make.toStdString());
    QVERIFY(!tree.makerNote);
    QCOMPARE(int(tree.makerNoteKind), int(MakerNoteKind::None));
}

void TestMakerNote::brokenSubIfd_data()
{
    QTest::addColumn<uint32_t>("target");   // what the pointer holds, relative to the note

    QTest::newRow("points back at the note's own IFD") << 12u;
    QTest::newRow("points outside the note") << 0x100000u;
    QTest::newRow("points into the header") << 2u;
}

// A sub-directory pointer that loops or leads nowhere loses only that directory.
void TestMakerNote::brokenSubIfd()
{
    QFETCH(uint32_t, target);

    Written w = writeFile(Layout::Olympus, false, false, "OLYMPUS", 0x2040);
    const auto before = parseTree(w.bytes);
    QVERIFY(before.makerNote);
    const kaldris::TiffEntry *pointer = before.makerNote->get(0x2040);
    QVERIFY(pointer);
    TiffIfd::patch32(w.bytes, uint32_t(pointer->dataOffset()), target, false);

    const kaldris::TiffTree tree = parseTree(w.bytes);
    checkMainTree(tree, "OLYMPUS");
    QVERIFY(tree.makerNote);
    QCOMPARE(tree.makerNote->u(0x0001, 0), uint64_t(1234));
    QVERIFY(!tree.makerNote->subIfd(0x2040));
}

void TestMakerNote::headerBeforeMake_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<QString>("make");
    QTest::addColumn<int>("kind");

    QTest::newRow("nikon note, Canon make") << int(Layout::Nikon) << "Canon" << int(MakerNoteKind::Nikon);
    QTest::newRow("olympus note, Nikon make") << int(Layout::Olympus) << "NIKON" << int(MakerNoteKind::Olympus);
    QTest::newRow("fujifilm note, Sony make") << int(Layout::Fujifilm) << "SONY" << int(MakerNoteKind::Fujifilm);
    QTest::newRow("pentax note, Samsung make") << int(Layout::Pentax) << "SAMSUNG" << int(MakerNoteKind::Pentax);
    QTest::newRow("panasonic note, no make") << int(Layout::Panasonic) << "" << int(MakerNoteKind::Panasonic);
}

void TestMakerNote::headerBeforeMake()
{
    QFETCH(int, layout);
    QFETCH(QString, make);
    QFETCH(int, kind);

    // Little-endian note in a big-endian file: read in the file's order, a
    // header-blind reader would fail on Fujifilm, Nikon and Olympus.
    const Written w = writeFile(Layout(layout), Layout(layout) == Layout::Panasonic ? false : true, false,
                                make.toStdString());
    const kaldris::TiffTree tree = parseTree(w.bytes);
    QCOMPARE(int(tree.makerNoteKind), kind);
    QVERIFY(tree.makerNote);
    checkNote(*tree.makerNote, 0);
}

// What a format does for a pointer the reader does not follow by itself.
void TestMakerNote::readIfdAtBase()
{
    const Written w = writeFile(Layout::Nikon, false, true, "NIKON", 0x11);
    const kaldris::TiffTree tree = parseTree(w.bytes);
    QVERIFY(tree.makerNote && tree.makerNote->get(0x11));
    const uint64_t base = w.noteOffset + 10;
    const kaldris::ByteStream note(w.bytes.data(), w.bytes.size(), true);
    uint64_t next = 1;
    auto sub = kaldris::TiffParser::readIfdAt(note, base + tree.makerNote->u(0x11, 0), base, &next);
    QVERIFY(sub);
    QCOMPARE(next, uint64_t(0));
    QCOMPARE(sub->get(0x0100)->ints(), (std::vector<uint64_t>{500, 600, 700}));
    QCOMPARE(sub->u(0x0101, 0), uint64_t(77));
    // Read without the base, the out-of-line values land elsewhere.
    auto wrong = kaldris::TiffParser::readIfdAt(note, base + tree.makerNote->u(0x11, 0), 0);
    QVERIFY(!wrong || !wrong->get(0x0100) || wrong->get(0x0100)->ints() != std::vector<uint64_t>({500, 600, 700}));
    QVERIFY(!kaldris::TiffParser::readIfdAt(note, w.bytes.size() - 1, 0));
}

void TestMakerNote::noteOutsideStream_data()
{
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<quint64>("length");

    QTest::newRow("length past the end") << quint64(0) << quint64(1);
    QTest::newRow("offset past the end") << quint64(1) << quint64(1);
    QTest::newRow("length wrapping around") << quint64(0) << quint64(UINT64_MAX);
    QTest::newRow("empty") << quint64(0) << quint64(0);
}

// Bounds given by a format's own pointers are checked before any byte is read.
void TestMakerNote::noteOutsideStream()
{
    QFETCH(quint64, offset);
    QFETCH(quint64, length);

    const Written w = writeFile(Layout::Olympus, false, false, "OLYMPUS", 0x2040);
    const kaldris::ByteStream file(w.bytes.data(), w.bytes.size());
    const uint64_t o = offset == 0 ? w.noteOffset : w.bytes.size() + offset;
    const uint64_t n = length == 1 ? w.bytes.size() - w.noteOffset + 1 : length;
    MakerNoteKind kind = MakerNoteKind::Canon;
    QVERIFY(!kaldris::MakerNoteParser::parse(file, o, n, "OLYMPUS", &kind));
    QCOMPARE(int(kind), int(MakerNoteKind::None));
}

// The note's directories count against the file's own IFD limit: a file that
// used it up gets no note rather than more directories.
void TestMakerNote::sharedIfdLimit()
{
    Written w = writeFile(Layout::Canon, false, false, "Canon");
    QVERIFY(parseTree(w.bytes).makerNote);

    TiffFileBuilder file(false);
    file.bytes() = w.bytes;
    TiffIfd tiny(false);
    tiny.addShort(0x0100, 1);
    std::vector<uint32_t> chain{0};
    for (int i = 0; i < kaldris::TiffParser::maxIfds - 2; ++i)
        chain.push_back(file.appendIfd(tiny, chain.back()));
    std::vector<uint8_t> bytes = file.take();
    const uint32_t ifd0NextPos = w.ifd0Offset + 2 + 3 * 12;

    // IFD0, its EXIF IFD and the chain: every directory the limit allows.
    TiffIfd::patch32(bytes, ifd0NextPos, chain.back(), false);
    const kaldris::TiffTree full = parseTree(bytes);
    QCOMPARE(full.chain.size(), size_t(kaldris::TiffParser::maxIfds - 1));
    QVERIFY(full.chain[0]->exif);
    QVERIFY(!full.makerNote);

    // One directory fewer leaves room for the note.
    TiffIfd::patch32(bytes, ifd0NextPos, chain[chain.size() - 2], false);
    const kaldris::TiffTree room = parseTree(bytes);
    QCOMPARE(room.chain.size(), size_t(kaldris::TiffParser::maxIfds - 2));
    QVERIFY(room.makerNote);
}

TW_REGISTER_TEST(TestMakerNote)
#include "TestMakerNote.moc"
