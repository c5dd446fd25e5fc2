// The record of one loaded raw file: the decoder with its untouched data, the
// working copy that black is subtracted from and everything measures, the
// visible-area geometry, maxima and the short metadata text.
#ifndef RAWIMAGE_H
#define RAWIMAGE_H

#include "FrameView.h"
#include "Kaldris.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <cstring>
#include <memory>
#include <vector>

class PrefStore;

class RawImage
{
public:
    static constexpr int CurveSize = 0x10000;
    using BlackRows = std::vector<std::vector<ushort>>;

    // Without a decoder a Kaldris_fast(0) is made; tests hand in stand-ins.
    explicit RawImage(std::unique_ptr<Kaldris_fast> decoder = {});
    ~RawImage();
    RawImage(const RawImage &) = delete;
    RawImage &operator=(const RawImage &) = delete;

    // Frame: the area shown and measured, in raw coordinates.
    int frameWidth = 0, frameHeight = 0;
    int frameOriginCol = 0, frameOriginRow = 0;
    int curveSaved = 0;
    int curveBackupValid = 0;
    int cfaColourCount = 0;
    ushort *view1 = nullptr;
    ushort (*view3)[3] = nullptr;
    ushort (*view4)[4] = nullptr;
    void *workingBuffer = nullptr;   // raw pitch x raw height bytes, owned
    size_t workingBufferSize = 0;
    kaldris_processed_image_t *processedImage = nullptr;  // owned, released through the library
    std::vector<ushort> curveBackup;
    unsigned filtersCopy = 0;
    unsigned cfaPattern = 0;         // filtersCopy re-shifted to the frame origin
    int rotatedWidth = 0, rotatedLayout = 0;
    int visibleWidth = 0, visibleHeight = 0;
    unsigned visibleMaximum = 0, rawMaximum = 0;
    unsigned currentMaximum = 0;
    unsigned dataRange = 0;
    int frameNumber = 1;
    kaldris_decoder_info_t decoderInfo{nullptr, 0};
    QString path;
    QString infoHtml;
    // Keeps the custom camera texts alive while the decoder points at them.
    QList<QByteArray> customCameraTexts;
    std::vector<const char *> customCameraPointers;

    // A text field of the decoder's data block (make, model), which a
    // hostile file may leave without its terminating zero.
    template <size_t N> static QString fixedText(const char (&chars)[N])
    {
        return QString::fromLatin1(chars, qsizetype(strnlen(chars, N)));
    }

    Kaldris_fast &decoder() const { return *decoderObject; }
    const kaldris_data_t &data() const { return decoderObject->imgdata; }

    // 1, 3 or 4 values a pixel; 0 before the views are set.
    int components() const;
    // The decoder's buffer of this record's layout as unpacked. The Phase One
    // path points the decoder's 1-component buffer at the working copy, so
    // then the original allocation is the source.
    const void *decoderData() const;

    // [0..3] the level of colour 0..3, [4] 1 when the decoder's black pattern
    // is still to be subtracted position by position.
    QVector<int> blackLevels(PrefStore *prefs) const;
    // With a source (the decoder's data, raw pitch x raw height bytes) each
    // band first copies its rows from it, so the copy runs in the same pass.
    void subtractBlackLevels(PrefStore *prefs, int idealThreads, int minThreads, int bandRows,
                             const void *source = nullptr);
    // rows: amounts from blackRowTable, built once for all bands; built
    // here when not given. deltas: the file's per-row and per-column black
    // offsets are subtracted too (levels from the file).
    void subtractBlackRows(int firstRow, int lastRow, const int *levels, const void *source = nullptr,
                           const BlackRows *rows = nullptr, bool deltas = false);
    // The black method takes the file's levels and the file has row or column offsets.
    bool usesFileDeltas(PrefStore *prefs) const;
    // The subtraction amounts of a position-by-position pattern, one row for
    // each kind of row (row index modulo the table size); empty when the
    // pattern is not applied or repeats too slowly for a table.
    BlackRows blackRowTable(const int *levels) const;

    // Colour index at a frame position; rawColorAt at a raw position.
    int fcolorAt(int row, int column) const;
    int fcolorRotated(int row, int column) const;
    int rawColorAt(int rawRow, int rawColumn) const;
    void countCfaColours();
    unsigned shiftCfaPattern();
    bool isBayerImage() const;

    FrameView frameView(int channels) const;

    // The decoder's black pattern: height, width and values (raw
    // coordinates); 0 x 0 when there is none or it does not fit cblack.
    int blackPatternHeight() const;
    int blackPatternWidth() const;
    const unsigned *blackPattern() const { return data().color.cblack + 6; }

private:
    std::unique_ptr<Kaldris_fast> decoderObject;
};

#endif
