#include "SamplesController.h"

#include "SampleRecord.h"
#include "SampleTexts.h"
#include "SamplesHost.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "TW_FileDialog.h"
#include "TW_Sample.h"
#include "TW_SaveDialog.h"
#include "TW_SimpleSaveOptions.h"
#include "TessivaneSampleWindow.h"
#include "TessivaneTableView.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

SamplesController::SamplesController(SamplesTableData *data, TessivaneSampleWindow *window, SamplesHost *host,
                                     QVector<int> *gridIndices, QWidget *dialogParent)
    : QObject(nullptr), data(data), window(window), host(host), gridIndices(gridIndices), dialogParent(dialogParent)
{
}

// ------------------------------------------------------------------ adding

SampleRecord *SamplesController::newRecord(const area_t &area, const QString &name, int origin)
{
    auto *r = new SampleRecord;
    r->area = area;
    r->name = name;
    r->origin = origin;
    return r;
}

TW_Sample *SamplesController::makeItem(SampleRecord *r)
{
    QGraphicsItem *parent = host->sampleParentItem();
    if (!parent)
        return nullptr;
    auto *item = new TW_Sample(QRectF(r->area.left, r->area.top, r->area.width, r->area.height), parent, 0.5f);
    item->record = r;
    item->mainWindow = host;
    r->item = item;
    return item;
}

void SamplesController::resetGridIndices()
{
    if (gridIndices)
        *gridIndices = QVector<int>(3, -1);
}

SampleRecord *SamplesController::addSample(const area_t &area, const QString &name)
{
    SampleRecord *r = newRecord(area, name, SampleRecord::Placed);
    host->measureSamples({r});
    makeItem(r);
    window->model->appendSample(r);
    window->showNewRows();
    resetGridIndices();
    host->updateSamplePanel();
    return r;
}

SampleRecord *SamplesController::addSelectionSample(const area_t &area, int histogramSlot)
{
    SampleRecord *r = newRecord(area, QString(), SampleRecord::FromSelection);
    r->histogramSlot = histogramSlot;
    host->measureSamples({r});
    makeItem(r);
    window->model->appendSample(r);
    window->showNewRows();
    resetGridIndices();
    return r;
}

bool SamplesController::addSamples(const QVector<SampleCoordinatesReader::Row> &rows, bool clearOld)
{
    if (rows.isEmpty())
        return true;
    QVector<SampleRecord *> records;
    records.reserve(rows.size());
    qint64 pixels = 0;
    for (const auto &row : rows) {
        records << newRecord(row.area, row.name, SampleRecord::Placed);
        pixels += qint64(row.area.width) * row.area.height;
    }
    // Pieces of about a frame's pixels, each measured on all cores: between
    // them the dialog shows progress and takes a cancel.
    const QSize frame = host->sampleFrameSize();
    const qint64 piecePixels = std::max<qint64>(qint64(frame.width()) * frame.height(), 4096);
    std::unique_ptr<QProgressDialog> progress;
    if (pixels > progressFrames * piecePixels) {
        progress = std::make_unique<QProgressDialog>(tr("Measuring %1 samples...").arg(records.size()), tr("Cancel"),
                                                     0, int(records.size()), dialogParent);
        progress->setWindowTitle(tr("Loading samples"));
        progress->setWindowModality(Qt::ApplicationModal);
        progress->setMinimumDuration(0);
        progress->show();
    }
    for (qsizetype done = 0; done < records.size();) {
        qsizetype end = done;
        qint64 piece = 0;
        while (end < records.size() && (end == done || piece < piecePixels)) {
            piece += qint64(records[end]->area.width) * records[end]->area.height;
            ++end;
        }
        host->measureSamples(records.mid(done, end - done));
        done = end;
        if (progress) {
            progress->setValue(int(done));
            QCoreApplication::processEvents();
            if (progress->wasCanceled()) {
                qDeleteAll(records);
                return false;
            }
        }
    }
    progress.reset();
    if (clearOld)
        removeKind(0);
    for (SampleRecord *r : std::as_const(records))
        makeItem(r);
    window->model->appendSamples(records);
    window->showNewRows();
    resetGridIndices();
    host->updateSamplePanel();
    return true;
}

