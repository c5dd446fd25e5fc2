#include "TessivaneSampleWindow.h"

#include "SamplesSaver.h"

#include "PrefAccess.h"
#include "SampleColumnWidths.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "TW_Settings.h"
#include "TessivaneTableView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPushButton>

#include <algorithm>

TessivaneSampleWindow::TessivaneSampleWindow(SamplesTableData *data, QWidget *mainWindow, PrefStore *prefs)
    : QDialog(nullptr), mainWindow(mainWindow), samplesData(data), prefs(prefs)
{
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint);
    setWindowTitle(tr("Samples"));

    layout = new QGridLayout(this);
    auto button = [this](const QString &text, int column) {
        auto *b = new QPushButton(text, this);
        b->setAutoDefault(false);
        layout->addWidget(b, 0, column);
        return b;
    };
    saveButton = button(tr("Save Samples"), 0);
    histogramButton = button(tr("Histogram"), 1);
    removeSelectedButton = button(tr("Remove Sel."), 2);
    clipboardButton = button(tr("Sel. to Clipboard"), 3);
    removeAllButton = button(tr("Remove All"), 4);
    loadButton = button(tr("Load"), 5);
    appendFile = new QCheckBox(tr("Append File"), this);
    appendFile->setEnabled(false);
    layout->addWidget(appendFile, 1, 0);
    headerToClipboard = new QCheckBox(tr("Header to Clipboard"), this);
    headerToClipboard->setChecked(true);
    headerToClipboard->setEnabled(false);
    layout->addWidget(headerToClipboard, 1, 3);

    model = new SamplesTable(data, this);
    view = new TessivaneTableView(data, this);
    view->setModel(model);
    view->setSortingEnabled(false);
    view->horizontalHeader()->setSectionsClickable(false);
    view->verticalHeader()->setSectionsClickable(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Number columns are as wide as their texts; a cut number must never
    // look like another one.
    view->setTextElideMode(Qt::ElideRight);
    fitColumns();
    layout->addWidget(view, 2, 0, 1, 7);

    DrawSaveButton();
    connect(data, &SamplesTableData::ev_dirty, this, &TessivaneSampleWindow::DrawSaveButton);
    connect(appendFile, &QCheckBox::clicked, this, &TessivaneSampleWindow::changeAppend);
    connect(view, &TessivaneTableView::ev_selectionSize, this, &TessivaneSampleWindow::selectionSizeChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &TessivaneSampleWindow::reselectRows);
}

TessivaneSampleWindow::~TessivaneSampleWindow()
{
    if (savesWindowPosition()) {
        TW_Settings settings("Preferences");
        settings.setValue(QStringLiteral("samplesWindowGeometry"), normalGeometry());
    }
    delete view;
    delete model;
}

bool TessivaneSampleWindow::savesWindowPosition() const
{
    return prefs && PrefAccess::mainPrefValue(prefs, "saveWinPos") != 0;
}

void TessivaneSampleWindow::setChannelNames(const ChannelNames &names)
{
    channelNames = names;
    const QStringList shown = names.names.mid(0, std::clamp(names.count, 0, int(ChannelNames::MaxChannels)));
    if (shown == samplesData->channelNames)
        return;
    model->beginReset();
    samplesData->setChannelHeaders(shown);
    model->endReset();
}

void TessivaneSampleWindow::reselectRows()
{
    // A reset drops the view's selection without a word; the rows the data
    // set still holds as selected are selected again.
    const QVector<int> selected = samplesData->selectedExistingRows();
    const int lastColumn = std::max(model->columnCount() - 1, 0);
    QItemSelection rows;
    for (int i = 0; i < selected.size();) {
        int j = i;
        while (j + 1 < selected.size() && selected[j + 1] == selected[j] + 1)
            ++j;
        rows.append(QItemSelectionRange(model->index(selected[i], 0), model->index(selected[j], lastColumn)));
        i = j + 1;
    }
    samplesData->selectedRows.clear();
    view->selectionModel()->select(rows, QItemSelectionModel::Select);
    selectionSizeChanged(int(samplesData->selectedRows.size()));
}

