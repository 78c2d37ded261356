#pragma once

#include <QString>
#include <QStringList>

// "Com n" (n = 1..20) names a device path. EMU_PORTS, a colon-separated list of device paths,
// sets Com1, Com2, ... explicitly (an empty entry: no device). Without it, Com n is the n-th of
// the machine's serial devices in the order /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*, each by number.
namespace PortNaming {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 20;

// The device path of port n, or an empty string when no device stands behind it.
QString devicePath(int port);

// The machine's serial devices in port order (without EMU_PORTS).
QStringList machineSerialDevices(const QString& devRoot = QStringLiteral("/dev"));

// "Com" followed by the decimal number.
QString portName(int port);

} // namespace PortNaming
