#include "WindowScreenshot.h"

#include "AtomicFileWriter.h"
#include "JpegWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

const char *const WindowScreenshot::Filter = "PNG files(*.png);;JPEG files (*.jpg)";

std::function<QDateTime()> WindowScreenshot::clock = [] { return QDateTime::currentDateTime(); };

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("WindowScreenshot", text);
}

bool isJpegSuffix(const QString &suffix)
{
    return suffix.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("jpeg"), Qt::CaseInsensitive) == 0;
}

}

QString WindowScreenshot::proposedName(const QString &folder, const QString &loadedFileName, const QDateTime &now)
{
    const QString date = now.toString(QStringLiteral("yyyyMMdd"));
    const QString time = now.toString(QStringLiteral("HHmmss"));
    if (loadedFileName.isEmpty())
        return QStringLiteral("%1/Tessivane-ScreenShot-%2-%3.png").arg(folder, date, time);
    const QString stem = loadedFileName.section(QLatin1Char('.'), 0, 0);
    return QStringLiteral("%1/%2-%3-%4-Tessivane-ScreenShot.png").arg(folder, stem, date, time);
}

QImage WindowScreenshot::compose(const QImage &grab)
{
    const int w = grab.width(), h = grab.height();
    QImage picture(w + 6, h + 54, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawRect(QRect(1, 1, w + 3, h + 51));
    painter.drawImage(2, 2, grab);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(12);
    painter.setFont(font);
    const QString credit = tr("Screenshot taken with Tessivane");
    const int textWidth = QFontMetrics(font).horizontalAdvance(credit);
    painter.drawText(w - textWidth - 30, h + 32, credit);
    painter.drawPixmap(w - textWidth - 70, h + 8, QPixmap(QStringLiteral(":/icons/DELTA_3_32.png")));
    return picture;
}

QString WindowScreenshot::resolvedPath(const QString &chosen, const QString &selectedFilter)
{
    if (!QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    return chosen + (selectedFilter.startsWith(QLatin1String("JPEG")) ? QStringLiteral(".jpg") : QStringLiteral(".png"));
}

bool WindowScreenshot::save(const QImage &picture, const QString &path, QString *error)
{
    const QString suffix = QFileInfo(path).suffix();
    const bool jpeg = isJpegSuffix(suffix);
    if (!jpeg && !QImageWriter::supportedImageFormats().contains(suffix.toLower().toLatin1())) {
        *error = tr("pictures cannot be written as \"%1\"").arg(suffix);
        return false;
    }
    if (jpeg)
        return writeJpegFile(path, picture.convertToFormat(QImage::Format_RGB888), error);
    return AtomicFileWriter::writeImage(path, picture, error);
}

void WindowScreenshot::take(QWidget *window, const QString &loadedFileName, bool nativeDialogs)
{
    const QImage grab = window->grab().toImage();
    const QString proposed = proposedName(QDir::currentPath(), loadedFileName, clock());
    QString filter;
    const QString chosen = QFileDialog::getSaveFileName(
        window, tr("Save Program ScreenShot"), proposed, QString::fromLatin1(Filter), &filter,
        nativeDialogs ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty())
        return;
    const QString path = resolvedPath(chosen, filter);
    QString error;
    if (!save(compose(grab), path, &error))
        QMessageBox::critical(window, tr("File save error"),
                              tr("Cannot save the screenshot to %1: <b>%2</b>")
                                  .arg(QDir::toNativeSeparators(path), error.toHtmlEscaped()));
}
