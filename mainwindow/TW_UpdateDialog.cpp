#include "TW_UpdateDialog.h"

#include "TW_updates.h"
#include "UpdateProtocol.h"

#include <QLabel>
#include <QPushButton>

TW_UpdateDialog::TW_UpdateDialog(TW_updates *downloader, const QString &requestUrl, QWidget *parent)
    : QDialog(parent), downloader(downloader), layout(this), requestUrl(requestUrl)
{
    setMinimumSize(440, 120);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint);
    setWindowTitle(tr("Tessivane: update check"));

    messageLabel = new QLabel(tr("Downloading update data...."), this);
    // Every text shown is HTML with anything from outside escaped; as
    // automatic text an escaped error without tags showed "&amp;".
    messageLabel->setTextFormat(Qt::RichText);
    messageLabel->setWordWrap(true);
    layout.addWidget(messageLabel, 0, 0, 1, 5);
    cancelButton = new QPushButton(tr("Cancel"), this);
    layout.addWidget(cancelButton, 1, 4);
    okButton = new QPushButton(tr("OK"), this);
    layout.addWidget(okButton, 1, 4);
    okButton->hide();
    downloadButton = new QPushButton(tr("Open download page"), this);
    layout.addWidget(downloadButton, 1, 3);
    downloadButton->hide();
    skipButton = new QPushButton(tr("Skip"), this);
    layout.addWidget(skipButton, 1, 4);
    skipButton->hide();

    connect(cancelButton, &QPushButton::pressed, this, &TW_UpdateDialog::cancelPressed);
    connect(okButton, &QPushButton::pressed, this, &TW_UpdateDialog::okPressed);
    connect(downloadButton, &QPushButton::pressed, this, &TW_UpdateDialog::downloadPressed);
    connect(skipButton, &QPushButton::pressed, this, &TW_UpdateDialog::skipPressed);
}

TW_UpdateDialog::~TW_UpdateDialog()
{
    if (cancelMutex.tryLock(1000))
        cancelMutex.unlock();
}

void TW_UpdateDialog::showResult(const QString &title, const QString &message, bool offerDownload)
{
    cancelButton->hide();
    setWindowTitle(title);
    messageLabel->setText(message);
    downloadButton->setVisible(offerDownload);
    skipButton->setVisible(offerDownload);
    okButton->setVisible(!offerDownload);
}

void TW_UpdateDialog::showNoService()
{
    showResult(tr("Tessivane: update check"), tr("No update service is configured."), false);
}

void TW_UpdateDialog::downloaded(QByteArray data, QString error)
{
    if (cancelled)
        return;
    if (!error.isEmpty()) {
        showResult(tr("Tessivane: update check failed"), tr("Update check failed: %1").arg(wrappableHtml(error)),
                   false);
        return;
    }
    const QMap<QString, QString> reply = parseUpdateReply(data);
    if (reply.contains(QStringLiteral("URL"))) {
        downloadAddress = reply.value(QStringLiteral("URL"));
        showResult(tr("Tessivane: new version available"), updateAvailableText(reply.value(QStringLiteral("VERSION"))),
                   isWebAddress(downloadAddress));
    } else {
        showResult(tr("Tessivane: up to date"), tr("Your Tessivane is up to date"), false);
    }
}

void TW_UpdateDialog::cancelPressed()
{
    {
        QMutexLocker lock(&cancelMutex);
        cancelled = true;
        if (downloader)
            downloader->abortRequest(1);
    }
    done(Cancelled);
}

void TW_UpdateDialog::downloadPressed()
{
    done(OpenDownloadPage);
}

void TW_UpdateDialog::skipPressed()
{
    done(Skipped);
}

void TW_UpdateDialog::okPressed()
{
    done(Confirmed);
}

void TW_UpdateDialog::reject()
{
    cancelPressed();
}
