// The splash shown while the main window gets ready; later the About box.
#ifndef TW_SPLASH_H
#define TW_SPLASH_H

#include <QDialog>

class QGridLayout;
class QLabel;
class QPushButton;
class Tessivane;
class TessivaneApp;

class TW_splash : public QDialog
{
    Q_OBJECT
public:
    TW_splash(TessivaneApp *app, Tessivane *mainWindow);
    ~TW_splash() override;

    TessivaneApp *app;
    Tessivane *mainWindow;
    QGridLayout *layout;
    QPushButton *okButton;
    QLabel *logoLabel;
    QLabel *creditsLabel;
    QLabel *licenceLink;
    int escapeBlocked;
    bool started;

    static QString creditsHtml();

public slots:
    void runMainWindow();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

#endif
