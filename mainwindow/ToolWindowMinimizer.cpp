#include "ToolWindowMinimizer.h"

void ToolWindowMinimizer::addToolWindow(QWidget *window)
{
    if (window && !toolWindows().contains(window))
        windows.append(window);
}

QList<QWidget *> ToolWindowMinimizer::toolWindows() const
{
    QList<QWidget *> list;
    for (const QPointer<QWidget> &w : windows)
        if (w)
            list.append(w.data());
    return list;
}

void ToolWindowMinimizer::mainWindowStateChanged(bool enabled, Qt::WindowStates oldState,
                                                 Qt::WindowStates newState, QList<Record> &records) const
{
    if (!enabled) {
        records.clear();
        return;
    }
    const bool wasMinimized = oldState.testFlag(Qt::WindowMinimized);
    const bool isMinimized = newState.testFlag(Qt::WindowMinimized);
    if (!wasMinimized && isMinimized) {
        for (QWidget *w : toolWindows()) {
            Record record;
            if (w->isVisible() && !w->isMinimized()) {
                record = {w, w->windowState()};
                w->setWindowState(w->windowState() | Qt::WindowMinimized);
            }
            records.append(record);
        }
    } else if (wasMinimized && !isMinimized) {
        for (const Record &record : records)
            if (record.window)
                record.window->setWindowState(record.state & ~Qt::WindowMinimized);
        records.clear();
    }
}
