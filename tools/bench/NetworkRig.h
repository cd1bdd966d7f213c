#pragma once

#include "BenchWindow.h"
#include "BrokerFixture.h"

#include "network/MqttClient.h"
#include "network/NetworkLink.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// A subscriber on a thread of its own that stamps each message as it arrives, so that the
// window's event loop never delays the stamp. Subscribes again on every connect.
class BrokerListener
{
public:
    using Clock = std::chrono::steady_clock;
    struct Arrival
    {
        QString topic;
        QByteArray payload;
        Clock::time_point at;
    };

    BrokerListener(const BrokerFixture &broker, const QString &filter);
    ~BrokerListener();
    BrokerListener(const BrokerListener &) = delete;
    BrokerListener &operator=(const BrokerListener &) = delete;

    // Runs the event loop until the subscription is in place (a probe of its own came back).
    bool waitReady(int timeoutMs);
    // Runs the event loop until a message on `topic` (with `payload`, unless empty) that arrived
    // at or after `after` is there.
    std::optional<Arrival> waitFor(const QString &topic, const QByteArray &payload, int timeoutMs,
                                   Clock::time_point after = {});
    int count() const;

private:
    QString m_probeTopic;
    QThread m_thread;
    std::unique_ptr<MqttClient> m_client;
    std::atomic<bool> m_ready = false;
    mutable std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
};

// The window on the virtual supply (unpaced unless told), its timer stopped, and a private
// broker for its network.
struct NetworkScene : BenchWindow
{
    static constexpr int kWaitMs = 10000; // only a hang reaches it
    static inline const QString kPrefix = QStringLiteral("bench/lab");

    enum class Network { Off, On, RemoteControl };

    explicit NetworkScene(const VirtualSupply::Options &options = {});
    ~NetworkScene();

    // The window connected, the broker up and the network as asked; false with `why`.
    bool start(QString &why, Network mode);
    // Switches the network (and waits until it is connected, unless off).
    bool setNetwork(Network mode);
    NetworkLink &network() { return window->tools().network(); }
    static QString topic(const QString &subtopic) { return kPrefix + QLatin1Char('/') + subtopic; }

    BrokerFixture broker;
};

// A client of ours on the window's thread, connected to `broker`.
bool startClient(MqttClient &client, const BrokerFixture &broker);
// One control-link line to the program's cmd topic, answered on `responseTopic`.
bool sendCommand(MqttClient &client, const QString &line, const QString &responseTopic,
                 const QByteArray &correlation = {});