void TessivaneSampleWindow::setTableColors(const QHash<int, QColor> &colors)
{
    model->setRoleColors(colors);
    const QString c = colors.value(2).name();
    view->setStyleSheet(QStringLiteral("QTableView {gridline-color: gray; background-color: %1;}"
                                       "QTableView QTableCornerButton::section{ background: %1; border-left: solid "
                                       "1px gray; border-bottom: solid 1px gray; }")
                            .arg(c));
    const QString header = QStringLiteral("QHeaderView::section {background-color: %1;}").arg(c);
    view->horizontalHeader()->setStyleSheet(header);
    view->verticalHeader()->setStyleSheet(header);
}

void TessivaneSampleWindow::showNewRows()
{
    fitColumns();
    if (isVisible())
        view->scrollToBottom();
}

void TessivaneSampleWindow::fitColumns()
{
    // What resizeColumnsToContents gives, from the one widest cell of each
    // column instead of a layout of every cell (of the first thousand rows
    // only, at that).
    view->ensurePolished();
    const int columns = model->columnCount();
    const QVector<int> widest = SampleColumnWidths(view->font()).widestRows(samplesData->samples, columns);
    const QHeaderView *header = view->horizontalHeader();
    const int grid = view->showGrid() ? 1 : 0;
    for (int c = 0; c < columns; ++c) {
        int width = (widest[c] >= 0 ? view->sizeHintForIndex(model->index(widest[c], c)).width() : 0) + grid;
        if (!header->isHidden())
            width = std::max(width, header->sectionSizeHint(c));
        view->setColumnWidth(c, width);
    }
}

bool TessivaneSampleWindow::saveSamples(QVector<int> gridIndices)
{
    const bool appending = appendFile->isEnabled() && appendFile->isChecked() && !appendFileName.isEmpty();
    SamplesSaver saver(samplesData, channelNames, fileHost, prefs, this);
    const SamplesSaver::Outcome outcome = saver.save(gridIndices, appending ? appendFileName : QString());
    if (!outcome.written)
        return false;
    if (outcome.tableWritten)
        appendFileName = outcome.path;
    appendFile->setEnabled(outcome.tableWritten);
    // A disabled box left ticked would keep the caption "Append File".
    if (!outcome.tableWritten)
        appendFile->setChecked(false);
    changeAppend();
    return true;
}

void TessivaneSampleWindow::DrawSaveButton()
{
    const bool any = !samplesData->samples.isEmpty();
    saveButton->setEnabled(any);
    removeAllButton->setEnabled(any);
    if (!any) {
        removeSelectedButton->setEnabled(false);
        clipboardButton->setEnabled(false);
        headerToClipboard->setEnabled(false);
        histogramButton->setEnabled(false);
    }
    QString caption = appendFile->isChecked() ? tr("Append File") : tr("Save Samples");
    if (samplesData->dirty)
        caption += QStringLiteral(" *");
    saveButton->setText(caption);
    loadButton->setEnabled(true);
}

void TessivaneSampleWindow::changeAppend()
{
    DrawSaveButton();
    emit appendStatusChanged(appendFile->isEnabled() && appendFile->isChecked() && !appendFileName.isEmpty());
}

void TessivaneSampleWindow::selectionSizeChanged(int count)
{
    const bool any = count > 0;
    histogramButton->setEnabled(any);
    removeSelectedButton->setEnabled(any);
    clipboardButton->setEnabled(any);
    headerToClipboard->setEnabled(any);
}

void TessivaneSampleWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        event->accept();
        removeSelectedButton->click();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        event->accept();
        clipboardButton->click();
        return;
    }
    event->ignore();
}

void TessivaneSampleWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitColumns();
}

void TessivaneSampleWindow::closeEvent(QCloseEvent *event)
{
    if (savesWindowPosition()) {
        TW_Settings settings("Preferences");
        settings.setValue(QStringLiteral("samplesWindowGeometry"), geometry());
    }
    emit samplesClosed();
    event->accept();
}
