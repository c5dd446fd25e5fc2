// The "Samples" window: the samples table with the buttons that save,
// plot, remove, copy and load samples. A top-level window of its own; the
// main window shows and hides it.
#ifndef TESSIVANESAMPLEWINDOW_H
#define TESSIVANESAMPLEWINDOW_H

#include "ChannelNames.h"

#include <QColor>
#include <QDialog>
#include <QHash>
#include <QString>
#include <QVector>

class PrefStore;
class QCheckBox;
class QGridLayout;
class QPushButton;
class SampleFilesHost;
class SamplesTable;
class SamplesTableData;
class TessivaneTableView;

class TessivaneSampleWindow : public QDialog
{
    Q_OBJECT
public:
    // Without a Qt parent; mainWindow parents its message boxes, prefs
    // gives "saveWinPos".
    TessivaneSampleWindow(SamplesTableData *data, QWidget *mainWindow = nullptr, PrefStore *prefs = nullptr);
    ~TessivaneSampleWindow() override;

    QPushButton *saveButton, *histogramButton, *removeSelectedButton, *removeAllButton, *clipboardButton,
        *loadButton;
    QCheckBox *headerToClipboard;
    QWidget *mainWindow;
    QCheckBox *appendFile;
    QGridLayout *layout;
    TessivaneTableView *view;
    SamplesTable *model;
    SamplesTableData *samplesData;
    // The table file "Append File" appends to; set by a table save.
    QString appendFileName;
    // The loaded file's details and last folder for saving; may be null.
    SampleFilesHost *fileHost = nullptr;
    ChannelNames channelNames;

    // Headers follow the names; the flags and count are kept for saving.
    void setChannelNames(const ChannelNames &names);
    // The table's colours (keys as SamplesTable's) and the grid and header
    // backgrounds.
    void setTableColors(const QHash<int, QColor> &colors);
    // After rows were added: columns fitted, and the last row shown while
    // the window is visible.
    void showNewRows();
    void fitColumns();

signals:
    void samplesClosed();
    void appendStatusChanged(bool append);

public slots:
    // True when the samples were written.
    bool saveSamples(QVector<int> gridIndices);
    void DrawSaveButton();
    void changeAppend();
    void selectionSizeChanged(int count);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void reselectRows();
    bool savesWindowPosition() const;
    PrefStore *prefs;
};

#endif
