#include "TW_splash.h"

#include "Tessivane.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QTimer>

namespace {

// Guards `started`: the timer and a FileOpen event may both ask to hand over.
QMutex runMainWindowMutex;

}

TW_splash::TW_splash(TessivaneApp *app, Tessivane *mainWindow)
    : QDialog(nullptr), app(app), mainWindow(mainWindow), escapeBlocked(1), started(false)
{
    setMinimumSize(550, 300);
    setMaximumSize(550, 300);
    setWindowFlags(Qt::SplashScreen);
    setStyleSheet(QStringLiteral("QDialog {border: 4px solid black;}"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    layout = new QGridLayout(this);
    logoLabel = new QLabel(QStringLiteral("<img align=center src=\":/icons/DELTA_3_256_TW.png\">"), this);
    layout->addWidget(logoLabel, 0, 0, 6, 1);

    creditsLabel = new QLabel(creditsHtml(), this);
    creditsLabel->setOpenExternalLinks(true);
    layout->addWidget(creditsLabel, 1, 1);

    licenceLink = new QLabel(QStringLiteral("<a href=#>Licensing Information</a>"), this);
    licenceLink->setAlignment(Qt::AlignCenter);
    if (mainWindow)
        connect(licenceLink, &QLabel::linkActivated, mainWindow, &Tessivane::showLicense);
    layout->addWidget(licenceLink, 2, 1);

    auto *buttons = new QGridLayout;
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setMaximumWidth(100);
    buttons->addWidget(okButton, 0, 0, Qt::AlignCenter);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    okButton->hide();
    layout->addLayout(buttons, 5, 1);

    QTimer::singleShot(2000, this, &TW_splash::runMainWindow);
}

TW_splash::~TW_splash() = default;

QString TW_splash::creditsHtml()
{
    const QString arch = sizeof(void *) == 8 ? QStringLiteral("x64") : QStringLiteral("x32");
    return QStringLiteral(
               "<div style=\"font-family: Tahoma, 'Sans Serif'; color: black; margin-left: 10px; "
               "margin-right: 10px;\">"
               "<p align=center style=\"font-size: 24px;\"><b>Tessivane</b></p>"
               "<p align=center style=\"font-size: 14px;\">Camera raw data inspector</p>"
               "<p align=center style=\"font-size: 12px;\">Kaldris LLC</p>"
               "<p align=center style=\"font-size: 12px;\">Version %4 Build %5 (%6)</p>"
               "</div>")
        .arg(QStringLiteral("1.4.1 Release"))
        .arg(683)
        .arg(arch);
}

void TW_splash::runMainWindow()
{
    {
        QMutexLocker lock(&runMainWindowMutex);
        if (started)
            return;
        started = true;
    }
    // The lock is not held while the file opens: opening processes events,
    // and a FileOpen event arriving then comes back here.
    okButton->show();
    hide();
    if (mainWindow) {
        if (!mainWindow->isVisible())
            mainWindow->showAsLastSaved();
        mainWindow->openStartFile();
    }
}

void TW_splash::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape) {
        event->ignore();
        return;
    }
    if (escapeBlocked) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
