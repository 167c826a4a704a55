#pragma once

#include <QList>
#include <QString>

// Where the device selector finds gauge ports: the USB serial ports of the
// system, then the extra sources registered here (the virtual gauge of the
// demo mode, ports that tests inject).
namespace CPortEnumerator
{
struct Port
{
    QString PortName; // readable name: description and port name
    QString PortPath; // the path that is opened
};

// USB serial ports present now, ordered by path.
QList<Port> SystemPorts();

// Extra sources, listed after the system ports in registration order.
void AddExtraPort(const QString& portName, const QString& portPath);
void ClearExtraPorts();
QList<Port> ExtraPorts();

// Only the extra sources are listed when this is set (tests that must not
// see the machine's real ports).
void SetSystemPortsEnabled(bool enabled);

// System ports (when enabled) followed by the extra sources.
QList<Port> AllPorts();
} // namespace CPortEnumerator
