#include "StartDecision.h"

namespace {

bool startsSeparately(const QStringList &arguments)
{
    return arguments.size() > 2
        && arguments.at(1).compare(QLatin1String("-newinstance"), Qt::CaseInsensitive) == 0;
}

}

StartDecision StartDecision::decide(const QStringList &arguments, bool otherInstanceRunning,
                                    bool runSingleInstance,
                                    const std::function<bool(const QString &)> &fileExists)
{
    StartDecision d;
    if (!otherInstanceRunning) {
        d.kind = FirstInstance;
        d.fileIndex = startsSeparately(arguments) ? 2 : 1;
        return d;
    }
    if (!runSingleInstance) {
        // "-newinstance" has no meaning here and is taken as a file name.
        d.kind = SeparateInstance;
        d.fileIndex = 1;
        return d;
    }
    if (startsSeparately(arguments)) {
        d.kind = SeparateInstance;
        d.fileIndex = 2;
        return d;
    }
    d.fileIndex = 1;
    if (arguments.size() >= 2 && fileExists && fileExists(arguments.at(1))) {
        d.kind = HandOver;
        d.handOverPath = arguments.at(1);
    } else {
        d.kind = ExitNow;
    }
    return d;
}

StartDecision StartDecision::afterFailedHandOver(const StartDecision &handOver)
{
    StartDecision d = handOver;
    if (d.kind == HandOver) {
        d.kind = SeparateInstance;
        d.handOverPath.clear();
    }
    return d;
}
