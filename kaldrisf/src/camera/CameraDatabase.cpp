#include "camera/CameraDatabase.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>

// The definition file is assembled into the library's read-only data, so
// nothing is read from disk at run time; CMake passes its path and rebuilds
// this file when the definitions change.
#ifndef KALDRIS_CAMERAS_XML
#error "KALDRIS_CAMERAS_XML must name the camera definition file"
#endif

asm(".pushsection .rodata\n"
    ".globl kaldris_cameras_xml_begin\n"
    ".hidden kaldris_cameras_xml_begin\n"
    ".globl kaldris_cameras_xml_end\n"
    ".hidden kaldris_cameras_xml_end\n"
    "kaldris_cameras_xml_begin:\n"
    ".incbin \"" KALDRIS_CAMERAS_XML "\"\n"
    "kaldris_cameras_xml_end:\n"
    ".popsection\n");

extern "C" {
__attribute__((visibility("hidden"))) extern const char kaldris_cameras_xml_begin[];
__attribute__((visibility("hidden"))) extern const char kaldris_cameras_xml_end[];
}

namespace kaldris {

using namespace Qt::StringLiterals;

namespace {

// Patterns beyond this are no camera's; the bound keeps a hostile size from
// allocating much.
constexpr int maxCfaSide = 64;
constexpr int maxMatrixPlanes = 4;

std::string_view trimmedName(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string lowerMake(std::string_view make)
{
    std::string out(trimmedName(make));
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

std::string nameKey(std::string_view make, std::string_view model, std::string_view mode)
{
    std::string key = lowerMake(make);
    key += '\0';
    key += trimmedName(model);
    key += '\0';
    key += trimmedName(mode);
    return key;
}

std::string aliasKey(std::string_view make, std::string_view alias)
{
    std::string key = lowerMake(make);
    key += '\0';
    key += trimmedName(alias);
    return key;
}

std::string utf8(QStringView s) { return s.toUtf8().toStdString(); }

bool parseInt(QStringView text, int &value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok;
}

bool parseInts(QStringView text, std::vector<int> &values)
{
    values.clear();
    for (QStringView token : text.split(u' ', Qt::SkipEmptyParts)) {
        int v = 0;
        if (!parseInt(token, v))
            return false;
        values.push_back(v);
    }
    return true;
}

// Reads one camera element up to its end tag. Returns false when a part of
// it is malformed; the element is consumed either way, so the next camera
// starts cleanly.
class CameraReader {
public:
    explicit CameraReader(QXmlStreamReader &xml) : xml_(xml) {}

    bool read(CameraEntry &e)
    {
        const QXmlStreamAttributes a = xml_.attributes();
        e.make = utf8(a.value("make"_L1));
        e.model = utf8(a.value("model"_L1));
        e.mode = utf8(a.value("mode"_L1));
        e.supported = utf8(a.value("supported"_L1));
        // An empty model is real: files that carry none are told apart by size hints.
        ok_ = !e.make.empty() && a.hasAttribute("model"_L1);
        while (xml_.readNextStartElement()) {
            const QStringView name = xml_.name();
            if (name == u"ID")
                readId(e);
            else if (name == u"CFA" || name == u"CFA2")
                readCfa(e);
            else if (name == u"Crop")
                readCrop(e);
            else if (name == u"Sensor")
                readSensor(e);
            else if (name == u"BlackAreas")
                readBlackAreas(e);
            else if (name == u"Aliases")
                readAliases(e);
            else if (name == u"Hints")
                readHints(e);
            else if (name == u"ColorMatrices")
                readMatrices(e);
            else
                xml_.skipCurrentElement();
        }
        if (e.idMake.empty())
            e.idMake = e.make;
        if (e.idModel.empty())
            e.idModel = e.model;
        return ok_ && !xml_.hasError();
    }

private:
    int intAttribute(QLatin1StringView name)
    {
        int v = 0;
        if (!parseInt(xml_.attributes().value(name), v))
            ok_ = false;
        return v;
    }

    int optionalIntAttribute(QLatin1StringView name)
    {
        return xml_.attributes().hasAttribute(name) ? intAttribute(name) : 0;
    }

    void readId(CameraEntry &e)
    {
        e.idMake = utf8(xml_.attributes().value("make"_L1));
        e.idModel = utf8(xml_.attributes().value("model"_L1));
        xml_.skipCurrentElement();
    }

    static char colorLetter(QStringView name)
    {
        static const std::pair<const char16_t *, char> names[] = {
            {u"RED", 'R'}, {u"GREEN", 'G'}, {u"BLUE", 'B'}, {u"CYAN", 'C'},
            {u"MAGENTA", 'M'}, {u"YELLOW", 'Y'}, {u"WHITE", 'W'}, {u"FUJI_GREEN", 'E'}};
        for (const auto &[text, letter] : names)
            if (name == QStringView(text))
                return letter;
        return 0;
    }

    static bool isColorLetter(QChar c)
    {
        return c.unicode() < 128 && std::string_view("RGBCMYWE").find(char(c.unicode())) != std::string_view::npos;
    }

    // CFA names one colour a cell; CFA2 may also give whole rows as letters.
    void readCfa(CameraEntry &e)
    {
        const int w = intAttribute("width"_L1), h = intAttribute("height"_L1);
        if (!ok_ || w < 1 || h < 1 || w > maxCfaSide || h > maxCfaSide) {
            ok_ = false;
            xml_.skipCurrentElement();
            return;
        }
        std::vector<char> cells(size_t(w) * size_t(h), 0);
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"Color") {
                const int x = intAttribute("x"_L1), y = intAttribute("y"_L1);
                const char letter = colorLetter(xml_.readElementText().trimmed());
                if (!ok_ || !letter || x < 0 || y < 0 || x >= w || y >= h)
                    ok_ = false;
                else
                    cells[size_t(y) * size_t(w) + size_t(x)] = letter;
            } else if (xml_.name() == u"ColorRow") {
                const int y = intAttribute("y"_L1);
                const QString row = xml_.readElementText().trimmed();
                if (!ok_ || y < 0 || y >= h || row.size() != w || !std::all_of(row.begin(), row.end(), isColorLetter))
                    ok_ = false;
                else
                    for (int x = 0; x < w; ++x)
                        cells[size_t(y) * size_t(w) + size_t(x)] = char(row[x].unicode());
            } else {
                xml_.skipCurrentElement();
            }
        }
        if (std::find(cells.begin(), cells.end(), 0) != cells.end())
            ok_ = false;
        e.cfaWidth = w;
        e.cfaHeight = h;
        e.cfa = std::move(cells);
    }

    void readCrop(CameraEntry &e)
    {
        e.cropX = intAttribute("x"_L1);
        e.cropY = intAttribute("y"_L1);
        e.cropWidth = intAttribute("width"_L1);
        e.cropHeight = intAttribute("height"_L1);
        e.hasCrop = true;
        xml_.skipCurrentElement();
    }

    void readSensor(CameraEntry &e)
    {
        CameraSensor s;
        s.black = intAttribute("black"_L1);
        s.white = intAttribute("white"_L1);
        s.isoMin = optionalIntAttribute("iso_min"_L1);
        s.isoMax = optionalIntAttribute("iso_max"_L1);
        if (!parseInts(xml_.attributes().value("iso_list"_L1), s.isoList)
            || !parseInts(xml_.attributes().value("black_colors"_L1), s.blackColors))
            ok_ = false;
        e.sensors.push_back(std::move(s));
        xml_.skipCurrentElement();
    }

    void readBlackAreas(CameraEntry &e)
    {
        while (xml_.readNextStartElement()) {
            const bool vertical = xml_.name() == u"Vertical";
            if (vertical || xml_.name() == u"Horizontal") {
                const int offset = intAttribute(vertical ? "x"_L1 : "y"_L1);
                const int size = intAttribute(vertical ? "width"_L1 : "height"_L1);
                e.blackAreas.push_back({vertical, offset, size});
            }
            xml_.skipCurrentElement();
        }
    }

    void readAliases(CameraEntry &e)
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() != u"Alias") {
                xml_.skipCurrentElement();
                continue;
            }
            std::string id = utf8(xml_.attributes().value("id"_L1));
            std::string text = utf8(xml_.readElementText());
            if (text.empty()) {
                ok_ = false;
                continue;
            }
            if (id.empty())
                id = text;
            e.aliases.emplace_back(std::move(text), std::move(id));
        }
    }

    void readHints(CameraEntry &e)
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"Hint")
                e.hints.emplace_back(utf8(xml_.attributes().value("name"_L1)), utf8(xml_.attributes().value("value"_L1)));
            xml_.skipCurrentElement();
        }
    }

    // Only the first matrix counts; every plane must be given once, with three values.
    void readMatrices(CameraEntry &e)
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() != u"ColorMatrix" || e.matrixPlanes) {
                xml_.skipCurrentElement();
                continue;
            }
            const int planes = intAttribute("planes"_L1);
            if (!ok_ || planes < 1 || planes > maxMatrixPlanes) {
                ok_ = false;
                xml_.skipCurrentElement();
                continue;
            }
            std::vector<int> matrix(size_t(planes) * 3);
            std::vector<bool> seen(size_t(planes), false);
            while (xml_.readNextStartElement()) {
                if (xml_.name() != u"ColorMatrixRow") {
                    xml_.skipCurrentElement();
                    continue;
                }
                const int plane = intAttribute("plane"_L1);
                std::vector<int> row;
                if (!parseInts(xml_.readElementText(), row) || !ok_ || row.size() != 3 || plane < 0
                    || plane >= planes || seen[size_t(plane)]) {
                    ok_ = false;
                    continue;
                }
                seen[size_t(plane)] = true;
                std::copy(row.begin(), row.end(), matrix.begin() + plane * 3);
            }
            if (std::find(seen.begin(), seen.end(), false) != seen.end())
                ok_ = false;
            e.matrixPlanes = planes;
            e.colorMatrix = std::move(matrix);
        }
    }

    QXmlStreamReader &xml_;
    bool ok_ = true;
};

}

