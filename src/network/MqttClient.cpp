#include "network/MqttClient.h"

#include <QMetaObject>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

constexpr unsigned kReconnectFirstSeconds = 1;
constexpr unsigned kReconnectMaxSeconds = 5;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString reasonText(int rc)
{
    return QString::fromUtf8(mosquitto_reason_string(rc));
}

// Properties freed when they go out of scope.
class Properties
{
public:
    Properties() = default;
    Properties(const Properties &) = delete;
    Properties &operator=(const Properties &) = delete;
    ~Properties() { mosquitto_property_free_all(&m_list); }
    mosquitto_property **list() { return &m_list; }
    const mosquitto_property *get() const { return m_list; }

private:
    mosquitto_property *m_list = nullptr;
};

} // namespace

// What the client shares with the library's network thread and the connect thread. The last of
// them to let go destroys the library's client, so a connect still looking a host up never has
// it freed under it, and a client that stops never waits for that connect.
struct MqttClient::Session
{
    Session() = default;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session()
    {
        if (handle) {
            mosquitto_loop_stop(handle, true);
            mosquitto_destroy(handle);
        }
    }

    mosquitto *handle = nullptr;
    quint64 generation = 0;
    std::mutex mutex;
    MqttClient *owner = nullptr; // null once the client let go
    bool connecting = true;      // the connect call has not returned
};

template<typename Call>
void MqttClient::post(Session *session, Call call)
{
    const std::lock_guard lock(session->mutex);
    MqttClient *client = session->owner;
    if (!client)
        return;
    const quint64 generation = session->generation;
    QMetaObject::invokeMethod(
        client,
        [client, generation, call] {
            if (client->m_session && client->m_session->generation == generation)
                call(client);
        },
        Qt::QueuedConnection);
}

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<MqttMessage>();
    initLibrary();
}

MqttClient::~MqttClient()
{
    stop();
}

bool MqttClient::start(const Options &options)
{
    stop();
    m_errorString.clear();
    auto session = std::make_shared<Session>();
    session->generation = ++m_sessions;
    session->owner = this;
    const QByteArray clientId = options.clientId.toUtf8();
    session->handle = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(), true, session.get());
    mosquitto *client = session->handle;
    if (!client) {
        m_errorString = tr("the MQTT client could not be made");
        return false;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // Without it a request and its answer wait for delayed acknowledgements (tens of ms).
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_reconnect_delay_set(client, kReconnectFirstSeconds, kReconnectMaxSeconds, false);
    mosquitto_connect_v5_callback_set(client, &MqttClient::onConnect);
    mosquitto_disconnect_v5_callback_set(client, &MqttClient::onDisconnect);
    mosquitto_message_v5_callback_set(client, &MqttClient::onMessage);

    int rc = MOSQ_ERR_SUCCESS;
    if (!options.username.isEmpty())
        rc = mosquitto_username_pw_set(client, options.username.toUtf8().constData(),
                                       options.password.isEmpty() ? nullptr : options.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && (!options.caFile.isEmpty() || !options.certFile.isEmpty())) {
        const QByteArray ca = options.caFile.toUtf8();
        const QByteArray cert = options.certFile.toUtf8();
        const QByteArray key = options.keyFile.toUtf8();
        rc = mosquitto_tls_set(client, ca.isEmpty() ? nullptr : ca.constData(), nullptr,
                               cert.isEmpty() ? nullptr : cert.constData(), key.isEmpty() ? nullptr : key.constData(),
                               nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && !options.willTopic.isEmpty())
        rc = mosquitto_will_set_v5(client, options.willTopic.toUtf8().constData(), int(options.willPayload.size()),
                                   options.willPayload.constData(), 1, true, nullptr);
    // The network thread first: started after an asynchronous connect to a broker that was not
    // up yet, the client took many seconds to connect once it was.
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_start(client);
    if (rc != MOSQ_ERR_SUCCESS) {
        m_errorString = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno)) : reasonText(rc);
        return false; // the session's end destroys the client
    }
    m_session = session;
    m_client = client;
    // The connect looks the host name up, which can take as long as the name service likes.
    std::thread([session, host = options.host, port = options.port, keepAlive = options.keepAliveSeconds] {
        const QByteArray hostName = host.toUtf8();
        const int rc = mosquitto_connect_async(session->handle, hostName.constData(), port, keepAlive);
        const int error = errno;
        {
            const std::lock_guard lock(session->mutex);
            session->connecting = false;
        }
        // A broker that is not there yet, or a name not found yet: the network thread keeps trying.
        if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_NO_CONN)
            return;
        if (rc == MOSQ_ERR_EAI) {
            const QString reason = tr("%1 not found by the name service; trying again").arg(host);
            post(session.get(), [reason](MqttClient *client) { client->setConnected(false, reason); });
            return;
        }
        const QString reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(error)) : reasonText(rc);
        post(session.get(), [reason](MqttClient *client) {
            client->stop();
            client->m_errorString = reason;
            emit client->failed(reason);
        });
    }).detach();
    return true;
}

