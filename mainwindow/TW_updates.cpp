#include "TW_updates.h"

TW_updates::TW_updates(QObject *parent)
    : QObject(parent)
{
}

TW_updates::~TW_updates() = default;
