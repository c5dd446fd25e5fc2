// Help > "Check for updates": waits for the manual request's reply and says
// what it found. Results: 0 cancelled, 1 open the download page, 2 skip, 3 OK.
#ifndef TW_UPDATEDIALOG_H
#define TW_UPDATEDIALOG_H

#include <QByteArray>
#include <QDialog>
#include <QGridLayout>
#include <QMutex>
#include <QString>

class QLabel;
class QPushButton;
class TW_updates;

class TW_UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    enum Result { Cancelled = 0, OpenDownloadPage = 1, Skipped = 2, Confirmed = 3 };

    TW_UpdateDialog(TW_updates *downloader, const QString &requestUrl, QWidget *parent = nullptr);
    ~TW_UpdateDialog() override;

    TW_updates *downloader;
    QGridLayout layout;
    QLabel *messageLabel;
    QPushButton *downloadButton;
    QPushButton *skipButton;
    QPushButton *cancelButton;
    QPushButton *okButton;
    QMutex cancelMutex;
    QString requestUrl;

    QString downloadUrl() const { return downloadAddress; }
    // No check address is set: nothing to wait for.
    void showNoService();

public slots:
    void downloaded(QByteArray data, QString error = QString());
    void cancelPressed();
    void downloadPressed();
    void skipPressed();
    void okPressed();
    // Escape cancels as the button does, so no request outlives the dialog.
    void reject() override;

private:
    void showResult(const QString &title, const QString &message, bool offerDownload);

    QString downloadAddress;
    bool cancelled = false;
};

#endif