bool CameraEntry::isSupported() const { return supported.empty() || supported == "yes"; }

bool CameraEntry::hint(std::string_view name, std::string *value) const
{
    for (const auto &[n, v] : hints)
        if (n == name) {
            if (value)
                *value = v;
            return true;
        }
    return false;
}

const CameraSensor *CameraEntry::sensorFor(int iso) const
{
    for (const CameraSensor &s : sensors)
        if (std::find(s.isoList.begin(), s.isoList.end(), iso) != s.isoList.end())
            return &s;
    for (const CameraSensor &s : sensors)
        if (s.isoList.empty() && (s.isoMin || s.isoMax) && (!s.isoMin || iso >= s.isoMin) && (!s.isoMax || iso <= s.isoMax))
            return &s;
    for (const CameraSensor &s : sensors)
        if (s.isoList.empty() && !s.isoMin && !s.isoMax)
            return &s;
    return nullptr;
}

bool CameraEntry::cropRect(int rawWidth, int rawHeight, int &x, int &y, int &w, int &h) const
{
    if (!hasCrop)
        return false;
    // 64 bits: the definitions are untrusted text and their sums may overflow int.
    const long long cw = cropWidth > 0 ? cropWidth : (long long)rawWidth - cropX + cropWidth;
    const long long ch = cropHeight > 0 ? cropHeight : (long long)rawHeight - cropY + cropHeight;
    if (cropX < 0 || cropY < 0 || cw <= 0 || ch <= 0 || cropX + cw > rawWidth || cropY + ch > rawHeight)
        return false;
    x = cropX;
    y = cropY;
    w = int(cw);
    h = int(ch);
    return true;
}

