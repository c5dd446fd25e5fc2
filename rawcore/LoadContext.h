// The main-window state that loading reads, handed over as plain values.
#ifndef LOADCONTEXT_H
#define LOADCONTEXT_H

#include <QStringList>

struct LoadContext {
    int frameSelectorIndex = -1;  // -1: the selector is empty
    QStringList customCameras;    // empty: the library's own list only
    int idealThreads = 1;
    int minThreads = 1;
    int bandRows = 256;
    bool *readCancelled = nullptr;  // reset when a read starts
};

#endif
