// The TIFF export dialog. For now it keeps what the main window gives it;
// the file dialog, the options and the writers build on it.
#ifndef TW_EXPORTFILEDIALOG_H
#define TW_EXPORTFILEDIALOG_H

#include <QDialog>
#include <QString>

class TW_ExportFileDialog : public QDialog
{
    Q_OBJECT
public:
    TW_ExportFileDialog(const QString &filter, const QString &directory, const QString &caption,
                        int sideBarsUrls, QWidget *parent = nullptr);
    ~TW_ExportFileDialog() override;

    QString filter;
    QString directory;
    QString defaultSuffix = QStringLiteral("tif");
    int sideBarsUrls;
};

#endif
