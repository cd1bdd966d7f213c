#pragma once

#include "network/MqttClient.h"
#include "network/NetworkSettings.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <vector>

class LinkGrammar;
class SupplyLine;
class SupplyModel;
struct ModuleTable;

// The control link over MQTT: the same lines, items, answers and error numbers as the local
// socket, carried by a broker. Under <prefix>:
//   status          online | offline (retained; offline is the last will too)
//   meta            JSON: version, model, modules with limits, items (retained)
//   item/<item>     each item's text, retained, on every change
//   state           JSON of every item after each complete read-back, with a sequence number
//                   (retained, expiring after a few refresh periods)
//   cmd             a control-link line; the answer goes to the request's response topic with
//                   its correlation data, and that topic is the conversation (STEP, END, CHANGED)
//   journal         each journal line as it is written
// Commands that change anything are refused until remote control is allowed; a retained command
// is never carried out; the queue of commands is bounded and the serial line gets at most one of
// their jobs at a time.
class NetworkLink : public QObject
{
    Q_OBJECT
public:
    enum ErrorNumber : qint16 {
        kErrorRemoteControlOff = 15,
        kErrorRetainedCommand = 16,
        kErrorTooManyCommands = 17,
    };
    enum class State { Off, Connecting, Connected, Failed };
    static constexpr int kMaxQueuedCommands = 64;
    static constexpr int kMaxConversations = 64;
    static constexpr qsizetype kMaxPayloadBytes = 4096;
    static constexpr quint32 kStateExpirySeconds = 5; // a few refresh periods of 1 s
    static constexpr int kLineBusyRetryMs = 20;

    NetworkLink(LinkGrammar &grammar, SupplyModel &model, SupplyLine &line, const ModuleTable &limits,
                QObject *parent = nullptr);
    ~NetworkLink() override;

    // Starts, restarts or stops the connection as the settings say.
    void apply(const NetworkSettings &settings);
    // A clean end: offline is published, then the connection closes.
    void stop();
    const NetworkSettings &settings() const { return m_settings; }
    State state() const { return m_state; }
    QString stateText() const { return m_stateText; }
    QString prefix() const { return m_prefix; }

    // Every item's change (the model's and the extensions'), as the socket hears of it.
    void itemChanged(const QString &item, const QString &text);
    // A complete read-back: the state message.
    void publishState();
    // A journal line as written.
    void publishJournalLine(const QByteArray &line);
    // A line for a conversation (a ramp's STEP and END); dropped when it is not one of ours.
    void sendTo(const void *conversation, const QString &line);
    // The item texts that extensions do not report as changes are looked at again.
    void refreshExtensionItems();
    // The supply's model, as the meta message names it.
    void setSupplyName(const QString &name);

signals:
    void stateChanged(NetworkLink::State state, const QString &text);
    // A command from the network was carried out or refused (the journal's record).
    void commandHandled(const QString &client, const QString &line, const QString &answer);

private:
    struct Conversation
    {
        QString responseTopic;
        QByteArray correlationData; // of its latest request
        QSet<QString> advised;
        quint64 lastUse = 0;
    };
    struct Command
    {
        MqttMessage message;
        QString line;
    };
    // One member of the state message's items, kept with its JSON text: a read-back changes
    // few of them, and that text is most of the message's cost.
    struct StateItem
    {
        QString name;
        QString text;
        QByteArray member; // "name":"text", as QJsonDocument writes it
    };

    void setState(State state, const QString &text);
    void onConnected(bool connected, const QString &reason, bool refused);
    void onMessage(const MqttMessage &message);
    void processQueue();
    void carryOut(const Command &command);
    void answer(const MqttMessage &request, const QString &text);
    Conversation *conversationFor(const MqttMessage &message);
    void publishAll();
    void publishMeta();
    void publishItem(const QString &item, const QString &text);
    QByteArray stateItemsJson();
    void publishText(const QString &subtopic, const QByteArray &payload, int qos, bool retain,
                     quint32 expirySeconds = 0, const QByteArray &correlation = QByteArray());
    QString topic(const QString &subtopic) const { return m_prefix + QLatin1Char('/') + subtopic; }

    LinkGrammar &m_grammar;
    SupplyModel &m_model;
    SupplyLine &m_line;
    const ModuleTable &m_limits;
    NetworkSettings m_settings;
    QString m_prefix;
    MqttClient m_client;
    State m_state = State::Off;
    QString m_stateText = QStringLiteral("off");
    std::deque<Command> m_queue;
    QTimer m_queueTimer;
    std::map<QString, std::unique_ptr<Conversation>> m_conversations;
    quint64 m_uses = 0;
    quint64 m_stateSequence = 0;
    QStringList m_stateNames;            // the item names m_stateItems was made for
    std::vector<StateItem> m_stateItems; // in the order a QJsonObject keeps its keys
    qsizetype m_stateJsonBytes = 0;      // of the last one, to reserve
    QHash<QString, QString> m_extensionTexts; // as last published
    QString m_supplyName;
};
