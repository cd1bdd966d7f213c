#pragma once

#include <QString>

#include <optional>

// The lab network's settings, section [Network] of the settings file. Off until enabled; when
// on, commands that change anything are refused until remote control is allowed.
struct NetworkSettings
{
    static inline const QString kSection = QStringLiteral("Network");
    static constexpr int kDefaultPort = 1883;
    static constexpr int kDefaultKeepAliveSeconds = 30;

    bool enabled = false;
    QString host = QStringLiteral("127.0.0.1");
    int port = kDefaultPort;
    QString prefix;   // empty: defaultPrefix()
    QString clientId; // empty: clientIdFor(prefix)
    QString username;
    QString passwordFile;
    QString caFile;
    QString certFile;
    QString keyFile;
    bool remoteControl = false;
    int keepAliveSeconds = kDefaultKeepAliveSeconds;

    static NetworkSettings load();
    void store() const;

    // "tavrel/<host name>".
    static QString defaultPrefix();
    // Stable for a prefix, so a broker's access list can name it.
    static QString clientIdFor(const QString &prefix);
    QString effectivePrefix() const { return prefix.isEmpty() ? defaultPrefix() : prefix; }
    QString effectiveClientId() const { return clientId.isEmpty() ? clientIdFor(effectivePrefix()) : clientId; }

    // The password alone in a file only its owner may read (mode 0600 or stricter); a trailing
    // newline is not part of it. Nothing, with `error` set, for any other file.
    static std::optional<QString> readPassword(const QString &path, QString &error);
};
