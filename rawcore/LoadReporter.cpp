#include "LoadReporter.h"

LoadReporter::~LoadReporter() = default;
