// Opening a raw file into a RawImage and preparing its working copy, without
// any widget: the main window supplies the preferences, a LoadReporter for
// its status label and message boxes, and its state as a LoadContext.
#ifndef RAWLOADER_H
#define RAWLOADER_H

#include "DisplayModeDecision.h"
#include "FrameSelection.h"
#include "LoadContext.h"
#include "RawImage.h"

#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class ChannelNames;
class LoadReporter;
class PrefStore;

class RawLoader
{
public:
    using DecoderFactory = std::function<std::unique_ptr<Kaldris_fast>()>;
    using ImageStep = std::function<void(RawImage &)>;

    // The steps of a load that belong to other parts of the program.
    struct Hooks {
        ImageStep computeRawMaximum;      // fills the visible-area and whole-raw maxima
        ImageStep renderRGB;              // fills the processed image
        ImageStep computeExposureLevels;
    };

    struct LoadOutcome {
        std::unique_ptr<RawImage> image;  // null: the load failed, the previous image stays
        FrameSelection frame;
        DisplayModeDecision display;
    };

    // prefs and reporter may be null (no store: every option reads 0).
    RawLoader(PrefStore *prefs, LoadReporter *reporter, DecoderFactory factory = {});

    // The whole non-widget load: path check, open, channel names, frame
    // number, maxima, frame, black levels from the file, working copy.
    LoadOutcome loadFile(const QString &path, bool resetBlackLevels, const LoadContext &context,
                         ChannelNames &names, const Hooks &hooks = {});

    // The pieces, for a main window that interleaves its own steps.
    bool checkPath(const QString &path);
    std::unique_ptr<RawImage> openRawFile(const QString &path, const LoadContext &context);
    void nameChannels(RawImage &image, ChannelNames &names) const;
    static FrameSelection frameSelection(int selectorIndex, unsigned rawCount);
    DisplayModeDecision prepareRawData(RawImage &image, const LoadContext &context, const ImageStep &renderRGB);

    void setFrameSize(RawImage &image);
    void setDecoderBlackParams(RawImage &image);
    void phaseOneSubtractBlack(RawImage &image);
    void resetBlackLevelsFromFile(RawImage &image, int channelCount);

    // image may be null; levels, when given, receives the values shown.
    QString blackLevelText(RawImage *image, int channelCount, QVector<int> *levels = nullptr);
    QString curveModeText(bool curveLabelEnabled);

    static unsigned dataRangeFor(unsigned maximum);
    // Unsigned comparison: an empty selector's -1 also becomes the last frame.
    static int clampFrameIndex(int index, unsigned rawCount);
    static QString exifSummaryHtml(const Kaldris &decoder);
    // The DNG opcodes the library found and what it did with each; empty without any.
    static QString opcodeSummaryHtml(const kaldris_data_t &d);
    // The status line after a file is open: the normalisation factor of
    // floating-point data, else empty.
    static QString floatNormalizationText(const RawImage &image);
    static unsigned processingFlags(PrefStore *prefs);

private:
    int pref(const char *key) const;
    void status(const QString &text);
    void fail(const QString &title, const QString &text);
    bool isArw2(const RawImage &image) const;

    PrefStore *prefs;
    LoadReporter *reporter;
    DecoderFactory factory;
};

#endif