void MqttClient::stop(const Publication *goodbye)
{
    if (!m_session)
        return;
    const std::shared_ptr<Session> session = std::move(m_session);
    bool connecting = false;
    {
        const std::lock_guard lock(session->mutex);
        session->owner = nullptr;
        connecting = session->connecting;
    }
    if (!connecting) {
        if (goodbye && m_connected)
            publish(*goodbye);
        mosquitto_disconnect_v5(m_client, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
        // Connected, the thread ends once what was queued before the disconnect has gone out. Not
        // connected, it may sit in a connect to a host that never answers: it is cancelled, so the
        // program's end never waits for the network.
        mosquitto_loop_stop(m_client, !m_connected);
        mosquitto_destroy(m_client);
        session->handle = nullptr;
    }
    m_client = nullptr;
    if (m_connected)
        setConnected(false, tr("stopped"));
}

bool MqttClient::publish(const Publication &publication)
{
    if (!m_client || !m_connected)
        return false;
    Properties properties;
    if (publication.expirySeconds > 0)
        mosquitto_property_add_int32(properties.list(), MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, publication.expirySeconds);
    if (!publication.correlationData.isEmpty())
        mosquitto_property_add_binary(properties.list(), MQTT_PROP_CORRELATION_DATA,
                                      publication.correlationData.constData(),
                                      quint16(publication.correlationData.size()));
    if (!publication.responseTopic.isEmpty())
        mosquitto_property_add_string(properties.list(), MQTT_PROP_RESPONSE_TOPIC,
                                      publication.responseTopic.toUtf8().constData());
    const int rc = mosquitto_publish_v5(m_client, nullptr, publication.topic.toUtf8().constData(),
                                        int(publication.payload.size()), publication.payload.constData(),
                                        publication.qos, publication.retain, properties.get());
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const QString &filter, int qos, bool retainAsPublished)
{
    if (!m_client || !m_connected)
        return false;
    const int options = retainAsPublished ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0;
    return mosquitto_subscribe_v5(m_client, nullptr, filter.toUtf8().constData(), qos, options, nullptr)
           == MOSQ_ERR_SUCCESS;
}

void MqttClient::setConnected(bool connected, const QString &reason, bool refused)
{
    m_connected = connected;
    emit connectedChanged(connected, reason, refused);
}

// The three callbacks run on the library's network thread: they only hand over.
void MqttClient::onConnect(mosquitto *, void *self, int rc, int, const mosquitto_property *)
{
    const bool connected = rc == MOSQ_ERR_SUCCESS;
    const QString reason = connected ? QString() : QString::fromUtf8(mosquitto_connack_string(rc));
    post(static_cast<Session *>(self),
         [connected, reason](MqttClient *client) { client->setConnected(connected, reason, !connected); });
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc, const mosquitto_property *)
{
    const QString reason = reasonText(rc);
    post(static_cast<Session *>(self), [reason](MqttClient *client) { client->setConnected(false, reason); });
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message,
                           const mosquitto_property *properties)
{
    MqttMessage arrived;
    arrived.topic = QString::fromUtf8(message->topic);
    arrived.payload = QByteArray(static_cast<const char *>(message->payload), message->payloadlen);
    arrived.retained = message->retain;
    char *responseTopic = nullptr;
    if (mosquitto_property_read_string(properties, MQTT_PROP_RESPONSE_TOPIC, &responseTopic, false)) {
        arrived.responseTopic = QString::fromUtf8(responseTopic);
        std::free(responseTopic);
    }
    void *correlation = nullptr;
    uint16_t length = 0;
    if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &correlation, &length, false)) {
        arrived.correlationData = QByteArray(static_cast<const char *>(correlation), length);
        std::free(correlation);
    }
    post(static_cast<Session *>(self), [arrived](MqttClient *client) { emit client->messageArrived(arrived); });
}
