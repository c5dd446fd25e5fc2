#include "RawLoader.h"

#include "ChannelNames.h"
#include "ExifBlockParser.h"
#include "KaldrisFrames.h"
#include "LoadReporter.h"
#include "PrefStore.h"
#include "PreferenceDefault.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

bool curveIsIdentity(const ushort *curve, int entries)
{
    for (int i = 0; i < entries; ++i)
        if (curve[i] != i)
            return false;
    return true;
}

}

RawLoader::RawLoader(PrefStore *prefs, LoadReporter *reporter, DecoderFactory factory)
    : prefs(prefs), reporter(reporter), factory(std::move(factory))
{
}

int RawLoader::pref(const char *key) const
{
    return prefs ? prefs->prefValue(QLatin1String(key)) : 0;
}

void RawLoader::status(const QString &text)
{
    if (reporter)
        reporter->showStatus(text);
}

void RawLoader::fail(const QString &title, const QString &text)
{
    if (reporter)
        reporter->showMessage(title, text);
}

bool RawLoader::isArw2(const RawImage &image) const
{
    return image.decoderInfo.decoder_flags & KALDRIS_DECODER_SONYARW2;
}

unsigned RawLoader::processingFlags(PrefStore *prefs)
{
    auto pref = [prefs](const char *key) { return prefs ? prefs->prefValue(QLatin1String(key)) : 0; };
    unsigned flags = 0;
    switch (pref("ARW2SpecialOptions")) {
    case 1: flags |= KALDRIS_PROC_ARW2_BASE_ONLY; break;
    case 2: flags |= KALDRIS_PROC_ARW2_DELTA_ONLY; break;
    case 3: flags |= KALDRIS_PROC_ARW2_DELTA_ZERO; break;
    case 4: flags |= KALDRIS_PROC_ARW2_DELTA_STEP; break;
    default: break;
    }
    if (pref("sigmaQuattroRGInterpolation"))
        flags |= KALDRIS_PROC_SIGMA_RG_INTERP;
    if (pref("sigmaQuattroAFInterpolation"))
        flags |= KALDRIS_PROC_SIGMA_AF_INTERP;
    if (pref("useDNGDefaultCropTags"))
        flags |= KALDRIS_PROC_DNG_DEFAULT_CROP;
    if (pref("useDNGEnhanced"))
        flags |= KALDRIS_PROC_DNG_ENHANCED;
    if (pref("useDNGPreviews"))
        flags |= KALDRIS_PROC_DNG_PREVIEWS;
    flags |= KALDRIS_PROC_ALWAYS_100000;
    const int opcodes = pref("useDNGDOpcodes");
    if (opcodes > 0)
        flags |= KALDRIS_PROC_DNG_STAGE2;
    if (opcodes > 1)
        flags |= KALDRIS_PROC_DNG_STAGE3;
    flags |= KALDRIS_PROC_ALWAYS_10000;
    if (pref("P32_4ShotMerge"))
        flags |= KALDRIS_PROC_4SHOT_MERGE;
    return flags;
}

unsigned RawLoader::dataRangeFor(unsigned maximum)
{
    const unsigned k = unsigned(0.93 * double(maximum));
    unsigned p = 2;
    while (p <= k) {
        p *= 2;
        if (p >= 65537)
            break;
    }
    return p - 1;
}

int RawLoader::clampFrameIndex(int index, unsigned rawCount)
{
    const unsigned last = rawCount ? rawCount - 1 : 0;
    return unsigned(index) > last ? int(last) : index;
}

FrameSelection RawLoader::frameSelection(int selectorIndex, unsigned rawCount)
{
    FrameSelection f;
    const unsigned count = std::min<unsigned>(std::max(rawCount, 1u), unsigned(std::numeric_limits<int>::max()));
    f.index = clampFrameIndex(selectorIndex, count);
    f.frameNumber = f.index + 1;
    f.itemCount = int(count);
    f.enabled = count > 1;
    return f;
}

