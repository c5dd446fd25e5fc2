#include "HistogramHost.h"

HistogramHost::~HistogramHost() = default;
