// How the per-pixel jobs may split their work: read once on the GUI thread
// and handed to every job.
#ifndef THREADSETTINGS_H
#define THREADSETTINGS_H

#include <QThread>

struct ThreadSettings {
    int bandRows = 256;            // rows per band of the parallel jobs
    int idealThreads = 1;          // processor threads
    int parallelMinThreads = 1;    // split only with more threads than this

    bool threadingAllowed() const { return idealThreads > parallelMinThreads; }

    static ThreadSettings fromSystem()
    {
        ThreadSettings s;
        s.idealThreads = QThread::idealThreadCount();
        return s;
    }
};

#endif