QString RawLoader::exifSummaryHtml(const Kaldris &decoder)
{
    const kaldris_data_t &d = decoder.imgdata;
    const QString make = RawImage::fixedText(d.idata.make);
    const QString model = RawImage::fixedText(d.idata.model);
    const QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(qint64(d.other.timestamp)), QLocale::ShortFormat);
    const double shutter = d.other.shutter;
    const QString exposure = shutter > 0 && shutter < 1 ? QStringLiteral("1/%1s").arg(1.0 / shutter, 0, 'f', 0)
                                                        : QStringLiteral("%1s").arg(shutter, 0, 'f', 1);
    const double aperture = d.other.aperture;
    const QString fstop = aperture > 0 && aperture < 1000 ? QStringLiteral("f/%1").arg(aperture, 0, 'f', 1) : QString();
    const QString iso = QString::number(double(d.other.iso_speed), 'g', QLocale::FloatingPointShortest);
    // Camera names come from the file: escaped, so they cannot add markup.
    return QStringLiteral("<table><tr><td>%1 %2</td></tr><tr><td>%3</td></tr><tr><td><b>%4 %5 @ISO %6</b></td></tr>%7</table>")
        .arg(make.toHtmlEscaped(), model.toHtmlEscaped(), when, exposure, fstop, iso, opcodeSummaryHtml(d));
}

QString RawLoader::opcodeSummaryHtml(const kaldris_data_t &d)
{
    const kaldris_opcodes_t &ops = d.opcodes;
    if (!ops.count)
        return QString();
    // Runs of the same opcode with the same outcome are one line ("GainMap x4").
    QStringList lines;
    for (unsigned i = 0; i < ops.count;) {
        const kaldris_opcode_note_t &n = ops.notes[i];
        unsigned run = 1;
        while (i + run < ops.count && ops.notes[i + run].id == n.id && ops.notes[i + run].list == n.list
               && ops.notes[i + run].state == n.state)
            ++run;
        const bool rendering = n.list == 3 && n.state == KALDRIS_OPCODE_NOT_REQUESTED;
        lines << QStringLiteral("List %1: %2%3 %4")
                     .arg(n.list)
                     .arg(QString::fromLatin1(Kaldris::opcodeName(n.id)),
                          run > 1 ? QStringLiteral(" x%1").arg(run) : QString(),
                          rendering ? QStringLiteral("applied to the RGB rendering with \"Stage 1, 2 & 3\"")
                                    : QString::fromLatin1(Kaldris::opcodeStateText(n.state)));
        i += run;
    }
    if (ops.more)
        lines << QStringLiteral("%1 more").arg(ops.more);
    for (QString &line : lines)
        line = line.toHtmlEscaped();
    return QStringLiteral("<tr><td>DNG opcodes:<br>%1</td></tr>").arg(lines.join(QStringLiteral("<br>")));
}

QString RawLoader::floatNormalizationText(const RawImage &image)
{
    const float factor = image.data().color.fnorm;
    if (!image.decoder().is_floating_point() || factor == 0)
        return QString();
    return QStringLiteral("FP data normalized: <b>%1</b>").arg(double(factor), 0, 'f', 4);
}

bool RawLoader::checkPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path)) {
        fail(QStringLiteral("File open error"), QStringLiteral("File %1 does not exists").arg(path));
        return false;
    }
    return true;
}

