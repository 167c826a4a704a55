#pragma once

#include <QString>

// One gauge port found by the enumeration: the texts the selector shows and
// the path every task opens. Name and SerialNumber are "<Н/Д>" until task 0
// has identified the gauge behind the port.
struct DeviceInfo
{
    QString Name;
    QString SerialNumber;
    QString PortName;
    QString PortPath;
};
