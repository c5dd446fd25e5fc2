#include "TessivaneSampleWindow.h"

TessivaneSampleWindow::TessivaneSampleWindow(SamplesTableData *data, QWidget *parent)
    : QDialog(parent), samplesData(data)
{
}

TessivaneSampleWindow::~TessivaneSampleWindow() = default;
