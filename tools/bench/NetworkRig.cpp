#include "NetworkRig.h"

#include <QMetaObject>

namespace {
constexpr int kQosAtLeastOnce = 1;

MqttClient::Options optionsFor(const BrokerFixture &broker)
{
    MqttClient::Options options;
    options.host = broker.host();
    options.port = broker.port();
    return options;
}
} // namespace

BrokerListener::BrokerListener(const BrokerFixture &broker, const QString &filter)
    : m_client(std::make_unique<MqttClient>())
{
    static std::atomic<int> listeners = 0;
    m_probeTopic = QStringLiteral("bench/probe/%1").arg(++listeners);
    m_client->moveToThread(&m_thread);
    MqttClient *client = m_client.get();
    // Direct: both run on the listener's thread, where the client lives.
    QObject::connect(
        client, &MqttClient::connectedChanged, client,
        [this, client, filter](bool connected, const QString &) {
            m_ready = false;
            if (!connected)
                return;
            // The broker takes a client's packets in order: once the probe is back, so is the filter.
            client->subscribe(filter, kQosAtLeastOnce, false);
            client->subscribe(m_probeTopic, kQosAtLeastOnce, false);
            MqttClient::Publication probe;
            probe.topic = m_probeTopic;
            probe.qos = kQosAtLeastOnce;
            client->publish(probe);
        },
        Qt::DirectConnection);
    QObject::connect(
        client, &MqttClient::messageArrived, client,
        [this](const MqttMessage &message) {
            const Clock::time_point at = Clock::now();
            if (message.topic == m_probeTopic) {
                m_ready = true;
                return;
            }
            const std::lock_guard lock(m_mutex);
            m_arrivals.push_back({message.topic, message.payload, at});
        },
        Qt::DirectConnection);
    m_thread.start();
    const MqttClient::Options options = optionsFor(broker);
    QMetaObject::invokeMethod(client, [client, options] { client->start(options); }, Qt::BlockingQueuedConnection);
}

BrokerListener::~BrokerListener()
{
    MqttClient *client = m_client.get();
    QMetaObject::invokeMethod(client, [client] { client->stop(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    m_client.reset();
}

bool BrokerListener::waitReady(int timeoutMs)
{
    return runEventsUntil([this] { return m_ready.load(); }, timeoutMs);
}

std::optional<BrokerListener::Arrival> BrokerListener::waitFor(const QString &topic, const QByteArray &payload,
                                                               int timeoutMs, Clock::time_point after)
{
    std::optional<Arrival> found;
    runEventsUntil(
        [&] {
            const std::lock_guard lock(m_mutex);
            for (const Arrival &arrival : m_arrivals) {
                if (arrival.at >= after && arrival.topic == topic && (payload.isEmpty() || arrival.payload == payload)) {
                    found = arrival;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

int BrokerListener::count() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_arrivals.size());
}

NetworkScene::NetworkScene(const VirtualSupply::Options &options) : BenchWindow(options)
{
    if (window)
        window->timer().stop();
}

NetworkScene::~NetworkScene()
{
    // Offline goes out while the broker is still there to take it.
    if (window)
        network().stop();
}

bool NetworkScene::start(QString &why, Network mode)
{
    if (!ready())
        why = kNotConnected;
    else if (!BrokerFixture::isInstalled())
        why = QStringLiteral("mosquitto is not installed (scripts/install-deps.sh installs it)");
    else if (!broker.start())
        why = QStringLiteral("the broker did not start");
    else if (!setNetwork(mode))
        why = QStringLiteral("the network did not connect");
    else
        return true;
    return false;
}

bool NetworkScene::setNetwork(Network mode)
{
    NetworkSettings settings;
    settings.enabled = mode != Network::Off;
    settings.host = broker.host();
    settings.port = broker.port();
    settings.prefix = kPrefix;
    settings.remoteControl = mode == Network::RemoteControl;
    network().apply(settings);
    return !settings.enabled
           || runEventsUntil([this] { return network().state() == NetworkLink::State::Connected; }, kWaitMs);
}

bool startClient(MqttClient &client, const BrokerFixture &broker)
{
    return client.start(optionsFor(broker))
           && runEventsUntil([&client] { return client.isConnected(); }, NetworkScene::kWaitMs);
}

bool sendCommand(MqttClient &client, const QString &line, const QString &responseTopic, const QByteArray &correlation)
{
    MqttClient::Publication publication;
    publication.topic = NetworkScene::topic(QStringLiteral("cmd"));
    publication.payload = line.toUtf8();
    publication.qos = kQosAtLeastOnce;
    publication.responseTopic = responseTopic;
    publication.correlationData = correlation;
    return client.publish(publication);
}