std::unique_ptr<RawImage> RawLoader::openRawFile(const QString &path, const LoadContext &context)
{
    auto image = std::make_unique<RawImage>(factory ? factory() : nullptr);
    Kaldris_fast &decoder = image->decoder();
    kaldris_data_t &d = decoder.imgdata;
    kaldris_output_params_t &params = d.params;
    const QString nativePath = QDir::toNativeSeparators(path);
    auto failOpen = [&](const QString &title, const QString &text) {
        fail(title, text);
        return std::unique_ptr<RawImage>();
    };

    params.user_flip = 0;
    params.user_qual = 0;
    params.threads = context.minThreads;
    if (!context.customCameras.isEmpty()) {
        for (const QString &camera : context.customCameras)
            image->customCameraTexts << camera.toLocal8Bit();
        for (const QByteArray &text : image->customCameraTexts)
            image->customCameraPointers.push_back(text.constData());
        image->customCameraPointers.push_back(nullptr);
        params.custom_camera_strings = image->customCameraPointers.data();
    }
    params.processing_flags = processingFlags(prefs);
    params.use_camera_matrix = pref("rgbColorSource") == 2 ? 3 : 0;
    // The library reads 0 as "no limit"; a hand-edited 0 or below must not
    // switch the limit off.
    const int maxRawMegabytes = pref("d_maxRAWMegabytes");
    params.max_raw_memory_mb = unsigned(maxRawMegabytes > 0 ? maxRawMegabytes
                                                            : PreferenceDefault::defaultFor(QStringLiteral("d_maxRAWMegabytes")));

    if (context.readCancelled)
        *context.readCancelled = false;
    status(QStringLiteral("%1: metadata read").arg(nativePath));

    int rc = decoder.open_qfile(path, 1);
    if (rc != 0)
        return failOpen(QStringLiteral("Raw file open error"),
                        QStringLiteral("Cannot open file %1: <b>%2</b>").arg(path, QString::fromLocal8Bit(Kaldris::strerror(rc))));

    decoder.get_decoder_info(&image->decoderInfo);
    const bool arw2 = isArw2(*image);

    const bool linearCurve = pref("linearRawCurve") != 0;
    params.use_fast_unpacker = pref("useRawSpeed") && !linearCurve ? 1 : 0;
    int sdkMode = pref("useDNGSDK");
    if (pref("useDNGDOpcodes"))
        sdkMode = 2;
    params.dng_sdk_mode = sdkMode == 0 ? 0 : sdkMode == 1 ? (linearCurve ? 0x3b : 0x27) : 0x3b;
    if (pref("srawYcc")) {
        params.processing_flags |= KALDRIS_PROC_SRAW_YCC;
        if (pref("srawYccNoInterpolation"))
            params.processing_flags |= KALDRIS_PROC_SRAW_NO_INTERP;
    }
    const int arw2Options = pref("ARW2SpecialOptions");
    if (arw2 && arw2Options)
        params.use_fast_unpacker = 0;
    params.arw2_delta_threshold = arw2Options == 4 ? pref("ARW2DeltaThreshold") : 0;
    image->curveSaved = 0;
    image->curveBackupValid = 0;

    if (d.idata.raw_count > 1) {
        const int index = clampFrameIndex(context.frameSelectorIndex, d.idata.raw_count);
        params.shot_select = unsigned(index);
        decoder.recycle();
        rc = decoder.open_qfile(path, 1);
        if (rc != 0)
            return failOpen(QStringLiteral("Raw file open error"),
                            QStringLiteral("Cannot open frame %3 from file %1: %2")
                                .arg(path, QString::fromLocal8Bit(Kaldris::strerror(rc)), QString::number(index)));
    }

    if (image->decoderInfo.decoder_flags & KALDRIS_DECODER_HASCURVE) {
        ushort *curve = d.color.curve;
        if (!curveIsIdentity(curve, 16384)) {
            std::copy(curve, curve + RawImage::CurveSize, image->curveBackup.begin());
            if (linearCurve || (arw2 && arw2Options == 3))
                for (int i = 0; i < RawImage::CurveSize; ++i)
                    curve[i] = ushort(i);
            status(QStringLiteral("%1: file open").arg(nativePath));
            image->curveSaved = 1;
            image->curveBackupValid = 1;
        }
    }
    status(QStringLiteral("%1: file open").arg(nativePath));
    params.coolscan_gamma = float(pref("coolscanGamma")) / 1000.0f;

    if (decoder.is_jpeg_thumb()) {
        kaldris_imgother_t &other = d.other;
        if (other.shutter == 0 || other.aperture == 0 || other.iso_speed == 0 || int(other.iso_speed) == 65535) {
            if (decoder.unpack_thumb() == 0 && d.thumbnail.tformat == KALDRIS_THUMBNAIL_JPEG && d.thumbnail.thumb) {
                ExifBlockParser exif;
                if (exif.parseJpegExif(reinterpret_cast<const uchar *>(d.thumbnail.thumb), d.thumbnail.tlength) == 0) {
                    if (other.shutter == 0)
                        other.shutter = float(exif.exposureTime);
                    if (other.aperture == 0)
                        other.aperture = float(exif.fNumber);
                    if (other.iso_speed == 0 || int(other.iso_speed) == 65535)
                        other.iso_speed = float(exif.isoSpeed);
                }
            }
        }
    }

    rc = decoder.unpack();
    if (rc != 0)
        return failOpen(QStringLiteral("Raw file unpack error"),
                        QStringLiteral("Cannot unpack file %1: %2 or unsupported file format")
                            .arg(path, QString::fromLocal8Bit(Kaldris::strerror(rc))));
    if (d.decode_errors > 0)
        fail(QStringLiteral("Raw file decode error(s)"),
             QStringLiteral("File %1 decoded with errors. Broken file or unsupported file format").arg(path));
    if (d.progress_flags & KALDRIS_STATE_CURVE_NOT_USED) {
        image->curveSaved = 0;
        image->curveBackupValid = 0;
    }
    if (decoder.is_floating_point())
        decoder.convertFloatToInt(float(pref("FPRangeMin")), float(pref("FPRangeMax")), float(pref("FPRangeTo")));
    if (!image->curveBackupValid && !curveIsIdentity(d.color.curve, 16384)) {
        std::copy(d.color.curve, d.color.curve + RawImage::CurveSize, image->curveBackup.begin());
        image->curveBackupValid = 1;
    }
    image->countCfaColours();
    status(QStringLiteral("%1: data unpacked").arg(nativePath));

    if (pref("removeZeroes") && d.color.zero_is_bad) {
        const int cleared = decoder.clearZeroPixels();
        qDebug() << "Pixels cleared:" << cleared;
    }
    image->dataRange = dataRangeFor(d.color.maximum);
    image->infoHtml = exifSummaryHtml(decoder);

    const kaldris_image_sizes_t &sizes = d.sizes;
    image->filtersCopy = d.idata.filters;
    image->rotatedLayout = sizes.rotated_layout;
    image->rotatedWidth = sizes.rotated_width;
    if (image->rotatedWidth) {
        image->visibleWidth = image->rotatedWidth * (image->rotatedLayout == 0 ? 2 : 1);
        image->visibleHeight = int(sizes.raw_height) - 2 * int(sizes.top_margin);
    } else {
        image->visibleWidth = sizes.width;
        image->visibleHeight = sizes.height;
    }

    const kaldris_rawdata_t &raw = d.rawdata;
    const int components = raw.raw_image ? 1 : raw.color3_image ? 3 : raw.color4_image ? 4 : 0;
    if (components) {
        // Everything that measures or renders trusts these sizes, so a frame
        // that does not lie inside the decoder's buffer is refused here.
        const uint64_t rowBytes = uint64_t(sizes.raw_width) * 2 * unsigned(components);
        const bool fits = sizes.raw_width > 0 && sizes.raw_height > 0 && sizes.raw_pitch >= rowBytes
            && image->visibleWidth > 0 && image->visibleHeight > 0
            && uint64_t(sizes.left_margin) + uint64_t(image->visibleWidth) <= sizes.raw_width
            && uint64_t(sizes.top_margin) + uint64_t(image->visibleHeight) <= sizes.raw_height;
        if (!fits)
            return failOpen(QStringLiteral("Raw file open error"),
                            QStringLiteral("Cannot open file %1: <b>the image area lies outside the raw data</b>").arg(path));
    }

    const size_t bytes = size_t(sizes.raw_pitch) * size_t(sizes.raw_height);
    // A spare frame of the last image when one fits: no fresh pages to
    // clear. Not zeroed; prepareRawData fills every byte.
    image->workingBuffer = bytes ? kaldris::allocateFrame(bytes) : nullptr;
    if (!image->workingBuffer)
        return failOpen(QStringLiteral("Memory allocation error"),
                        QStringLiteral("Cannot unpack file %1: Not enough memory<p>Close other programs and restart Tessivane").arg(path));
    image->workingBufferSize = bytes;

    switch (components) {
    case 1:
        image->view1 = static_cast<ushort *>(image->workingBuffer);
        break;
    case 3:
        image->view3 = static_cast<ushort(*)[3]>(image->workingBuffer);
        break;
    case 4:
        image->view4 = static_cast<ushort(*)[4]>(image->workingBuffer);
        break;
    default:
        return failOpen(QStringLiteral("Raw file open error"),
                        QStringLiteral("Only Bayer-pattern, grayscale and 3/4-color Raw files supported, sorry"));
    }

    // Until the main window picks its frame: the visible area.
    image->frameWidth = image->visibleWidth;
    image->frameHeight = image->visibleHeight;
    image->frameOriginCol = sizes.left_margin;
    image->frameOriginRow = sizes.top_margin;
    image->cfaPattern = image->filtersCopy;
    image->path = path;
    return image;
}

