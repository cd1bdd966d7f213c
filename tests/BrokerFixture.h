#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// A private mosquitto broker on 127.0.0.1 and a free port: persistence off, anonymous clients
// allowed, its own configuration; stopped at the end. Only the loopback is ever used.
class BrokerFixture
{
public:
    static constexpr int kStartWaitMs = 10000;

    BrokerFixture() { m_port = freePort(); }

    // Lines added to the broker's configuration (TLS, a password file) before start().
    void addConfiguration(const QString &lines) { m_extra += lines; }
    QString folder() const { return m_dir.path(); }
    ~BrokerFixture() { stop(); }

    static bool isInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("mosquitto")).isEmpty(); }

    // Starts (or starts again, on the same port) and waits until the port answers.
    bool start()
    {
        if (!m_dir.isValid() || m_port == 0)
            return false;
        const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        // `user root`: a broker started as root otherwise switches users and cannot read this folder.
        const QString anonymous = m_extra.contains(QLatin1String("password_file")) ? QStringLiteral("false")
                                                                                : QStringLiteral("true");
        file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous %2\npersistence false\n"
                                  "log_dest none\nset_tcp_nodelay true\nuser root\n%3")
                       .arg(m_port)
                       .arg(anonymous, m_extra)
                       .toUtf8());
        file.close();
        m_process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config});
        if (!m_process.waitForStarted(kStartWaitMs))
            return false;
        const QDeadlineTimer deadline(kStartWaitMs);
        while (!deadline.hasExpired()) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
            if (probe.waitForConnected(100))
                return true;
            if (m_process.state() != QProcess::Running)
                return false;
            QTest::qWait(20);
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        pause(false);
        m_process.terminate();
        if (!m_process.waitForFinished(kStartWaitMs))
            m_process.kill();
        m_process.waitForFinished(kStartWaitMs);
    }

    // Stops (SIGSTOP) or resumes (SIGCONT) the broker: a broker that no longer answers.
    bool pause(bool paused)
    {
        const qint64 pid = m_process.processId();
        return pid > 0 && ::kill(pid_t(pid), paused ? SIGSTOP : SIGCONT) == 0;
    }

    int port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    QStringList hostArguments() const
    {
        return {QStringLiteral("-h"), host(), QStringLiteral("-p"), QString::number(m_port)};
    }

private:
    static int freePort()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0))
            return 0;
        return server.serverPort();
    }

    QTemporaryDir m_dir;
    QString m_extra;
    QProcess m_process;
    int m_port = 0;
};
