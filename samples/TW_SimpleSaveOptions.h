// An options group that only holds the widgets its user puts in `layout`.
#ifndef TW_SIMPLESAVEOPTIONS_H
#define TW_SIMPLESAVEOPTIONS_H

#include "TW_GenericSaveOptions.h"

class QVBoxLayout;

class TW_SimpleSaveOptions : public TW_GenericSaveOptions
{
    Q_OBJECT
public:
    explicit TW_SimpleSaveOptions(QWidget *parent = nullptr);
    explicit TW_SimpleSaveOptions(const QString &title, QWidget *parent = nullptr);

    bool validateOptions() override { return true; }

    QVBoxLayout *layout;
};

#endif
