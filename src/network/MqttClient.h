#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

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
// reconnecting (1 s more each attempt, at most 5 s) and sending; the first connect, which looks
// the host name up, runs on a thread of its own. What they report reaches this object's thread as
// queued calls, so neither a broker nor a name server that does not answer ever holds up the caller.
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
    // are refused at once. Attempts go on until stop() or failed().
    bool start(const Options &options);
    // Publishes `goodbye` (when given) and disconnects cleanly; the will is not sent. Never waits
    // for a connect that is still looking the host up: that thread finishes the client itself.
    void stop(const Publication *goodbye = nullptr);
    bool isConnected() const { return m_connected; }
    QString errorString() const { return m_errorString; }

    // False when not connected (the message is dropped) or the library refused it.
    bool publish(const Publication &publication);
    // `retainAsPublished`: live messages keep their retain flag, so a retained one can be told.
    // False when not connected.
    bool subscribe(const QString &filter, int qos, bool retainAsPublished);

signals:
    // `refused`: the broker answered and said no (a wrong password, say); it goes on trying.
    void connectedChanged(bool connected, const QString &reason, bool refused);
    void messageArrived(const MqttMessage &message);
    // The connection cannot be made with these options (a port out of range, say): it has stopped.
    void failed(const QString &reason);

private:
    struct Session;

    static void onConnect(mosquitto *client, void *self, int rc, int flags, const mosquitto_property *properties);
    static void onDisconnect(mosquitto *client, void *self, int rc, const mosquitto_property *properties);
    static void onMessage(mosquitto *client, void *self, const mosquitto_message *message,
                          const mosquitto_property *properties);
    void setConnected(bool connected, const QString &reason, bool refused = false);
    // Runs `call` on this object's thread, unless the session it came from has ended by then.
    template<typename Call>
    static void post(Session *session, Call call);

    std::shared_ptr<Session> m_session; // null when stopped
    quint64 m_sessions = 0;
    mosquitto *m_client = nullptr;      // the session's, while it runs
    bool m_connected = false; // as last reported to this thread
    QString m_errorString;
};