QVector<GridSampleCell> SamplesController::gridSampleCells(const QVector<QRectF> &cellRois,
                                                          const QVector<int> &cellNumbers,
                                                          const QVector<QString> &cellNames,
                                                          const QPointF &gridPosition)
{
    const int n = int(cellRois.size());
    QVector<int> inverse(n, -1);
    for (int u = 0; u < n && u < cellNumbers.size(); ++u) {
        const int k = cellNumbers[u] - 1;
        if (k >= 0 && k < n)
            inverse[k] = u;
    }
    QVector<GridSampleCell> cells;
    cells.reserve(n);
    for (int k = 0; k < n; ++k) {
        const int u = inverse[k];
        if (u < 0)
            continue;
        GridSampleCell c;
        c.number = k + 1;
        c.name = u < cellNames.size() ? cellNames[u] : QString();
        c.roi = cellRois[u];
        c.gridPosition = gridPosition;
        cells << c;
    }
    return cells;
}

area_t SamplesController::gridCellArea(const QRectF &roi, const QPointF &gridPosition, int frameWidth,
                                       int frameHeight)
{
    // Line intersections of a whole-pixel grid land a hair below whole
    // numbers; truncating those would cut a pixel off or shift the cell.
    // 64 bits: a cell far off the image must not wrap around.
    auto whole = [](double v) {
        const double up = std::ceil(v);
        return qint64(up - v < 1e-6 ? up : v);
    };
    qint64 width = whole(roi.width());
    qint64 height = whole(roi.height());
    qint64 top = whole(roi.y() + gridPosition.y());
    qint64 left = whole(roi.x() + gridPosition.x());
    const qint64 w = frameWidth, h = frameHeight;
    // The cell cut to the frame; a cell off the frame keeps nothing (a
    // strip at the edge would measure pixels the cell does not cover).
    const qint64 right = std::min(left + width, w), bottom = std::min(top + height, h);
    left = std::clamp<qint64>(left, 0, std::max<qint64>(w, 0));
    top = std::clamp<qint64>(top, 0, std::max<qint64>(h, 0));
    width = right - left;
    height = bottom - top;
    if (width <= 0 || height <= 0)
        return area_t{};
    area_t a;
    a.top = int(std::max<qint64>(top, 0));
    a.left = int(std::max<qint64>(left, 0));
    a.width = int(std::max<qint64>(width, 0));
    a.height = int(std::max<qint64>(height, 0));
    return a;
}

void SamplesController::addGridSamples(const QVector<GridSampleCell> &cells, bool clearOld,
                                       const QVector<int> &comboIndices, bool openSaveDialog)
{
    if (clearOld)
        clearSamplesAll();
    if (gridIndices) {
        QVector<int> indices = comboIndices.mid(0, 3);
        while (indices.size() < 3)
            indices << -1;
        *gridIndices = indices;
    }
    int highestId = 0;
    for (const SampleRecord *r : std::as_const(data->samples))
        highestId = std::max(highestId, r->id);
    const QSize frame = host->sampleFrameSize();
    QVector<SampleRecord *> records;
    records.reserve(cells.size());
    for (int k = 0; k < cells.size(); ++k) {
        const GridSampleCell &cell = cells.at(k);
        const area_t area = gridCellArea(cell.roi, cell.gridPosition, frame.width(), frame.height());
        // A cell with nothing on the image is no sample; its id stays unused.
        if (area.width <= 0 || area.height <= 0)
            continue;
        SampleRecord *r = newRecord(area, cell.name, SampleRecord::FromGrid);
        r->id = highestId + k + 1;
        records << r;
    }
    host->measureSamples(records);
    window->model->appendSamples(records);
    if (!window->isVisible())
        host->showSamplesWindow();
    window->showNewRows();
    if (openSaveDialog && gridIndices)
        window->saveSamples(*gridIndices);
}

// ------------------------------------------------------ moving, recomputing

void SamplesController::sampleMoved(SampleRecord *r)
{
    if (!r || !r->item)
        return;
    const int row = int(data->samples.indexOf(r));
    r->area.left = int(r->item->rect().x() + r->item->pos().x());
    r->area.top = int(r->item->rect().y() + r->item->pos().y());
    host->measureSamples({r});
    if (r->nameGenerated)
        r->name = SampleTexts::generatedName(r->area);
    window->model->rowsChanged(row, row);
    window->fitColumns();
    host->updateSamplePanel();
    data->setDirty(true);
    if (r->histogramSlot >= 0)
        host->moveSampleHistogram(r->histogramSlot, r->area);
}

void SamplesController::recomputeSampleStats()
{
    if (data->samples.isEmpty())
        return;
    host->measureSamples(data->samples);
    window->model->rowsChanged(0, int(data->samples.size()) - 1);
    window->fitColumns();
    data->setDirty(true);
}

