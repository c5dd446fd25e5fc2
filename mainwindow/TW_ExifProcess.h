// One ExifTool run over one raw file: its tab-separated output comes back
// once, as UTF-8 text, through ev_exifread, whether ExifTool finished or was
// stopped at the time limit.
#ifndef TW_EXIFPROCESS_H
#define TW_EXIFPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

class TW_ExifProcess : public QProcess
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 15000;

    // Arguments: options split at spaces, then "-t", then the file path.
    TW_ExifProcess(const QString &program, const QString &options, const QString &filePath,
                   int timeoutMs = DefaultTimeoutMs, QObject *parent = nullptr);
    // Kills and reaps a child still running; nothing is reported then.
    ~TW_ExifProcess() override;

    // False when the program is not a usable ExifTool; nothing runs then.
    bool startRead();

    QString filePath() const { return path; }
    QString programPath() const { return exifProgram; }
    QStringList argumentList() const { return exifArguments; }

signals:
    void ev_exifread(const QString &output, const QString &filePath);
    // The child has ended and its result went out: safe to delete.
    void killme();

public slots:
    void timeout();
    void processed(int exitCode, QProcess::ExitStatus status);

private:
    void report();
    void startFailed(QProcess::ProcessError error);

    QString path;
    QString exifProgram;
    QStringList exifArguments;
    QTimer limit;
    bool reported = false;
};

#endif
