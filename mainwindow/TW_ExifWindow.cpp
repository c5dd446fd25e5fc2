#include "TW_ExifWindow.h"

#include "ExifTagTable.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

TW_ExifWindow::TW_ExifWindow(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("EXIF"));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    colorMap = channelColorTable(Qt::black, QColor(QStringLiteral("#f0f0f0")));

    auto *grid = new QGridLayout(this);
    filterEdit = new QLineEdit;
    filterButton = new QPushButton(tr("Filter"));
    resetButton = new QPushButton(tr("Reset"));
    grid->addWidget(new QLabel(tr("Filter:")), 0, 0);
    grid->addWidget(filterEdit, 0, 1);
    grid->addWidget(filterButton, 0, 2);
    grid->addWidget(resetButton, 0, 3);

    textView = new QTextEdit;
    textView->setReadOnly(true);
    textView->setStyleSheet(QStringLiteral("QTextEdit{ background: #f0f0f0;}"));
    grid->addWidget(textView, 1, 0, 6, 4);

    closeButton = new QPushButton(tr("Close"));
    copyTextButton = new QPushButton(tr("Copy to Clipboard (text)"));
    copyHtmlButton = new QPushButton(tr("Copy to Clipboard (HTML)"));
    grid->addWidget(closeButton, 7, 0, 1, 2);
    grid->addWidget(copyTextButton, 7, 2);
    grid->addWidget(copyHtmlButton, 7, 3);

    fullTableCheck = new QCheckBox(tr("Copy full table"));
    fullTableCheck->setEnabled(false);
    grid->addWidget(fullTableCheck, 8, 0, 1, 4);

    connect(filterButton, &QPushButton::pressed, this, &TW_ExifWindow::filterPressed);
    connect(resetButton, &QPushButton::pressed, this, &TW_ExifWindow::filterResetPressed);
    connect(closeButton, &QPushButton::pressed, this, &TW_ExifWindow::closePressed);
    connect(copyTextButton, &QPushButton::pressed, this, &TW_ExifWindow::copyTextPressed);
    connect(copyHtmlButton, &QPushButton::pressed, this, &TW_ExifWindow::copyHTMLPressed);
}

TW_ExifWindow::~TW_ExifWindow() = default;

void TW_ExifWindow::setShownHtml(const QString &html)
{
    shownHtml = html;
    textView->setHtml(html);
}

void TW_ExifWindow::showHtml(const QString &html)
{
    fullLines.clear();
    filteredLines.clear();
    showingTags = false;
    setShownHtml(html);
}

void TW_ExifWindow::setTagLines(const QStringList &lines)
{
    fullLines = lines;
    showingTags = true;
    runFilter();
}

void TW_ExifWindow::setColorTable(const ColorTable &colors)
{
    colorMap = colors;
    // A waiting message stays until the tags arrive.
    if (showingTags)
        runFilter();
}

void TW_ExifWindow::runFilter()
{
    const QString pattern = filterEdit->text();
    const bool active = !pattern.isEmpty() && fullTableCheck->isEnabled();
    filteredLines = active ? exifFilterLines(fullLines, pattern) : fullLines;
    if (!filteredLines.isEmpty())
        setShownHtml(exifTagsHtml(colorMap, filteredLines, true));
    else if (active && !fullLines.isEmpty())
        setShownHtml(QStringLiteral("<p>No match for <b>%1</b>").arg(pattern.toHtmlEscaped()));
    else
        setShownHtml(tr("Empty EXIF data"));
}

void TW_ExifWindow::filterPressed()
{
    fullTableCheck->setEnabled(!filterEdit->text().isEmpty());
    runFilter();
}

void TW_ExifWindow::filterResetPressed()
{
    fullTableCheck->setEnabled(false);
    filterEdit->clear();
    runFilter();
}

void TW_ExifWindow::closePressed()
{
    if (isModal())
        done(1);
    else
        hide();
}

const QStringList &TW_ExifWindow::copiedLines() const
{
    if (!fullTableCheck->isEnabled() || fullTableCheck->isChecked())
        return fullLines;
    return filteredLines;
}

void TW_ExifWindow::copyTextPressed()
{
    // Nothing to copy leaves the clipboard as it was.
    if (copiedLines().isEmpty())
        return;
    emit copy2CSignal(exifTagsText(copiedLines()), false);
}

void TW_ExifWindow::copyHTMLPressed()
{
    if (copiedLines().isEmpty())
        return;
    emit copy2CSignal(exifTagsHtml(colorMap, copiedLines(), false), true);
}

void TW_ExifWindow::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    // Minimising sends a spontaneous hide: the window is still open then,
    // and restoring it must bring it back.
    if (event->spontaneous())
        return;
    emit exifClosed(geometry());
}
