// Opens a stand-in decoder through the loader, as the main window would.
#ifndef STANDINLOAD_H
#define STANDINLOAD_H

#include "RawLoader.h"
#include "StandInDecoder.h"

#include <memory>

inline RawLoader::DecoderFactory standInFactory(const StandInSetup &setup)
{
    return [setup] { return std::unique_ptr<Kaldris_fast>(new StandInDecoder(setup)); };
}

inline std::unique_ptr<RawImage> openStandIn(const StandInSetup &setup, PrefStore *prefs, LoadReporter *reporter = nullptr,
                                             const LoadContext &context = LoadContext())
{
    RawLoader loader(prefs, reporter, standInFactory(setup));
    return loader.openRawFile(QStringLiteral("/stand-in/file.dng"), context);
}

inline StandInDecoder &standIn(RawImage &image)
{
    return static_cast<StandInDecoder &>(image.decoder());
}

#endif
