// The options group under a save or load dialog; the dialog asks it to
// check its settings before it accepts a file.
#ifndef TW_GENERICSAVEOPTIONS_H
#define TW_GENERICSAVEOPTIONS_H

#include <QGroupBox>

class TW_GenericSaveOptions : public QGroupBox
{
    Q_OBJECT
public:
    explicit TW_GenericSaveOptions(QWidget *parent = nullptr) : QGroupBox(parent) {}
    TW_GenericSaveOptions(const QString &title, QWidget *parent = nullptr) : QGroupBox(title, parent) {}

    // False keeps the file dialog open; the options tell the user why.
    virtual bool validateOptions() = 0;
};

#endif
