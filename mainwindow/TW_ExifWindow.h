// The EXIF window. For now the signals and the text call the main window
// uses; the tag table, filter and copy buttons build on it.
#ifndef TW_EXIFWINDOW_H
#define TW_EXIFWINDOW_H

#include <QColor>
#include <QDialog>
#include <QHash>
#include <QRect>
#include <QString>

class TW_ExifWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TW_ExifWindow(QWidget *parent = nullptr);
    ~TW_ExifWindow() override;

    void showHtml(const QString &html) { shownHtml = html; }
    void setColorTable(const QHash<int, QColor> &colors) { colorMap = colors; }
    QString html() const { return shownHtml; }

signals:
    void copy2CSignal(const QString &text, bool isHtml);
    void copyTextSignal();
    void exifClosed(QRect geometry);

private:
    QString shownHtml;
    QHash<int, QColor> colorMap;
};

#endif
