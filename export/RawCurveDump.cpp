#include "RawCurveDump.h"

#include "AtomicFileWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RawCurveDump", text);
}

}

int RawCurveDump::curveEnd(const unsigned short *curve)
{
    for (int i = 200; i <= 65533; ++i)
        if (curve[i] >= curve[i + 1] && curve[i] >= curve[i + 2])
            return i;
    return 200;
}

QByteArray RawCurveDump::csv(const unsigned short *curve, int end)
{
    QByteArray out("\"In\",\"Out\"\n");
    out.reserve(out.size() + (end + 1) * 16);
    for (int i = 0; i <= end; ++i)
        out += "\"" + QByteArray::number(i) + "\",\"" + QByteArray::number(curve[i]) + "\"\n";
    return out;
}

RawCurveDump::Result RawCurveDump::write(const QString &path, const unsigned short *curve, QString *error)
{
    const QByteArray text = csv(curve, curveEnd(curve));
    switch (AtomicFileWriter::save(path, [&text](QIODevice &d) { return d.write(text) == text.size(); }, error)) {
    case AtomicFileWriter::Written:
        return Written;
    case AtomicFileWriter::OpenFailed:
        return OpenFailed;
    case AtomicFileWriter::WriteFailed:
        break;
    }
    return WriteFailed;
}

void RawCurveDump::run(QWidget *parent, const unsigned short *curve, bool nativeDialogs)
{
    const QString path = QFileDialog::getSaveFileName(parent, tr("Save Raw file curve to CSV"), QDir::currentPath(),
                                                      tr("Text Files (*.csv)"), nullptr,
                                                      nativeDialogs ? QFileDialog::Options()
                                                                    : QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    QString error;
    const Result result = write(path, curve, &error);
    if (result == OpenFailed)
        QMessageBox::information(parent, tr("File open error"),
                                 tr("Cannot create file %1: %2").arg(QDir::toNativeSeparators(path), error));
    else if (result == WriteFailed)
        QMessageBox::critical(parent, tr("File write error"),
                              tr("Cannot write file %1: %2").arg(QDir::toNativeSeparators(path), error));
}
