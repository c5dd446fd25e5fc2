// The samples window. For now the signals the main window wires; the table,
// its buttons and the sample files build on it.
#ifndef TESSIVANESAMPLEWINDOW_H
#define TESSIVANESAMPLEWINDOW_H

#include <QDialog>
#include <QStringList>

class SamplesTableData;

class TessivaneSampleWindow : public QDialog
{
    Q_OBJECT
public:
    TessivaneSampleWindow(SamplesTableData *data, QWidget *parent = nullptr);
    ~TessivaneSampleWindow() override;

    SamplesTableData *samplesData;

    void setChannelNames(const QStringList &names) { channelNames = names; }

signals:
    void appendStatusChanged(bool append);
    void samplesClosed();

private:
    QStringList channelNames;
};

#endif
