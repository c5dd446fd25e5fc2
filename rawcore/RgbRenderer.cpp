#include "RgbRenderer.h"

#include "ChannelNames.h"
#include "LoadReporter.h"
#include "PrefStore.h"
#include "RawImage.h"
#include "RawLoader.h"

#include <algorithm>
#include <charconv>
#include <cstring>

bool isListedSigmaModel(const char *make, const char *model)
{
    if (!make || !model)
        return false;
    if (std::strcmp(make, "Polaroid") == 0)
        return std::strcmp(model, "x530") == 0;
    if (std::strcmp(make, "Sigma") == 0)
        for (const char *listed : {"SD9", "SD10", "SD14", "SD15"})
            if (std::strcmp(model, listed) == 0)
                return true;
    return false;
}

namespace {

// The shortest text that reads back as the same float.
QString shortestFloat(float value)
{
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general);
    return QString::fromLatin1(text, int(result.ptr - text));
}

}

QString cameraInfoLine(const kaldris_data_t &d, const QVector<int> &levels, const QStringList &channelNames)
{
    const float shutter = d.other.shutter;
    const bool fraction = shutter > 0 && shutter < 1;
    QStringList levelTexts;
    for (int level : levels)
        levelTexts << QString::number(level);
    QString line = QStringLiteral("CameraMake='%1' CameraModel='%2' ISO=%3 Shutter=%4%5 Aperture=f/%6 BlackLevel=%7 Channels=%8")
                       .arg(RawImage::fixedText(d.idata.make), RawImage::fixedText(d.idata.model),
                            shortestFloat(d.other.iso_speed), fraction ? QStringLiteral("1/") : QString(),
                            QString::number(fraction ? 1.0 / double(shutter) : double(shutter), 'f', 0),
                            QString::number(double(d.other.aperture), 'f', 1), levelTexts.join(QLatin1Char(',')),
                            channelNames.join(QString()));
    long long average = 0;
    for (int level : levels)
        average += level / int(levels.size());
    const unsigned linearMax = d.color.linear_max[0];
    if (linearMax > 0 && (long long)linearMax > (long long)(d.color.maximum / 3) - average)
        line += QStringLiteral(" LinearMax=%1").arg(linearMax);
    return line;
}

QString cameraInfoLine(const kaldris_data_t &d, const QVector<int> &levels, const ChannelNames &names)
{
    return cameraInfoLine(d, levels, names.names);
}

RgbRenderer::RgbRenderer(PrefStore *prefs, LoadReporter *reporter) : prefs(prefs), reporter(reporter) {}

int RgbRenderer::pref(const char *key) const
{
    return prefs ? prefs->prefValue(QLatin1String(key)) : 0;
}

void RgbRenderer::status(const QString &text)
{
    if (reporter)
        reporter->showStatus(text);
}

int RgbRenderer::outputSpaceFor(int rgbColorSource, int rgbOutputSpace)
{
    return rgbColorSource ? std::clamp(rgbOutputSpace, 0, 3) + 1 : 0;
}

double RgbRenderer::gammaPowerFor(int outputSpace, bool brightenOn, double brightenValue)
{
    const double base = outputSpace < 3 ? 2.2 : 1.8;
    if (brightenOn && brightenValue != 0)
        return 1.0 / (std::clamp(brightenValue, 0.0, 3.0) + base);
    return 1.0 / base;
}

void RgbRenderer::setRenderOptions(RawImage &image, bool brightenOn, double brightenValue)
{
    kaldris_data_t &d = image.decoder().imgdata;
    kaldris_output_params_t &p = d.params;
    const bool arw2Special = (image.decoderInfo.decoder_flags & KALDRIS_DECODER_SONYARW2) && pref("ARW2SpecialOptions") >= 3;

    if (d.idata.is_foveon && isListedSigmaModel(d.idata.make, d.idata.model)) {
        p.use_auto_wb = 1;
        p.use_camera_wb = 0;
    } else {
        const int wb = pref("whiteBalance");
        p.use_camera_wb = wb == 1;
        p.use_auto_wb = wb == 2;
    }
    // The loader switched auto-brightness off for this data; keep it so.
    if (!arw2Special)
        p.no_auto_bright = pref("rgbAutoscale") == 0 ? 1 : 0;
    p.auto_bright_thr = float(pref("RGBAutoScaleThr")) / 1000.0f;
    const int maxOverride = pref("RGBMaxOverride");
    p.user_sat = pref("enableRGBMaxOverride") && maxOverride > 0 ? maxOverride : -1;
    const int colorSource = pref("rgbColorSource");
    if (!arw2Special)
        p.output_color = outputSpaceFor(colorSource, pref("rgbOutputSpace"));
    p.use_camera_matrix = colorSource == 2 ? 3 : 0;
    p.gamm[0] = gammaPowerFor(p.output_color, brightenOn, brightenValue);
    p.gamm[1] = 0;
    RawLoader(prefs, nullptr).setDecoderBlackParams(image);
}

bool RgbRenderer::renderRGB(RawImage &image, bool brightenOn, double brightenValue)
{
    status(QStringLiteral("RGB rendering"));
    setRenderOptions(image, brightenOn, brightenValue);
    Kaldris_fast &decoder = image.decoder();
    if (decoder.dcraw_process() != KALDRIS_SUCCESS) {
        // Nothing of an earlier rendering may stay on show.
        Kaldris::dcraw_clear_mem(image.processedImage);
        image.processedImage = nullptr;
    } else {
        // Reuses the previous block, or releases it when it fails.
        image.processedImage = decoder.dcraw_make_mem_image_ex(image.processedImage, nullptr);
    }
    decoder.free_image();
    status(QString());
    return image.processedImage != nullptr;
}
