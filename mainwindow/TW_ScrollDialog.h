// A scrolling text viewer with one OK button: the camera list and the
// licence text.
#ifndef TW_SCROLLDIALOG_H
#define TW_SCROLLDIALOG_H

#include <QDialog>
#include <QString>

class QGridLayout;
class QLabel;
class QPushButton;
class QScrollArea;

class TW_ScrollDialog : public QDialog
{
    Q_OBJECT
public:
    TW_ScrollDialog(const QString &text, const QString &title, QWidget *parent, int minWidth, int minHeight);
    ~TW_ScrollDialog() override;

    QGridLayout *layout;
    QPushButton *okButton;
    QScrollArea *scrollArea;
    QLabel *textLabel;

public slots:
    void OKpressed();
};

#endif