void RawLoader::nameChannels(RawImage &image, ChannelNames &names) const
{
    if (image.decoder().is_sraw() && pref("srawYcc"))
        names.setYCbCr();
    else
        names.setFromDescription(image.cfaColourCount, image.data().idata.cdesc);
}

void RawLoader::setFrameSize(RawImage &image)
{
    const kaldris_image_sizes_t &sizes = image.data().sizes;
    if (pref("maskedPixels")) {
        image.frameWidth = sizes.raw_width;
        image.frameHeight = sizes.raw_height;
        image.frameOriginCol = 0;
        image.frameOriginRow = 0;
        image.currentMaximum = image.rawMaximum;
    } else {
        image.frameWidth = image.visibleWidth;
        image.frameHeight = image.visibleHeight;
        image.frameOriginCol = sizes.left_margin;
        image.frameOriginRow = sizes.top_margin;
        image.currentMaximum = image.visibleMaximum;
    }
    image.shiftCfaPattern();
}

void RawLoader::setDecoderBlackParams(RawImage &image)
{
    kaldris_output_params_t &params = image.decoder().imgdata.params;
    const bool skip = isArw2(image) && pref("ARW2SpecialOptions") > 2;
    if (pref("subtractBlack") && !skip) {
        const int method = pref("subtractBlackMethod");
        if (method == 1) {
            params.user_black = pref("blManualLevel");
            std::fill(std::begin(params.user_cblack), std::end(params.user_cblack), -1000001);
        } else if (method == 2) {
            params.user_black = 0;
            for (int i = 0; i < 4; ++i)
                params.user_cblack[i] = pref(QStringLiteral("BL%1").arg(i).toLatin1().constData());
        } else {
            params.user_black = -1;
            std::fill(std::begin(params.user_cblack), std::end(params.user_cblack), -1000001);
        }
    } else {
        params.user_black = 0;
        std::fill(std::begin(params.user_cblack), std::end(params.user_cblack), 0);
    }
}

