#include "SamplesTableData.h"

SamplesTableData::SamplesTableData(QObject *parent)
    : QObject(parent)
{
}

SamplesTableData::~SamplesTableData() = default;
