// What a start does about other running instances, decided from the command
// line alone so it can be checked without starting a second process.
#ifndef STARTDECISION_H
#define STARTDECISION_H

#include <QStringList>

#include <functional>

struct StartDecision {
    enum Kind {
        FirstInstance,     // no other instance: serve later starts
        SeparateInstance,  // another runs, this one goes on beside it
        HandOver,          // give handOverPath to the running one, then end
        ExitNow,           // another runs and there is nothing to hand over
    };

    Kind kind = FirstInstance;
    // Index of the file argument; at or past the argument count: none.
    int fileIndex = 1;
    QString handOverPath;

    // The process ends with exit code 1 without an event loop.
    bool exits() const { return kind == HandOver || kind == ExitNow; }

    // arguments[0] is the program. "-newinstance" (any case) followed by a
    // path keeps this start separate from a running instance.
    static StartDecision decide(const QStringList &arguments, bool otherInstanceRunning,
                                bool runSingleInstance,
                                const std::function<bool(const QString &)> &fileExists);

    // A hand-over that could not be delivered: the start goes on with the
    // file as an instance of its own instead of dropping it.
    static StartDecision afterFailedHandOver(const StartDecision &handOver);
};

#endif
