// Drives the modal dialogs that a piece of work opens: every 20 ms the
// active modal widget goes to `act`, which ends it when it has seen what it
// waits for. A dialog still open after the time limit is closed, so a
// failing test ends instead of hanging.
#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalDriver
{
public:
    // Returns false when a dialog had to be closed for time.
    static bool run(const std::function<void()> &work, const std::function<void(QWidget *)> &act,
                    int limitMs = 15000)
    {
        bool inTime = true;
        QElapsedTimer clock;
        clock.start();
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&]() {
            QWidget *w = QApplication::activeModalWidget();
            if (!w)
                return;
            if (clock.elapsed() > limitMs) {
                inTime = false;
                w->close();
                return;
            }
            act(w);
        });
        timer.start();
        work();
        return inTime;
    }
};

#endif