const CameraDatabase &CameraDatabase::instance()
{
    static const CameraDatabase db(
        std::string_view(kaldris_cameras_xml_begin, size_t(kaldris_cameras_xml_end - kaldris_cameras_xml_begin)));
    return db;
}

CameraDatabase::CameraDatabase(std::string_view xmlText)
{
    QXmlStreamReader xml(QByteArray::fromRawData(xmlText.data(), qsizetype(xmlText.size())));
    if (!xml.readNextStartElement() || xml.name() != u"Cameras")
        return;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"Camera") {
            xml.skipCurrentElement();
            continue;
        }
        CameraEntry entry;
        if (CameraReader(xml).read(entry))
            addEntry(std::move(entry));
    }
}

// The first definition of a name wins, as it does for an alias.
void CameraDatabase::addEntry(CameraEntry &&entry)
{
    if (!byName_.emplace(nameKey(entry.make, entry.model, entry.mode), entries_.size()).second)
        return;
    for (const auto &[text, id] : entry.aliases)
        byAlias_.emplace(aliasKey(entry.make, text), AliasTarget{entry.model, id});
    entries_.push_back(std::move(entry));
}

const CameraEntry *CameraDatabase::find(std::string_view make, std::string_view model, std::string_view mode,
                                        std::string *idModel) const
{
    auto it = byName_.find(nameKey(make, model, mode));
    const std::string *id = nullptr;
    if (it != byName_.end()) {
        id = &entries_[it->second].idModel;
    } else {
        // An alias may be listed by one mode's entry only: it names the model,
        // and the mode is then looked up under that model.
        const auto alias = byAlias_.find(aliasKey(make, model));
        if (alias == byAlias_.end())
            return nullptr;
        it = byName_.find(nameKey(make, alias->second.model, mode));
        if (it == byName_.end())
            return nullptr;
        id = &alias->second.id;
    }
    if (idModel)
        *idModel = *id;
    return &entries_[it->second];
}

std::vector<std::string> CameraDatabase::supportedCameras(const std::vector<std::string> &idMakes,
                                                          const std::vector<std::string> &fileMakes) const
{
    std::vector<std::string> makes, written;
    for (const std::string &m : idMakes)
        makes.push_back(lowerMake(m));
    for (const std::string &m : fileMakes)
        written.push_back(lowerMake(m));
    std::vector<std::string> lines;
    for (const CameraEntry &e : entries_) {
        if (!e.isSupported() || std::find(makes.begin(), makes.end(), lowerMake(e.idMake)) == makes.end())
            continue;
        if (!written.empty() && std::find(written.begin(), written.end(), lowerMake(e.make)) == written.end())
            continue;
        lines.push_back(e.idMake + ' ' + e.idModel);
        for (const auto &alias : e.aliases)
            lines.push_back(e.idMake + ' ' + alias.second);
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

}
