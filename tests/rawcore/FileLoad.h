// One file through the program's whole non-widget load, as the load tests
// drive it: the outcome, the channel names and what the load reported.
#ifndef FILELOAD_H
#define FILELOAD_H

#include "ChannelNames.h"
#include "PrefStore.h"
#include "RawLoader.h"
#include "RecordingReporter.h"

struct FileLoad {
    RecordingReporter reporter;
    ChannelNames names;
    RawLoader::LoadOutcome out;

    FileLoad(const QString &path, PrefStore &prefs, const LoadContext &context = LoadContext())
    {
        RawLoader loader(&prefs, &reporter);
        out = loader.loadFile(path, true, context, names);
    }
    // The texts of the messages shown, one a line.
    QString messages() const { return reporter.texts.join(QLatin1Char('\n')); }
};

#endif
