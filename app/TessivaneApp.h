// The application object: builds the main window and the splash, settles
// which instance serves the desktop and receives files from later starts.
#ifndef TESSIVANEAPP_H
#define TESSIVANEAPP_H

#include "TW_splash.h"
#include "Tessivane.h"

#include <QApplication>

class FileHandOver;
class QLockFile;

class TessivaneApp : public QApplication
{
    Q_OBJECT
public:
    TessivaneApp(int &argc, char **argv);
    ~TessivaneApp() override;

    bool event(QEvent *e) override;

    // The file is sent only when it exists; true once delivered.
    static bool sendFileToRunningInstance(const QString &path, const QString &channel);

    Tessivane mainWindow;
    TW_splash splash;
    bool exitNow;

public slots:
    void receiveFileMessage(const QString &path);

private:
    // Held by the instance that serves the channel for as long as it runs;
    // unlike shared memory it does not outlive a crashed owner.
    QLockFile *instanceMemory;
    FileHandOver *fileServer;
};

#endif
