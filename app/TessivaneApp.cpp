#include "TessivaneApp.h"

#include "FileHandOver.h"
#include "StartDecision.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QIcon>
#include <QLockFile>

namespace {

bool isExistingFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

}

TessivaneApp::TessivaneApp(int &argc, char **argv)
    : QApplication(argc, argv), mainWindow(), splash(this, &mainWindow), exitNow(false),
      instanceMemory(nullptr), fileServer(nullptr)
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/tessivane_64.png")));

    const QString channel = FileHandOver::channelName();
    instanceMemory = new QLockFile(FileHandOver::lockPath(channel));
    // Age never makes the lock stale; a dead owner does.
    instanceMemory->setStaleLockTime(0);
    const bool lockHeld = instanceMemory->tryLock(0);
    const bool otherRunning = !lockHeld && FileHandOver::isServerReachable(channel);
    const bool single = mainWindow.prefPane && mainWindow.mainPrefValue("runSingleInstance") != 0;

    const QStringList args = QCoreApplication::arguments();
    StartDecision decision = StartDecision::decide(args, otherRunning, single, isExistingFile);
    if (decision.kind == StartDecision::HandOver) {
        if (sendFileToRunningInstance(decision.handOverPath, channel)) {
            exitNow = true;
            return;
        }
        decision = StartDecision::afterFailedHandOver(decision);
    }
    if (decision.kind == StartDecision::ExitNow) {
        // A start that only ends would look like nothing happened.
        if (otherRunning)
            FileHandOver::sendText(channel, FileHandOver::raiseRequest());
        exitNow = true;
        return;
    }

    if (decision.kind == StartDecision::FirstInstance) {
        if (!lockHeld) {
            // Another process holds the lock without serving: run beside it.
            qDebug() << "Unable to create single instance.";
        } else {
            fileServer = new FileHandOver(this);
            connect(fileServer, &FileHandOver::textReceived, this, &TessivaneApp::receiveFileMessage);
            if (!fileServer->listen(channel))
                qDebug() << "Unable listen Socket";
        }
    }
    if (!lockHeld) {
        delete instanceMemory;
        instanceMemory = nullptr;
    }

    mainWindow.splash = &splash;

    bool shown = false;
    if (decision.fileIndex < args.size()) {
        const QString file = QDir::fromNativeSeparators(args.at(decision.fileIndex));
        if (isExistingFile(file)) {
            mainWindow.setStartFile(QFileInfo(file).absoluteFilePath());
            mainWindow.showAsLastSaved();
            shown = true;
        }
    }
    if (!shown)
        splash.show();

    mainWindow.systemPaletteChanged(palette(), true);
}

TessivaneApp::~TessivaneApp()
{
    // Stop serving before the lock goes, so a new start never finds our
    // socket without an owner.
    delete fileServer;
    fileServer = nullptr;
    delete instanceMemory;
    instanceMemory = nullptr;
}

bool TessivaneApp::sendFileToRunningInstance(const QString &path, const QString &channel)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    return FileHandOver::sendText(channel, info.absoluteFilePath());
}

void TessivaneApp::receiveFileMessage(const QString &path)
{
    if (path == FileHandOver::raiseRequest()) {
        QWidget *shown = splash.isVisible() ? static_cast<QWidget *>(&splash) : &mainWindow;
        if (shown->isMinimized())
            shown->showNormal();
        shown->raise();
        shown->activateWindow();
        return;
    }
    if (!path.isEmpty())
        mainWindow.openDroppedFile(path);
}

bool TessivaneApp::event(QEvent *e)
{
    if (e->type() == QEvent::FileOpen) {
        mainWindow.openFile(static_cast<QFileOpenEvent *>(e)->file());
        if (splash.isVisible())
            splash.runMainWindow();
        return true;
    }
    if (e->type() == QEvent::ApplicationPaletteChange) {
        QMetaObject::invokeMethod(
            &mainWindow, [this]() { mainWindow.systemPaletteChanged(palette(), false); },
            Qt::QueuedConnection);
    }
    return QApplication::event(e);
}
