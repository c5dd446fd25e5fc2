// A picture of the main window with a frame, a credit line and the logo,
// saved as PNG or JPEG under the name the user chose.
#ifndef WINDOWSCREENSHOT_H
#define WINDOWSCREENSHOT_H

#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>

class QWidget;

class WindowScreenshot
{
public:
    static const char *const Filter;

    // The moment that names a screenshot; tests set their own.
    static std::function<QDateTime()> clock;

    // loadedFileName: the loaded file's name, empty without one.
    static QString proposedName(const QString &folder, const QString &loadedFileName, const QDateTime &now);
    // The grab on white, framed, with the credit line and logo beneath:
    // (w + 6) x (h + 54) pixels.
    static QImage compose(const QImage &grab);
    // A name without a suffix gets the chosen filter's.
    static QString resolvedPath(const QString &chosen, const QString &selectedFilter);
    // Writes in the format the name's suffix says, through a temporary
    // file renamed over the target; an old file stays on failure.
    static bool save(const QImage &picture, const QString &path, QString *error);

    // Grab, ask for the name, save; a failure is shown in a message box.
    static void take(QWidget *window, const QString &loadedFileName, bool nativeDialogs);
};

#endif