void RawLoader::phaseOneSubtractBlack(RawImage &image)
{
    Kaldris_fast &decoder = image.decoder();
    kaldris_rawdata_t &raw = decoder.imgdata.rawdata;
    ushort *original = static_cast<ushort *>(raw.raw_alloc);
    raw.raw_image = static_cast<ushort *>(image.workingBuffer);
    setDecoderBlackParams(image);
    decoder.adjust_bl();
    if (original && original != image.workingBuffer)
        decoder.phase_one_subtract_black(original, static_cast<ushort *>(image.workingBuffer));
    if (pref("p1Correction"))
        decoder.phase_one_correct();
}

void RawLoader::resetBlackLevelsFromFile(RawImage &image, int channelCount)
{
    Kaldris_fast &decoder = image.decoder();
    int level;
    QVector<int> perChannel(4);
    if (decoder.is_phaseone_compressed()) {
        level = decoder.get_phaseone_blacklevel();
        perChannel.fill(level);
    } else {
        int values[5] = {0, 0, 0, 0, 0};
        decoder.get_other_blacklevel(values, channelCount);
        for (int i = 0; i < 4; ++i)
            perChannel[i] = values[i];
        level = values[4];
    }
    if (prefs)
        prefs->setBlackLevelsFromFile(level, perChannel);
    if (reporter)
        reporter->refreshInfoLabels();
}

QString RawLoader::blackLevelText(RawImage *image, int channelCount, QVector<int> *levels)
{
    if (levels)
        levels->clear();
    if (!prefs || !pref("subtractBlack") || (image && isArw2(*image) && pref("ARW2SpecialOptions") >= 3))
        return QStringLiteral("Off");
    auto list = [&](const int *values, int n, bool automatic) {
        QStringList parts;
        for (int i = 0; i < n; ++i) {
            parts << QString::number(values[i]);
            if (levels)
                levels->append(values[i]);
        }
        const QString inner = QStringLiteral("(%1)").arg(parts.join(QLatin1Char(',')));
        return automatic ? QStringLiteral("Auto ") + inner : inner;
    };
    const int method = pref("subtractBlackMethod");
    if (method == 1) {
        const int level = pref("blManualLevel");
        if (levels)
            levels->append(level);
        return QStringLiteral("Manual: %1").arg(level);
    }
    if (method == 2) {
        const QVector<int> manual = prefs->blackLevelsFromPrefs();
        int values[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4 && i < manual.size(); ++i)
            values[i] = manual[i];
        return list(values, channelCount < 3 ? 1 : channelCount == 3 ? 3 : 4, false);
    }
    if (!image)
        return QStringLiteral("Auto");
    Kaldris_fast &decoder = image->decoder();
    if (decoder.is_phaseone_compressed()) {
        const int level = decoder.get_phaseone_blacklevel();
        return list(&level, 1, true);
    }
    int values[5] = {0, 0, 0, 0, 0};
    decoder.get_other_blacklevel(values, channelCount);
    const int n = channelCount < 3 ? 1 : channelCount == 3 ? 3 : 4;
    const bool equal = std::all_of(values, values + n, [&](int v) { return v == values[0]; });
    return list(values, equal ? 1 : n, true);
}

