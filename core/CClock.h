#pragma once

#include <QDateTime>

// The one source of "now" for the program. Tests pin it to make dates,
// clock synchronisation records and default names reproducible.
namespace CClock
{
QDateTime Now();
QDate Today();
void Pin(const QDateTime& moment);
void Unpin();
bool IsPinned();
} // namespace CClock
