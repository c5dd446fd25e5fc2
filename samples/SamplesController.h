// The samples of the main window: adding them from the sampler, the
// selection, grid cells and coordinate files, moving, recomputing and
// removing them, their rectangles on the image and the blinking of the
// selected ones. The main window owns it and forwards to it.
#ifndef SAMPLESCONTROLLER_H
#define SAMPLESCONTROLLER_H

#include "GridSampleCell.h"
#include "SampleCoordinatesReader.h"
#include "area_t.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class QWidget;
class SamplesHost;
class SamplesTableData;
class TessivaneSampleWindow;
class TW_Sample;
struct SampleRecord;

class SamplesController : public QObject
{
    Q_OBJECT
public:
    enum class UnsavedAnswer { Save, Discard, Cancel };

    // gridIndices: the main window's corner, walk and naming indices of
    // the last grid conversion; dialogParent parents the message boxes.
    SamplesController(SamplesTableData *data, TessivaneSampleWindow *window, SamplesHost *host,
                      QVector<int> *gridIndices, QWidget *dialogParent);

    // A sample from the sampler or a file (an empty name is made from the
    // rectangle).
    SampleRecord *addSample(const area_t &area, const QString &name);
    // The selection as a sample; it takes over the selection's histogram
    // window slot (-1: none).
    SampleRecord *addSelectionSample(const area_t &area, int histogramSlot);
    // Many file rows at once: measured as a batch behind a progress dialog
    // that can be cancelled, then one insertion, one panel refresh. With
    // clearOld the old samples go first, once rows are measured. False when
    // cancelled: the samples are as they were.
    bool addSamples(const QVector<SampleCoordinatesReader::Row> &rows, bool clearOld = false);
    // A batch larger than this many frames' pixels shows the progress dialog.
    static constexpr int progressFrames = 8;
    // Grid cells in cell-number order. With clearOld the old samples go
    // first; new ids follow the highest one left. openSaveDialog: the grid
    // dialog's "Open Samples Save Dialog" box is ticked and enabled.
    void addGridSamples(const QVector<GridSampleCell> &cells, bool clearOld, const QVector<int> &comboIndices,
                        bool openSaveDialog);
    // A grid's cells in cell-number order (numbers are 1-based places in
    // the walk order, per cell index); cells without a valid number are left out.
    static QVector<GridSampleCell> gridSampleCells(const QVector<QRectF> &cellRois, const QVector<int> &cellNumbers,
                                                   const QVector<QString> &cellNames, const QPointF &gridPosition);
    // The cell's rectangle in frame pixels, cut to the frame; empty (0 x 0)
    // when none of it lies on the frame.
    static area_t gridCellArea(const QRectF &roi, const QPointF &gridPosition, int frameWidth, int frameHeight);

    void sampleMoved(SampleRecord *r);
    void removeSampleRow(int row);
    void removeSamplesOfKind(int kind);
    void removeSampleByItem(TW_Sample *item);
    void rebuildSampleItems();
    void deleteSampleItems();
    void dropSamplesOutsideImage();
    // Every sample moves by the amounts; those whose corner leaves the
    // frame go.
    void shiftSamples(int topShift, int leftShift);
    void recomputeSampleStats();

    void runAnimation(int frame);
    void resetSampleHighlight();
    void removeSelectedSamples();
    void clearSamplesAll();
    QString selectedSamplesHtml() const;
    void clipboardSelectedSamples();

    // The file dialog, then loadSamplesFile.
    void loadSamples(int sidebarMode, const QString &lastFolder);
    // Old samples go (clearExisting) only once a row of the file loads;
    // warns about a file that cannot be read or has rows left out.
    // Returns the number of samples loaded.
    int loadSamplesFile(const QString &path, bool clearExisting);
    static QString loadWarningText(const SampleCoordinatesReader::Result &r);

    // Whether leaving the samples needs the question at all.
    static bool asksAboutUnsaved(bool warnUnsavedSamples, bool dirty, int sampleCount);
    // True to go on. changeOfFile picks the question's text; warn is the
    // "warnUnsavedSamples" preference (false without a store).
    bool checkUnsavedSamples(int changeOfFile, bool warn);

    // The last sample placed with the sampler or loaded, for the panel.
    const SampleRecord *lastPlacedSample() const;

    // Stand-ins for the question and for the save it may run.
    std::function<UnsavedAnswer(bool changeOfFile)> askUnsaved;
    std::function<bool()> saveSamples;

private:
    SampleRecord *newRecord(const area_t &area, const QString &name, int origin);
    TW_Sample *makeItem(SampleRecord *r);
    // Rows out of the table, their rectangles and histogram windows with them.
    void removeRows(const QVector<int> &rows);
    // removeSamplesOfKind without the panel refresh and the dirty flag.
    void removeKind(int kind);
    void finishRemoval();
    void resetGridIndices();
    UnsavedAnswer askWithBox(bool changeOfFile);

    SamplesTableData *data;
    TessivaneSampleWindow *window;
    SamplesHost *host;
    QVector<int> *gridIndices;
    QWidget *dialogParent;
};

#endif