QString RawLoader::curveModeText(bool curveLabelEnabled)
{
    if (!curveLabelEnabled)
        return QString();
    return pref("linearRawCurve") ? QStringLiteral("Linear") : QStringLiteral("Normal");
}

DisplayModeDecision RawLoader::prepareRawData(RawImage &image, const LoadContext &context, const ImageStep &renderRGB)
{
    DisplayModeDecision decision;
    if (!image.workingBuffer)
        return decision;
    decision.prepared = true;
    Kaldris_fast &decoder = image.decoder();
    kaldris_data_t &d = decoder.imgdata;

    const void *source = image.decoderData();
    if (!source)
        std::memset(image.workingBuffer, 0, image.workingBufferSize);
    if (source == image.workingBuffer)
        source = nullptr;
    const bool arw2Special = isArw2(image) && pref("ARW2SpecialOptions") >= 3;
    const bool phaseOne = decoder.is_phaseone_compressed();
    const bool bands = pref("subtractBlack") && !phaseOne && !arw2Special
        && size_t(d.sizes.raw_height) * d.sizes.raw_pitch <= image.workingBufferSize;
    if (bands) {
        // The bands copy their own rows: one pass over the data, not two.
        image.subtractBlackLevels(prefs, context.idealThreads, context.minThreads, context.bandRows, source);
    } else {
        if (source)
            std::memcpy(image.workingBuffer, source, std::min(image.workingBufferSize, size_t(d.sizes.raw_height) * d.sizes.raw_pitch));
        if (pref("subtractBlack") && phaseOne)
            phaseOneSubtractBlack(image);
    }
    decoder.adjust_sizes_info_only();

    if (decoder.is_sraw() && pref("srawYcc")) {
        decision.ycbcrChannels = true;
        return decision;
    }
    const uint64_t megapixels = uint64_t(d.sizes.raw_height) * d.sizes.raw_width / 1000000;
    const bool rgbAllowed = !image.rotatedWidth && d.sizes.iwidth == d.sizes.width && d.sizes.iheight == d.sizes.height
        && int64_t(megapixels) < int64_t(pref("maxRGBMegapixels"));
    decision.compositeEnabled = true;
    if (!rgbAllowed) {
        decision.rgbToComposite = true;
        return decision;
    }
    if (arw2Special) {
        d.params.no_auto_bright = 1;
        d.params.no_auto_scale = 1;
        d.params.output_color = 0;
    }
    if (renderRGB)
        renderRGB(image);
    const int colours = image.processedImage ? image.processedImage->colors : 0;
    decision.rgbEnabled = colours == 1 || colours == 3;
    decision.rgbToComposite = !decision.rgbEnabled;
    return decision;
}

RawLoader::LoadOutcome RawLoader::loadFile(const QString &path, bool resetBlackLevels, const LoadContext &context,
                                           ChannelNames &names, const Hooks &hooks)
{
    LoadOutcome outcome;
    if (!checkPath(path))
        return outcome;
    std::unique_ptr<RawImage> image = openRawFile(path, context);
    if (!image)
        return outcome;
    nameChannels(*image, names);
    if (reporter)
        reporter->refreshInfoLabels();
    outcome.frame = frameSelection(context.frameSelectorIndex, image->data().idata.raw_count);
    image->path = path;
    image->frameNumber = outcome.frame.frameNumber;
    if (hooks.computeRawMaximum)
        hooks.computeRawMaximum(*image);
    setFrameSize(*image);
    if (resetBlackLevels && pref("resetBLOnLoad"))
        resetBlackLevelsFromFile(*image, names.count);
    outcome.display = prepareRawData(*image, context, hooks.renderRGB);
    if (hooks.computeExposureLevels)
        hooks.computeExposureLevels(*image);
    outcome.image = std::move(image);
    return outcome;
}
