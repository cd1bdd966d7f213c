#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

// One message as it arrived, with the MQTT 5 properties a request carries.
struct MqttMessage
{
    QString topic;
    QByteArray payload;
    bool retained = false;
    QString responseTopic;
    QByteArray correlationData;
};
Q_DECLARE_METATYPE(MqttMessage)

// A client of an MQTT 5 broker through libmosquitto. The library's network thread does the
// connecting, reconnecting (1 s more each attempt, at most 5 s) and sending; what it reports
// reaches this object's thread as queued calls, so a broker that cannot be reached never holds
// up the caller.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString host = QStringLiteral("127.0.0.1");
        int port = 1883;
        QString clientId;
        QString username;
        QString password;
        QString caFile;
        QString certFile;
        QString keyFile;
        int keepAliveSeconds = 30;
        // The last will: published by the broker when this client goes without a word.
        QString willTopic;
        QByteArray willPayload;
    };
    struct Publication
    {
        QString topic;
        QByteArray payload;
        int qos = 0;
        bool retain = false;
        quint32 expirySeconds = 0; // 0: the message does not expire
        QByteArray correlationData;
        QString responseTopic; // a request's: where its answer goes
    };

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Starts the network thread and the connection; false (with errorString()) when the options
    // are refused at once. Attempts go on until stop().
    bool start(const Options &options);
    // Publishes `goodbye` (when given) and disconnects cleanly; the will is not sent.
    void stop(const Publication *goodbye = nullptr);
    bool isConnected() const { return m_connected; }
    QString errorString() const { return m_errorString; }

    // False when the library refused it (not connected: the message is dropped).
    bool publish(const Publication &publication);
    // `retainAsPublished`: live messages keep their retain flag, so a retained one can be told.
    bool subscribe(const QString &filter, int qos, bool retainAsPublished);

signals:
    // `refused`: the broker answered and said no (a wrong password, say); it goes on trying.
    void connectedChanged(bool connected, const QString &reason, bool refused);
    void messageArrived(const MqttMessage &message);

private:
    static void onConnect(mosquitto *client, void *self, int rc, int flags, const mosquitto_property *properties);
    static void onDisconnect(mosquitto *client, void *self, int rc, const mosquitto_property *properties);
    static void onMessage(mosquitto *client, void *self, const mosquitto_message *message,
                          const mosquitto_property *properties);
    void setConnected(bool connected, const QString &reason, bool refused = false);

    mosquitto *m_client = nullptr;
    bool m_connected = false; // as last reported to this thread
    QString m_errorString;
};