void SamplesController::shiftSamples(int topShift, int leftShift)
{
    const QSize frame = host->sampleFrameSize();
    QVector<int> gone;
    for (int row = 0; row < data->samples.size(); ++row) {
        SampleRecord *r = data->samples[row];
        r->area.left += leftShift;
        r->area.top += topShift;
        if (r->nameGenerated)
            r->name = SampleTexts::generatedName(r->area);
        // As unsigned numbers: a corner that went negative leaves too.
        if (unsigned(frame.width()) < unsigned(r->area.left) || unsigned(frame.height()) < unsigned(r->area.top))
            gone << row;
    }
    removeRows(gone);
    window->model->rowsChanged(0, int(data->samples.size()) - 1);
}

// ----------------------------------------------------------------- removal

void SamplesController::removeRows(const QVector<int> &rows)
{
    if (rows.isEmpty())
        return;
    window->model->removeSampleRows(rows, [this](SampleRecord *r) {
        delete r->item;
        r->item = nullptr;
        if (r->histogramSlot >= 0)
            host->closeSampleHistogram(r->histogramSlot);
    });
}

void SamplesController::finishRemoval()
{
    host->updateSamplePanel();
    if (data->samples.isEmpty())
        data->setDirty(false);
}

void SamplesController::removeSampleRow(int row)
{
    removeRows({row});
}

void SamplesController::removeSamplesOfKind(int kind)
{
    removeKind(kind);
    finishRemoval();
}

void SamplesController::removeKind(int kind)
{
    // The view forgets its selection too, and blinking rectangles that stay
    // get their opacity back.
    window->view->clearSelection();
    for (auto it = data->selectedRows.cbegin(); it != data->selectedRows.cend(); ++it)
        data->unhighlightRows.insert(it.key(), true);
    data->selectedRows.clear();
    resetSampleHighlight();
    QVector<int> rows;
    for (int row = 0; row < data->samples.size(); ++row)
        if (kind == 0 || data->samples[row]->origin == kind)
            rows << row;
    removeRows(rows);
}

void SamplesController::removeSampleByItem(TW_Sample *item)
{
    QVector<int> rows;
    for (int row = 0; row < data->samples.size(); ++row)
        if (data->samples[row]->item == item)
            rows << row;
    removeRows(rows);
    finishRemoval();
}

void SamplesController::dropSamplesOutsideImage()
{
    const QSize frame = host->sampleFrameSize();
    const unsigned w = unsigned(frame.width()), h = unsigned(frame.height());
    QVector<int> rows;
    for (int row = 0; row < data->samples.size(); ++row) {
        const area_t &a = data->samples[row]->area;
        if (w < unsigned(a.left) + unsigned(a.width) || w < unsigned(a.left) || h < unsigned(a.top) + unsigned(a.height)
            || h < unsigned(a.top))
            rows << row;
    }
    removeRows(rows);
}

void SamplesController::removeSelectedSamples()
{
    resetSampleHighlight();
    const QVector<int> rows = data->selectedExistingRows();
    data->selectedRows.clear();
    removeRows(rows);
    finishRemoval();
    resetGridIndices();
}

void SamplesController::clearSamplesAll()
{
    removeSamplesOfKind(0);
    resetGridIndices();
}

// ------------------------------------------------------------------- items

void SamplesController::rebuildSampleItems()
{
    for (SampleRecord *r : std::as_const(data->samples)) {
        if (r->origin != SampleRecord::Placed && r->origin != SampleRecord::FromSelection)
            continue;
        delete r->item;
        r->item = nullptr;
        makeItem(r);
    }
}

void SamplesController::deleteSampleItems()
{
    // From the last: each rectangle then leaves the end of its parent's
    // child list, without a search.
    for (auto it = data->samples.crbegin(); it != data->samples.crend(); ++it) {
        delete (*it)->item;
        (*it)->item = nullptr;
    }
}

void SamplesController::resetSampleHighlight()
{
    for (auto it = data->unhighlightRows.cbegin(); it != data->unhighlightRows.cend(); ++it)
        if (it.key() >= 0 && it.key() < data->samples.size() && data->samples[it.key()]->item)
            data->samples[it.key()]->item->setOpacity(0.5);
    data->unhighlightRows.clear();
}

void SamplesController::runAnimation(int frame)
{
    resetSampleHighlight();
    const double opacity = frame < 5 ? frame / 5.0 : (9 - frame) / 5.0;
    for (int row : data->selectedExistingRows())
        if (TW_Sample *item = data->samples[row]->item)
            item->setOpacity(opacity);
}

// --------------------------------------------------------------- clipboard

QString SamplesController::selectedSamplesHtml() const
{
    QVector<const SampleRecord *> rows;
    for (int row : data->selectedExistingRows())
        rows << data->samples[row];
    return SampleTexts::clipboardHtml(rows, window->channelNames.names, window->channelNames.count,
                                      window->headerToClipboard->isChecked());
}

