#include "device/PortTable.h"

#include "core/SettingsStore.h"
#include "device/LoopbackPort.h"
#include "device/QtSerialPort.h"

#include <QFileInfo>

namespace {
const QString kSection = QStringLiteral("Ports");

QString keyFor(int port)
{
    return QStringLiteral("COM%1").arg(port);
}
} // namespace

QString PortTable::defaultPathFor(int port)
{
    if (port >= 1 && port <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port >= 5 && port <= 8)
        return QStringLiteral("/dev/ttyUSB%1").arg(port - 5);
    return {};
}

QString PortTable::pathFor(int port)
{
    if (port < kFirstPort || port > kLastPort)
        return {};
    return SettingsStore::readText(kSection, keyFor(port), defaultPathFor(port)).trimmed();
}

void PortTable::setPath(int port, const QString &path)
{
    if (port >= kFirstPort && port <= kLastPort)
        SettingsStore::writeText(kSection, keyFor(port), path);
}

QString PortTable::resolved(const QString &path)
{
    // Lock files follow the name, so two links to one device must open under the same name.
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

std::unique_ptr<SerialPort> PortTable::createForPath(const QString &path)
{
    if (path == kLoopback)
        return std::make_unique<LoopbackPort>(path);
    return std::make_unique<QtSerialPort>(resolved(path));
}

std::unique_ptr<SerialPort> PortTable::create(int port)
{
    const QString path = pathFor(port);
    if (path == kLoopback)
        return std::make_unique<LoopbackPort>(QStringLiteral("%1:%2").arg(kLoopback).arg(port));
    return createForPath(path);
}
