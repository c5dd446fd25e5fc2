#include "TW_UpdateNotification.h"

#include "UpdateProtocol.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

TW_UpdateNotification::TW_UpdateNotification(const QString &version, QWidget *parent)
    : QDialog(parent), layout(this)
{
    setWindowTitle(tr("Tessivane: new version available"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint);
    setFixedSize(440, 120);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    messageLabel = new QLabel(updateAvailableText(version), this);
    layout.addWidget(messageLabel, 0, 0, 1, 4);
    downloadButton = new QPushButton(tr("Open download page"), this);
    layout.addWidget(downloadButton, 1, 1, 1, 2);
    skipButton = new QPushButton(tr("Skip"), this);
    layout.addWidget(skipButton, 1, 3);
    connect(downloadButton, &QPushButton::pressed, this, &TW_UpdateNotification::DownloadPressed);
    connect(skipButton, &QPushButton::pressed, this, &TW_UpdateNotification::skipPressed);
}

TW_UpdateNotification::~TW_UpdateNotification() = default;

void TW_UpdateNotification::DownloadPressed()
{
    done(1);
}

void TW_UpdateNotification::skipPressed()
{
    done(0);
}
