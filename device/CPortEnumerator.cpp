#include "device/CPortEnumerator.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSerialPortInfo>

#include <algorithm>

namespace
{
QMutex g_extraMutex;
QList<CPortEnumerator::Port> g_extraPorts;
bool g_systemEnabled = true;
} // namespace

QList<CPortEnumerator::Port> CPortEnumerator::SystemPorts()
{
    QList<Port> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos)
    {
        // The gauge is a USB device; built-in and virtual serial ports are not.
        if (!info.hasVendorIdentifier())
            continue;
        const QString description = info.description().trimmed();
        Port port;
        port.PortName = description.isEmpty()
                            ? info.portName()
                            : QStringLiteral("%1 (%2)").arg(description, info.portName());
        port.PortPath = info.systemLocation();
        ports.append(port);
    }
    std::sort(ports.begin(), ports.end(),
              [](const Port& a, const Port& b) { return a.PortPath < b.PortPath; });
    return ports;
}

void CPortEnumerator::AddExtraPort(const QString& portName, const QString& portPath)
{
    QMutexLocker lock(&g_extraMutex);
    for (Port& port : g_extraPorts)
        if (port.PortPath == portPath)
        {
            port.PortName = portName;
            return;
        }
    g_extraPorts.append({portName, portPath});
}

void CPortEnumerator::ClearExtraPorts()
{
    QMutexLocker lock(&g_extraMutex);
    g_extraPorts.clear();
}

QList<CPortEnumerator::Port> CPortEnumerator::ExtraPorts()
{
    QMutexLocker lock(&g_extraMutex);
    return g_extraPorts;
}

void CPortEnumerator::SetSystemPortsEnabled(bool enabled)
{
    QMutexLocker lock(&g_extraMutex);
    g_systemEnabled = enabled;
}

QList<CPortEnumerator::Port> CPortEnumerator::AllPorts()
{
    bool system;
    {
        QMutexLocker lock(&g_extraMutex);
        system = g_systemEnabled;
    }
    QList<Port> ports = system ? SystemPorts() : QList<Port>();
    ports += ExtraPorts();
    return ports;
}
