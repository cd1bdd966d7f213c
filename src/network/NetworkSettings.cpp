#include "network/NetworkSettings.h"

#include "core/Conversions.h"
#include "core/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>

namespace {

constexpr qint64 kMaxPasswordBytes = 4096;

bool readFlag(const QString &key)
{
    return LeadingNumber(SettingsStore::readText(NetworkSettings::kSection, key, QStringLiteral("0"))) != 0;
}

QString readText(const QString &key, const QString &fallback = QString())
{
    return SettingsStore::readText(NetworkSettings::kSection, key, fallback).trimmed();
}

int readNumber(const QString &key, int fallback, int lowest, int highest)
{
    const QString text = readText(key);
    if (text.isEmpty())
        return fallback;
    const double value = LeadingNumber(text);
    return value >= lowest && value <= highest ? int(value) : fallback;
}

void write(const QString &key, const QString &text)
{
    SettingsStore::writeText(NetworkSettings::kSection, key, text);
}

} // namespace

NetworkSettings NetworkSettings::load()
{
    constexpr int kHighestPort = 65535;
    constexpr int kLongestKeepAlive = 65535;
    NetworkSettings settings;
    settings.enabled = readFlag(QStringLiteral("Enabled"));
    settings.host = readText(QStringLiteral("Host"), settings.host);
    settings.port = readNumber(QStringLiteral("Port"), kDefaultPort, 1, kHighestPort);
    settings.prefix = readText(QStringLiteral("Prefix"));
    settings.clientId = readText(QStringLiteral("ClientId"));
    settings.username = readText(QStringLiteral("Username"));
    settings.passwordFile = readText(QStringLiteral("PasswordFile"));
    settings.caFile = readText(QStringLiteral("CaFile"));
    settings.certFile = readText(QStringLiteral("CertFile"));
    settings.keyFile = readText(QStringLiteral("KeyFile"));
    settings.remoteControl = readFlag(QStringLiteral("RemoteControl"));
    settings.keepAliveSeconds =
        readNumber(QStringLiteral("KeepAlive"), kDefaultKeepAliveSeconds, 5, kLongestKeepAlive);
    return settings;
}

void NetworkSettings::store() const
{
    write(QStringLiteral("Enabled"), enabled ? QStringLiteral("1") : QStringLiteral("0"));
    write(QStringLiteral("Host"), host);
    write(QStringLiteral("Port"), QString::number(port));
    write(QStringLiteral("Prefix"), prefix);
    write(QStringLiteral("ClientId"), clientId);
    write(QStringLiteral("Username"), username);
    write(QStringLiteral("PasswordFile"), passwordFile);
    write(QStringLiteral("CaFile"), caFile);
    write(QStringLiteral("CertFile"), certFile);
    write(QStringLiteral("KeyFile"), keyFile);
    write(QStringLiteral("RemoteControl"), remoteControl ? QStringLiteral("1") : QStringLiteral("0"));
    write(QStringLiteral("KeepAlive"), QString::number(keepAliveSeconds));
}

QString NetworkSettings::defaultPrefix()
{
    QString host = QHostInfo::localHostName();
    // A topic level may not hold the wildcards or a separator.
    for (QChar &ch : host)
        if (ch == QLatin1Char('/') || ch == QLatin1Char('+') || ch == QLatin1Char('#'))
            ch = QLatin1Char('_');
    return QStringLiteral("tavrel/") + (host.isEmpty() ? QStringLiteral("localhost") : host);
}

QString NetworkSettings::clientIdFor(const QString &prefix)
{
    QString id = prefix;
    id.replace(QLatin1Char('/'), QLatin1Char('-'));
    return id;
}

std::optional<QString> NetworkSettings::readPassword(const QString &path, QString &error)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        error = QStringLiteral("%1 is not a file").arg(path);
        return std::nullopt;
    }
    constexpr QFile::Permissions kOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                           | QFile::WriteOther | QFile::ExeOther;
    if (info.permissions() & kOthers) {
        error = QStringLiteral("%1 may be read by others: it must have mode 0600").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxPasswordBytes);
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}
