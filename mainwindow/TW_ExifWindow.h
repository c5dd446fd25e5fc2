// The EXIF window: every tag ExifTool reported for the current file, in a
// table that a regular expression filters, with copy buttons for text and
// HTML.
#ifndef TW_EXIFWINDOW_H
#define TW_EXIFWINDOW_H

#include "ColorTable.h"

#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTextEdit;

class TW_ExifWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TW_ExifWindow(QWidget *parent = nullptr);
    ~TW_ExifWindow() override;

    // A message in place of the table; the tag lines are dropped.
    void showHtml(const QString &html);
    void setTagLines(const QStringList &lines);
    // A new colour table: the shown table is built again in its colours.
    void setColorTable(const ColorTable &colors);
    void runFilter();

    QString html() const { return shownHtml; }
    const QStringList &tagLines() const { return fullLines; }
    const QStringList &filteredTagLines() const { return filteredLines; }

    QLineEdit *filterEdit = nullptr;
    QPushButton *filterButton = nullptr, *resetButton = nullptr, *closeButton = nullptr;
    QPushButton *copyTextButton = nullptr, *copyHtmlButton = nullptr;
    QCheckBox *fullTableCheck = nullptr;
    QTextEdit *textView = nullptr;

signals:
    void copy2CSignal(const QString &text, bool isHtml);
    void copyTextSignal();
    void exifClosed(QRect geometry);

public slots:
    void filterPressed();
    void filterResetPressed();
    void closePressed();
    void copyTextPressed();
    void copyHTMLPressed();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void setShownHtml(const QString &html);
    const QStringList &copiedLines() const;

    QStringList fullLines;
    QStringList filteredLines;
    ColorTable colorMap;
    QString shownHtml;
    // False while a message stands in place of the table.
    bool showingTags = false;
};

#endif
