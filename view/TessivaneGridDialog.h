// "Grid Parameters": the tool window that sets up, places and removes the
// grid selection, chooses how its cells are numbered and named, and carries
// the buttons for turning cells into samples and for grid-settings files.
// The main window wires the buttons; the dialog announces parameter and
// naming changes as they are made.
#ifndef TESSIVANEGRIDDIALOG_H
#define TESSIVANEGRIDDIALOG_H

#include "GridPosition.h"
#include "GridSettings.h"

#include <QDialog>
#include <QVector>

struct GridGeometry;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabBar;

class TessivaneGridDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TessivaneGridDialog(QWidget *parent = nullptr);
    ~TessivaneGridDialog() override;

    // Columns, rows, minimum cell sizes and ROI relative size.
    void gridParameters(GridGeometry &geometry) const;
    // The first time only: centred over rect, 10 pixels below its top.
    void placeOnce(const QRect &rect);
    void loadLastUsed();
    void saveLastUsed() const;
    // Every value ends inside its control's range, signals blocked.
    void setGridParameters(const GridSettings &settings);
    // The current values, as a file would store them.
    GridSettings gridSettings() const;
    void setLoadedPosition(const GridPosition &position);
    const GridPosition &loadedPosition() const { return position; }

    QTabBar *tabBar = nullptr;
    QGroupBox *geometryBox = nullptr, *namingBox = nullptr;
    QSpinBox *rowsSpin = nullptr, *columnsSpin = nullptr;
    QSpinBox *minWidthSpin = nullptr, *minHeightSpin = nullptr;
    QDoubleSpinBox *roiSizeSpin = nullptr;
    QComboBox *startCornerCombo = nullptr, *walkOrderCombo = nullptr, *namingOrderCombo = nullptr;
    QCheckBox *showNamesCheck = nullptr;
    QComboBox *fontSizeCombo = nullptr;
    QPushButton *placeButton = nullptr, *removeButton = nullptr, *hideButton = nullptr;
    QCheckBox *usePositionCheck = nullptr;
    QGroupBox *samplesBox = nullptr;
    QPushButton *toSamplesButton = nullptr;
    QCheckBox *clearOldSamplesCheck = nullptr, *openSaveDialogCheck = nullptr;
    QPushButton *saveButton = nullptr, *loadButton = nullptr;
    QLabel *statusLabel = nullptr;

signals:
    void ev_dialogClosed();
    void ev_updateGridParams(int minCellWidth, int minCellHeight, qreal roiRelativeSize);
    void ev_updateGridCellNames(int walkOrder, int startCorner, int namingOrder, bool showNames, int fontSizeIndex);
    void ev_updateGridVisibility(bool showNames, int fontSizeIndex);

public slots:
    // Nonzero while a grid is placed: its shape controls and loading are
    // off, removing it and the samples group on.
    void updateControls(int gridPlaced);
    void updateParams();
    void updateNames();
    void switchTabs(int index);
    void updateVisibleFont();
    void updateVisible();
    void fontSelectorEnabler();
    // Escape must not close a tool window.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // One "LastUsed" entry: its key, control and default. Check boxes are
    // written as booleans, the ROI size as a double, the rest as integers.
    struct LastUsedEntry {
        const char *key;
        QWidget *control;
        double fallback;
    };
    QVector<LastUsedEntry> lastUsedEntries() const;

    bool placed = false;
    GridPosition position;
};

#endif
