// The update downloader. For now only the signal the main window wires; the
// update check builds on it.
#ifndef TW_UPDATES_H
#define TW_UPDATES_H

#include <QByteArray>
#include <QObject>

class TW_updates : public QObject
{
    Q_OBJECT
public:
    explicit TW_updates(QObject *parent = nullptr);
    ~TW_updates() override;

signals:
    void ev_downloaded(QByteArray data, int kind);
};

#endif
