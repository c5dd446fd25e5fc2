// Takes the tool windows along when the main window is minimised and
// restored. The windows are held as QPointers: one closed and deleted while
// the main window is minimised is skipped on restore.
#ifndef TOOLWINDOWMINIMIZER_H
#define TOOLWINDOWMINIMIZER_H

#include <QList>
#include <QPointer>
#include <QWidget>

class ToolWindowMinimizer
{
public:
    struct Record {
        QPointer<QWidget> window;
        Qt::WindowStates state;
    };

    // Tool windows in the order they are minimised; a window deleted later
    // drops out by itself. Adding one twice keeps the first place.
    void addToolWindow(QWidget *window);
    QList<QWidget *> toolWindows() const;

    // The main window's state went from `oldState` to `newState`. With
    // `enabled` ("onMainWindowMinimize") off the records are only dropped.
    void mainWindowStateChanged(bool enabled, Qt::WindowStates oldState, Qt::WindowStates newState,
                                QList<Record> &records) const;

private:
    QList<QPointer<QWidget>> windows;
};

#endif
