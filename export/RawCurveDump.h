// The raw tone curve of the loaded image as a two-column CSV file, up to
// the point where the curve stops rising.
#ifndef RAWCURVEDUMP_H
#define RAWCURVEDUMP_H

#include <QByteArray>
#include <QString>

class QWidget;

class RawCurveDump
{
public:
    // curve: 65536 entries. 200 when the curve never stops rising.
    static int curveEnd(const unsigned short *curve);
    static QByteArray csv(const unsigned short *curve, int end);

    enum Result { Written, OpenFailed, WriteFailed };
    static Result write(const QString &path, const unsigned short *curve, QString *error);

    // Ask for the file, write it, show a failure.
    static void run(QWidget *parent, const unsigned short *curve, bool nativeDialogs);
};

#endif
