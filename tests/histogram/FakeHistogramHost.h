// A main window stand-in for histogram windows: its own settings store
// (never loaded from or saved to disk) and fixed texts.
#ifndef FAKEHISTOGRAMHOST_H
#define FAKEHISTOGRAMHOST_H

#include "HistogramHost.h"
#include "PrefStore.h"

class FakeHistogramHost : public HistogramHost
{
public:
    FakeHistogramHost() : store(false, false)
    {
        names.count = 4;
        names.isRGB = true;
        names.names = {QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B"), QStringLiteral("G2")};
        colors = channelColorTable(Qt::black, QColor(QStringLiteral("#f0f0f0")));
    }
    PrefStore *histogramSettings() const override { return withStore ? &store : nullptr; }
    const ChannelNames &histogramChannelNames() const override { return names; }
    ColorTable histogramColors() const override { return colors; }
    QString histogramFileName() const override { return fileName; }
    QString histogramTitleText() override { return title; }
    QString histogramStatusText() override { return QStringLiteral("Make Model, ISO: 100"); }
    QString histogramBlackLevelText() override { return QStringLiteral("128"); }
    QString histogramCurveText() override { return QStringLiteral("Linear"); }
    bool histogramSrawYcc() const override { return srawYcc; }
    QString histogramFontFamily() const override { return QStringLiteral("Courier"); }
    QString histogramLastFolder() const override { return lastFolder; }
    void histogramSetLastFolder(const QString &path) override { lastFolder = path; }

    mutable PrefStore store;
    bool withStore = true;
    ChannelNames names;
    ColorTable colors;
    QString fileName = QStringLiteral("IMG_0001.DNG");
    QString title;
    QString lastFolder;
    bool srawYcc = false;
};

#endif
