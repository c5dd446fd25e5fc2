#include "TW_ManualSelection.h"

#include "TW_Selection.h"
#include "TW_SelectionScene.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

TW_ManualSelection::TW_ManualSelection(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("<h4>Set Selection top-left corner position and size</h4>")), 0, 0, 1, 4);
    centerCheck = new QCheckBox(tr("Center selection on image"));
    layout->addWidget(centerCheck, 1, 0, 1, 4);

    auto makeSpin = [this](int minimum, int value) {
        auto *spin = new QSpinBox(this);
        spin->setRange(minimum, 9999);
        spin->setValue(value);
        spin->setKeyboardTracking(false);
        return spin;
    };
    leftSpin = makeSpin(0, 0);
    topSpin = makeSpin(0, 0);
    widthSpin = makeSpin(1, 150);
    heightSpin = makeSpin(1, 150);
    layout->addWidget(new QLabel(tr("Left: ")), 2, 0);
    layout->addWidget(leftSpin, 2, 1);
    layout->addWidget(new QLabel(tr("Top: ")), 2, 2);
    layout->addWidget(topSpin, 2, 3);
    layout->addWidget(new QLabel(tr("Width: ")), 3, 0);
    layout->addWidget(widthSpin, 3, 1);
    layout->addWidget(new QLabel(tr("Height: ")), 3, 2);
    layout->addWidget(heightSpin, 3, 3);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal);
    layout->addWidget(buttons, 4, 0, 1, 4);
    connect(buttons, &QDialogButtonBox::accepted, this, &TW_ManualSelection::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TW_ManualSelection::reject);

    connect(leftSpin, &QSpinBox::valueChanged, this, &TW_ManualSelection::leftChanged);
    connect(topSpin, &QSpinBox::valueChanged, this, &TW_ManualSelection::topChanged);
    connect(widthSpin, &QSpinBox::valueChanged, this, &TW_ManualSelection::widthChanged);
    connect(heightSpin, &QSpinBox::valueChanged, this, &TW_ManualSelection::heightChanged);
    connect(centerCheck, &QCheckBox::clicked, this, &TW_ManualSelection::centerChanged);
}

TW_ManualSelection::~TW_ManualSelection() = default;

void TW_ManualSelection::announce()
{
    emit ev_manual_selection_changed(leftSpin->value(), topSpin->value(), widthSpin->value(), heightSpin->value());
}

void TW_ManualSelection::fitToImage()
{
    const int w = std::max(1, imageWidth);
    const int h = std::max(1, imageHeight);
    const QSignalBlocker b1(leftSpin), b2(topSpin), b3(widthSpin), b4(heightSpin);
    leftSpin->setMaximum(w - 1);
    if (widthSpin->value() + leftSpin->value() > w)
        widthSpin->setValue(w - leftSpin->value());
    // The size may reach the whole image: a wider value moves the offset
    // back instead of being refused.
    widthSpin->setMaximum(w);
    topSpin->setMaximum(h - 1);
    if (heightSpin->value() + topSpin->value() >= h)
        heightSpin->setValue(h - topSpin->value());
    heightSpin->setMaximum(h);
}

int TW_ManualSelection::exec()
{
    if (!placed) {
        placed = true;
        if (parentWidget())
            move(parentWidget()->geometry().topLeft());
    }
    fitToImage();
    return QDialog::exec();
}

static int stepFor(int value)
{
    return value > 50 ? value / 25 : 1;
}

void TW_ManualSelection::sizeChanged(QSpinBox *size, QSpinBox *offset, int extent)
{
    const QSignalBlocker b1(size), b2(offset);
    if (size->value() > extent)
        size->setValue(extent);
    if (centerCheck->isChecked())
        offset->setValue((extent - size->value()) / 2);
    else if (size->value() + offset->value() >= extent)
        offset->setValue(extent - size->value());
    size->setSingleStep(stepFor(size->value()));
}

void TW_ManualSelection::offsetChanged(QSpinBox *offset, QSpinBox *size, int extent)
{
    const QSignalBlocker b1(size), b2(offset);
    if (offset->value() > extent - 1)
        offset->setValue(extent - 1);
    if (offset->value() + size->value() >= extent)
        size->setValue(extent - offset->value());
    offset->setSingleStep(stepFor(offset->value()));
}

void TW_ManualSelection::widthChanged(int)
{
    sizeChanged(widthSpin, leftSpin, imageWidth);
    announce();
}

void TW_ManualSelection::heightChanged(int)
{
    sizeChanged(heightSpin, topSpin, imageHeight);
    announce();
}

void TW_ManualSelection::leftChanged(int)
{
    offsetChanged(leftSpin, widthSpin, imageWidth);
    announce();
}

void TW_ManualSelection::topChanged(int)
{
    offsetChanged(topSpin, heightSpin, imageHeight);
    announce();
}

void TW_ManualSelection::centerChanged(bool on)
{
    leftSpin->setEnabled(!on);
    topSpin->setEnabled(!on);
    if (on) {
        widthChanged(widthSpin->value());
        heightChanged(heightSpin->value());
    }
}

void TW_ManualSelection::accept()
{
    done(1);
}

void TW_ManualSelection::reject()
{
    done(0);
}

int TW_ManualSelection::runOnScene(TW_SelectionScene *scene, int width, int height)
{
    if (!scene || !scene->frameItem() || scene->hasGrid() || width < 1 || height < 1)
        return 0;
    imageWidth = width;
    imageHeight = height;
    fitToImage();

    bool hadSelection = false;
    QRectF previous;
    if (scene->hasSelection()) {
        hadSelection = true;
        // A moved rectangle keeps its offset in its position.
        previous = scene->selectionRect().translated(scene->selectionItem()->pos());
        scene->removeSelection();
    }
    scene->createSelection(QRectF(leftSpin->value(), topSpin->value(), widthSpin->value(), heightSpin->value()));

    const QMetaObject::Connection follow = connect(this, &TW_ManualSelection::ev_manual_selection_changed, scene,
                                                   [scene](int left, int top, int w, int h) {
                                                       scene->setSelectionRect(QRectF(left, top, w, h));
                                                   });
    blockSignals(false);
    const int result = exec();
    blockSignals(true);
    disconnect(follow);

    if (result == 1) {
        scene->setSelectionRect(
            QRectF(leftSpin->value(), topSpin->value(), widthSpin->value(), heightSpin->value()));
        scene->selectionArea();
    } else {
        scene->removeSelection();
        if (hadSelection) {
            scene->createSelection(previous);
            scene->selectionArea();
        }
    }
    return result;
}
