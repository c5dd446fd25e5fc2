// A main window over a sandboxed settings folder, and small generated DNGs.
#ifndef MAINWINDOWFIXTURE_H
#define MAINWINDOWFIXTURE_H

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class MainWindowFixture
{
public:
    MainWindowFixture()
    {
        for (QSettings::Format f : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(f, QSettings::UserScope, dir.filePath(QStringLiteral("user")));
            QSettings::setPath(f, QSettings::SystemScope, dir.filePath(QStringLiteral("system")));
        }
    }
    bool isValid() const { return dir.isValid(); }
    QString path(const QString &name) const { return dir.filePath(name); }

    struct Frame {
        int width, height;
        unsigned short base;   // samples are base + (x + y) % 1000
    };
    // A CFA DNG with the frames in SubIFDs, 16-bit uncompressed; empty on failure.
    QString writeDng(const QString &name, const std::vector<Frame> &frames);
    // One such frame with the sample at (x, y) given by `value`.
    QString writeDngOf(const QString &name, int width, int height, const std::function<unsigned short(int, int)> &value);

    // Runs `work` while closing every modal box it opens; returns their count.
    static int closingMessageBoxes(const std::function<void()> &work)
    {
        int closed = 0;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&closed]() {
            // Message boxes only: a progress dialog that stays up longer
            // than a tick on a busy machine is the work itself, not a box.
            if (auto *w = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                w->close();
                ++closed;
            }
        });
        timer.start();
        work();
        return closed;
    }

private:
    QString writeFrames(const QString &name, const std::vector<Frame> &frames,
                        const std::vector<std::function<unsigned short(int, int)>> &values);
    QTemporaryDir dir;
};

#endif
