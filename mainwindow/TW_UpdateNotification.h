// The background check's notice of a new version. Result 1: open the
// download page; 0: skip.
#ifndef TW_UPDATENOTIFICATION_H
#define TW_UPDATENOTIFICATION_H

#include <QDialog>
#include <QGridLayout>
#include <QString>

class QLabel;
class QPushButton;

class TW_UpdateNotification : public QDialog
{
    Q_OBJECT
public:
    TW_UpdateNotification(const QString &version, QWidget *parent = nullptr);
    ~TW_UpdateNotification() override;

    QGridLayout layout;
    QLabel *messageLabel;
    QPushButton *downloadButton;
    QPushButton *skipButton;

public slots:
    void DownloadPressed();
    void skipPressed();
};

#endif
