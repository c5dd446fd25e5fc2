// A histogram window: one plot per channel of an area of the current image,
// on a linear or an EV x-axis, with its CSV and picture outputs. The
// binning and plotting live in HistogramBinning and HistogramPainter.
#ifndef TESSIVANEHISTOGRAMWINDOW_H
#define TESSIVANEHISTOGRAMWINDOW_H

#include "HistogramBinning.h"
#include "HistogramPainter.h"

#include <QDialog>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class BlockableSpinBox;
class HistogramHost;
class QCheckBox;
class QComboBox;
class QGraphicsPixmapItem;
class QGraphicsScene;
class QGridLayout;
class QGroupBox;
class QLocale;
class QPixmap;
class QPushButton;
class TW_HistView;
struct HistogramData;

class TessivaneHistogramWindow : public QDialog
{
    Q_OBJECT
public:
    TessivaneHistogramWindow(HistogramData *data, int slot, QRect savedGeometry, HistogramHost *mainWindow,
                             QWidget *parent = nullptr);
    ~TessivaneHistogramWindow() override;

    // The placement of a new window: the saved rectangle when it is larger
    // than 10 x 10 and lies on one of the screens, else the default on
    // `screen` (the one holding (1, 1), or the primary one).
    static QRect initialGeometry(const QRect &saved, const QList<QRect> &screens, const QRect &screen);

    HistogramHost *mainWindow;
    int linearAutoScaleMax = 0;
    HistogramData *data;
    int slot;
    HistogramBinning axis;
    QString sampleName;
    int ev0Level = -1;

    // What the save dialogs ask for.
    struct SaveRequest {
        QString caption, proposedName, filter, defaultSuffix, folder;
    };
    // Returns the chosen path or an empty string; tests replace it.
    std::function<QString(const SaveRequest &)> chooseSavePath;

    void refreshHistogram();
    void updateWindowTitle();
    void setEv0FromLevel(int level);
    QStringList sourceLabels() const;
    bool hasData() const;

    QString defaultExportFileName(const QString &extension) const;
    void writeHistogramCsv(const QString &path);
    void writeRawDataCsv(const QString &path);
    void renderHistogramImage(const QString &path);
    void paintChannelHistogram(QPixmap &target, int channel, const ColorTable &colors) const;
    // The numbers of the histogram CSV: the system locale with
    // "useRegionalSettings" on, else "C".
    QLocale csvLocale() const;

    void syncControls();
    void loadHistogramSettings();
    void saveHistogramSettings();

    // The controls, for the main window's tests and the picture page.
    QGroupBox *linearGroup, *evGroup, *evGridGroup, *yGroup;
    QPushButton *saveCsvButton, *savePngButton, *saveFullDataButton;
    QCheckBox *evAuto, *linearAuto, *yAuto, *updateLinearScale, *evGridAuto, *yGrid;
    BlockableSpinBox *ev0, *linearFrom, *linearTo, *evFrom, *evTo, *linearBin, *yMax;
    QComboBox *evBinCombo, *evGridCombo, *yScaleCombo;
    TW_HistView *view;
    QGraphicsScene *scene;

signals:
    void histogramClosed(int slot);

public slots:
    void saveRAWCSV();
    void saveCSV();
    void saveGraph();
    void redraw();
    void updateLinearBin();
    void updateLinearFrom();
    void updateLinearTo();
    void linearModeSelected();
    void photoModeSelected();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void connectControls();
    // Between the spin boxes and combos and the binning's copy of them.
    void readAxis();
    void writeAxis();
    void layoutPlots();
    int usedChannels() const;
    bool averagesGreens() const;
    HistogramPlotOptions plotOptions() const;
    int prefValue(const char *key) const;
    bool remembersSettings() const;
    QString askSavePath(const QString &caption, const QString &proposed, const QString &filter,
                        const QString &suffix);
    void showWriteError(const QString &title, const QString &format, const QString &path, const QString &reason);

    QGridLayout *layout;
    QGraphicsPixmapItem *plotItems[5] = {};
    bool loading = false;
};

#endif