void SamplesController::clipboardSelectedSamples()
{
    auto *mime = new QMimeData;
    mime->setHtml(selectedSamplesHtml());
    QClipboard *clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setMimeData(mime);
}

// ----------------------------------------------------------------- loading

void SamplesController::loadSamples(int sidebarMode, const QString &lastFolder)
{
    const QSize frame = host->sampleFrameSize();
    if (frame.width() <= 0 || frame.height() <= 0) {
        QMessageBox::warning(dialogParent, tr("No image loaded"), tr("Unable to load samples: no image loaded"));
        return;
    }
    TW_SaveDialog dialog(sidebarMode, tr("Load Samples Coordinates from File"), QDir::currentPath(),
                         tr("Tessivane samples (*.tws);; Text Files (*.txt);; All files (*.*)"), dialogParent);
    dialog.addSidebarFolder(lastFolder);
    dialog.fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog.fileDialog->setFileMode(QFileDialog::ExistingFile);
    auto *options = new TW_SimpleSaveOptions;
    auto *clear = new QCheckBox(tr("Clear existing samples"), options);
    const bool any = !data->samples.isEmpty();
    clear->setEnabled(any);
    clear->setChecked(any);
    options->layout->addWidget(clear);
    dialog.setOptionsGroup(options);
    if (dialog.exec() != 1 || dialog.selectedFiles.isEmpty())
        return;
    loadSamplesFile(dialog.selectedFiles.first(), clear->isEnabled() && clear->isChecked());
}

QString SamplesController::loadWarningText(const SampleCoordinatesReader::Result &r)
{
    if (r.tooLarge)
        return tr("The file is larger than %1 MB: it is not a sample coordinates file and was not read")
            .arg(SampleCoordinatesReader::maxFileSize >> 20);
    QString text = tr("%1 samples expected, %2 found in file, %3 loaded, %4 damaged, %5 skipped (out of image area)")
                       .arg(r.declared)
                       .arg(r.found)
                       .arg(r.loaded())
                       .arg(r.damaged)
                       .arg(r.skipped);
    if (r.overLimit > 0)
        text += tr(", %1 skipped (more than %2 samples)").arg(r.overLimit).arg(SampleCoordinatesReader::maxRows);
    return text;
}

int SamplesController::loadSamplesFile(const QString &path, bool clearExisting)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(dialogParent, tr("Unable to open Samples Coordinates file"),
                             tr("Could not open file %1").arg(QDir::toNativeSeparators(path)));
        return 0;
    }
    const QSize frame = host->sampleFrameSize();
    const SampleCoordinatesReader::Result result = SampleCoordinatesReader::read(file, frame.width(), frame.height());
    file.close();
    // The old samples go only for a file that brings new ones.
    if (!addSamples(result.rows, clearExisting && result.loaded() > 0))
        return 0;
    if (result.hasWarnings())
        QMessageBox::warning(dialogParent, tr("Sample Coordinate loaded with warnings"), loadWarningText(result));
    return result.loaded();
}

// --------------------------------------------------------- unsaved samples

bool SamplesController::asksAboutUnsaved(bool warnUnsavedSamples, bool dirty, int sampleCount)
{
    return warnUnsavedSamples && dirty && sampleCount > 0;
}

SamplesController::UnsavedAnswer SamplesController::askWithBox(bool changeOfFile)
{
    QMessageBox box(QMessageBox::Question, tr("Tessivane"),
                    changeOfFile ? tr("Some samples are not saved.") : tr("You're changing frame data."),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, dialogParent);
    box.setInformativeText(tr("Do you want to save unsaved samples list?"));
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return UnsavedAnswer::Save;
    case QMessageBox::Discard:
        return UnsavedAnswer::Discard;
    default:
        return UnsavedAnswer::Cancel;
    }
}

bool SamplesController::checkUnsavedSamples(int changeOfFile, bool warn)
{
    if (!asksAboutUnsaved(warn, data->dirty, int(data->samples.size())))
        return true;
    const UnsavedAnswer answer = askUnsaved ? askUnsaved(changeOfFile != 0) : askWithBox(changeOfFile != 0);
    switch (answer) {
    case UnsavedAnswer::Discard:
        return true;
    case UnsavedAnswer::Save:
        // A cancelled or failed save keeps the samples, so nothing goes on.
        if (saveSamples)
            return saveSamples();
        return window->saveSamples(gridIndices ? *gridIndices : QVector<int>(3, -1));
    default:
        return false;
    }
}

const SampleRecord *SamplesController::lastPlacedSample() const
{
    for (auto it = data->samples.crbegin(); it != data->samples.crend(); ++it)
        if ((*it)->origin == SampleRecord::Placed)
            return *it;
    return nullptr;
}
