// What a histogram window reads from and tells the main window.
#ifndef HISTOGRAMHOST_H
#define HISTOGRAMHOST_H

#include "ChannelNames.h"
#include "ColorTable.h"

#include <QString>
#include <QVector>

class PrefStore;

class HistogramHost
{
public:
    virtual ~HistogramHost();
    // Null while there is no settings store.
    virtual PrefStore *histogramSettings() const = 0;
    virtual const ChannelNames &histogramChannelNames() const = 0;
    virtual ColorTable histogramColors() const = 0;
    // The loaded file's name without folder; empty without a file.
    virtual QString histogramFileName() const = 0;
    virtual QString histogramTitleText() = 0;
    virtual QString histogramStatusText() = 0;
    virtual QString histogramBlackLevelText() = 0;
    virtual QString histogramCurveText() = 0;
    virtual bool histogramSrawYcc() const = 0;
    // The family chosen by "HistogramFont".
    virtual QString histogramFontFamily() const = 0;
    virtual QString histogramLastFolder() const = 0;
    virtual void histogramSetLastFolder(const QString &path) = 0;
};

#endif
