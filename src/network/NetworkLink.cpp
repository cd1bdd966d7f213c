#include "network/NetworkLink.h"

#include "core/Conversions.h"
#include "core/ModuleTable.h"
#include "device/SupplyLine.h"
#include "device/SupplyModel.h"
#include "remote/LinkGrammar.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace {

const QString kOnline = QStringLiteral("online");
const QString kOffline = QStringLiteral("offline");
constexpr int kQosAtLeastOnce = 1;

// "&Energy (eV)" -> name "Energy", unit "eV".
std::pair<QString, QString> nameAndUnit(int module)
{
    QString caption = ModuleTable::caption(module);
    caption.remove(QLatin1Char('&'));
    const qsizetype open = caption.indexOf(QLatin1Char('('));
    const qsizetype close = caption.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return {caption.trimmed(), QString()};
    return {caption.left(open).trimmed(), caption.mid(open + 1, close - open - 1).trimmed()};
}

QJsonArray range(float lower, float upper, float step)
{
    return QJsonArray{double(lower), double(upper), double(step)};
}

} // namespace

NetworkLink::NetworkLink(LinkGrammar &grammar, SupplyModel &model, SupplyLine &line, const ModuleTable &limits,
                         QObject *parent)
    : QObject(parent), m_grammar(grammar), m_model(model), m_line(line), m_limits(limits)
{
    m_queueTimer.setSingleShot(true);
    connect(&m_queueTimer, &QTimer::timeout, this, &NetworkLink::processQueue);
    connect(&m_client, &MqttClient::connectedChanged, this, &NetworkLink::onConnected);
    connect(&m_client, &MqttClient::messageArrived, this, &NetworkLink::onMessage);
    connect(&m_client, &MqttClient::failed, this, [this](const QString &reason) {
        setState(State::Failed, tr("cannot connect to %1:%2 (%3)").arg(m_settings.host).arg(m_settings.port).arg(reason));
    });
}

NetworkLink::~NetworkLink()
{
    // The extensions may be gone already: the conversations end without telling them.
    m_conversations.clear();
    stop();
}

void NetworkLink::setState(State state, const QString &text)
{
    if (state == m_state && text == m_stateText)
        return;
    m_state = state;
    m_stateText = text;
    emit stateChanged(state, text);
}

void NetworkLink::apply(const NetworkSettings &settings)
{
    stop();
    m_settings = settings;
    if (!settings.enabled) {
        setState(State::Off, tr("off"));
        return;
    }
    m_prefix = settings.effectivePrefix();
    MqttClient::Options options;
    options.host = settings.host;
    options.port = settings.port;
    options.clientId = settings.effectiveClientId();
    options.username = settings.username;
    if (!settings.passwordFile.isEmpty()) {
        QString error;
        const std::optional<QString> password = NetworkSettings::readPassword(settings.passwordFile, error);
        if (!password) {
            setState(State::Failed, error);
            return;
        }
        options.password = *password;
    }
    options.caFile = settings.caFile;
    options.certFile = settings.certFile;
    options.keyFile = settings.keyFile;
    options.keepAliveSeconds = settings.keepAliveSeconds;
    options.willTopic = topic(QStringLiteral("status"));
    options.willPayload = kOffline.toUtf8();
    if (!m_client.start(options)) {
        setState(State::Failed, m_client.errorString());
        return;
    }
    setState(State::Connecting, tr("connecting to %1:%2").arg(settings.host).arg(settings.port));
}

void NetworkLink::stop()
{
    MqttClient::Publication goodbye;
    goodbye.topic = topic(QStringLiteral("status"));
    goodbye.payload = kOffline.toUtf8();
    goodbye.qos = kQosAtLeastOnce;
    goodbye.retain = true;
    m_client.stop(&goodbye);
    m_queue.clear();
    m_queueTimer.stop();
    for (const auto &[topicName, conversation] : m_conversations)
        m_grammar.conversationEnded(conversation.get());
    m_conversations.clear();
}

void NetworkLink::onConnected(bool connected, const QString &reason, bool refused)
{
    if (!m_settings.enabled)
        return;
    if (refused) {
        setState(State::Failed, tr("refused by %1:%2 (%3)").arg(m_settings.host).arg(m_settings.port).arg(reason));
        return;
    }
    if (!connected) {
        if (m_state == State::Failed)
            return; // the refusal stays shown while it tries again
        setState(State::Connecting, reason.isEmpty() ? tr("connecting") : tr("connecting (%1)").arg(reason));
        return;
    }
    // A broker without persistence forgets everything on a restart: subscribe and publish anew.
    m_client.subscribe(topic(QStringLiteral("cmd")), kQosAtLeastOnce, true);
    publishAll();
    setState(State::Connected, tr("connected to %1:%2").arg(m_settings.host).arg(m_settings.port));
}

void NetworkLink::publishText(const QString &subtopic, const QByteArray &payload, int qos, bool retain,
                              quint32 expirySeconds, const QByteArray &correlation)
{
    MqttClient::Publication publication;
    publication.topic = topic(subtopic);
    publication.payload = payload;
    publication.qos = qos;
    publication.retain = retain;
    publication.expirySeconds = expirySeconds;
    publication.correlationData = correlation;
    m_client.publish(publication);
}

void NetworkLink::publishAll()
{
    publishText(QStringLiteral("status"), kOnline.toUtf8(), kQosAtLeastOnce, true);
    publishMeta();
    m_extensionTexts.clear();
    const QStringList items = m_grammar.itemNames();
    for (const QString &item : items) {
        if (const std::optional<QString> text = m_grammar.itemText(item))
            publishItem(item, *text);
    }
    for (const QString &item : m_grammar.extensionItemNames())
        m_extensionTexts.insert(item, m_grammar.itemText(item).value_or(QString()));
}

void NetworkLink::publishMeta()
{
    QJsonArray modules;
    for (int i = 0; i < kModuleCount; ++i) {
        const auto [name, unit] = nameAndUnit(i);
        modules.append(QJsonObject{
            {QStringLiteral("code"), m_limits.ModuleCode[i]},
            {QStringLiteral("name"), name},
            {QStringLiteral("unit"), unit},
            {QStringLiteral("value"), range(m_limits.ValueMin[i], m_limits.ValueMax[i], m_limits.ValueStep[i])},
            {QStringLiteral("gain"), range(m_limits.GainMin[i], m_limits.GainMax[i], m_limits.GainStep[i])},
            {QStringLiteral("offset"), range(m_limits.OffsetMin[i], m_limits.OffsetMax[i], m_limits.OffsetStep[i])},
        });
    }
    const QJsonObject meta{
        {QStringLiteral("program"), QCoreApplication::applicationName()},
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("model"), m_supplyName},
        {QStringLiteral("modules"), modules},
        {QStringLiteral("items"), QJsonArray::fromStringList(m_grammar.itemNames())},
    };
    publishText(QStringLiteral("meta"), QJsonDocument(meta).toJson(QJsonDocument::Compact), kQosAtLeastOnce, true);
}

void NetworkLink::setSupplyName(const QString &name)
{
    if (name == m_supplyName)
        return;
    m_supplyName = name;
    if (m_state == State::Connected)
        publishMeta();
}

void NetworkLink::publishItem(const QString &item, const QString &text)
{
    publishText(QStringLiteral("item/") + item, text.toUtf8(), kQosAtLeastOnce, true);
}

void NetworkLink::itemChanged(const QString &item, const QString &text)
{
    if (m_state != State::Connected)
        return;
    publishItem(item, text);
    const QString line = LinkGrammar::changedLine(item, text);
    for (const auto &[topicName, conversation] : m_conversations) {
        if (conversation->advised.contains(item))
            sendTo(conversation.get(), line);
    }
}

void NetworkLink::refreshExtensionItems()
{
    if (m_state != State::Connected)
        return;
    for (const QString &item : m_grammar.extensionItemNames()) {
        const QString text = m_grammar.itemText(item).value_or(QString());
        const auto known = m_extensionTexts.constFind(item);
        if (known != m_extensionTexts.constEnd() && *known == text)
            continue;
        m_extensionTexts.insert(item, text);
        itemChanged(item, text);
    }
}

QByteArray NetworkLink::stateItemsJson()
{
    const QStringList names = m_grammar.itemNames();
    if (names != m_stateNames) {
        m_stateNames = names;
        QJsonObject keys;
        for (const QString &name : names)
            keys.insert(name, QJsonValue());
        m_stateItems.clear();
        for (const QString &name : keys.keys())
            m_stateItems.push_back({name, QString(), QByteArray()});
    }
    QByteArray json;
    json.reserve(m_stateJsonBytes);
    json += '{';
    for (StateItem &item : m_stateItems) {
        QString text = m_grammar.itemText(item.name).value_or(QString());
        if (item.member.isNull() || text != item.text) {
            // Written by QJsonDocument itself, so the escaping is exactly what the whole object's would be.
            const QByteArray object = QJsonDocument(QJsonObject{{item.name, text}}).toJson(QJsonDocument::Compact);
            item.member = object.mid(1, object.size() - 2);
            item.text = std::move(text);
        }
        if (json.size() > 1)
            json += ',';
        json += item.member;
    }
    json += '}';
    m_stateJsonBytes = json.size();
    return json;
}

void NetworkLink::publishState()
{
    if (m_state != State::Connected)
        return;
    refreshExtensionItems();
    // As QJsonDocument writes {"items":{...},"sequence":...,"time":"..."}: keys in order, no spaces.
    const QJsonObject rest{
        {QStringLiteral("sequence"), double(++m_stateSequence)},
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
    };
    const QByteArray restJson = QJsonDocument(rest).toJson(QJsonDocument::Compact);
    const QByteArray payload = "{\"items\":" + stateItemsJson() + ',' + restJson.mid(1);
    publishText(QStringLiteral("state"), payload, kQosAtLeastOnce, true, kStateExpirySeconds);
}

void NetworkLink::publishJournalLine(const QByteArray &line)
{
    if (m_state == State::Connected)
        publishText(QStringLiteral("journal"), line.trimmed(), kQosAtLeastOnce, false);
}

void NetworkLink::onMessage(const MqttMessage &message)
{
    if (message.topic != topic(QStringLiteral("cmd")))
        return;
    // Left on the broker, or sent with the flag: whoever it was meant for, it is not now.
    if (message.retained) {
        answer(message, LinkGrammar::errorLine(kErrorRetainedCommand, tr("a retained command is not carried out")));
        return;
    }
    if (message.payload.size() > kMaxPayloadBytes) {
        answer(message, LinkGrammar::lineTooLongError());
        return;
    }
    QByteArray bytes = message.payload;
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    const LinkGrammar::Decoded decoded = LinkGrammar::decode(bytes);
    if (decoded.error) {
        answer(message, decoded.errorLine);
        return;
    }
    if (std::ssize(m_queue) >= kMaxQueuedCommands) {
        answer(message, LinkGrammar::errorLine(kErrorTooManyCommands, tr("too many commands waiting")));
        return;
    }
    m_queue.push_back({message, decoded.text});
    if (!m_queueTimer.isActive())
        m_queueTimer.start(0);
}

void NetworkLink::processQueue()
{
    // One command a turn of the event loop; one that may start a job of its own waits until no
    // job waits for the line, so a flood never piles up on the serial line.
    while (!m_queue.empty()) {
        const Command &next = m_queue.front();
        const bool reads = LinkGrammar::onlyReads(next.line);
        if (!reads && m_settings.remoteControl && m_line.hasWaitingJobs()) {
            m_queueTimer.start(kLineBusyRetryMs);
            return;
        }
        const Command command = next;
        m_queue.pop_front();
        carryOut(command);
        if (!m_queue.empty())
            m_queueTimer.start(0);
        return;
    }
}

void NetworkLink::carryOut(const Command &command)
{
    QString reply;
    if (!m_settings.remoteControl && !LinkGrammar::onlyReads(command.line)) {
        reply = LinkGrammar::errorLine(kErrorRemoteControlOff, tr("remote control is not allowed"));
    } else if (command.message.responseTopic.isEmpty()) {
        // Nobody can hear an answer: a conversation of this one line, as a socket client that
        // sends and hangs up (a ramp waiting for its acknowledgements ends with it).
        Conversation once;
        const LinkAnswer result = m_grammar.handle(&once, command.line, once.advised, CommandSource::Network);
        reply = result.first;
        m_grammar.conversationEnded(&once);
    } else {
        Conversation *conversation = conversationFor(command.message);
        LinkAnswer result = m_grammar.handle(conversation, command.line, conversation->advised, CommandSource::Network);
        reply = result.first;
        if (result.next) {
            while (const std::optional<QString> more = result.next())
                reply += QLatin1Char('\n') + *more;
        }
    }
    answer(command.message, reply);
    emit commandHandled(command.message.responseTopic, command.line, reply.section(QLatin1Char('\n'), 0, 0));
    refreshExtensionItems();
}

void NetworkLink::answer(const MqttMessage &request, const QString &text)
{
    if (request.responseTopic.isEmpty() || m_state != State::Connected)
        return; // nobody to tell
    MqttClient::Publication publication;
    publication.topic = request.responseTopic;
    publication.payload = text.toUtf8();
    publication.qos = kQosAtLeastOnce;
    publication.correlationData = request.correlationData;
    m_client.publish(publication);
}

NetworkLink::Conversation *NetworkLink::conversationFor(const MqttMessage &message)
{
    auto found = m_conversations.find(message.responseTopic);
    if (found == m_conversations.end()) {
        if (std::ssize(m_conversations) >= kMaxConversations) {
            // The one unused longest goes: a ramp it started stops.
            auto oldest = m_conversations.begin();
            for (auto it = m_conversations.begin(); it != m_conversations.end(); ++it)
                if (it->second->lastUse < oldest->second->lastUse)
                    oldest = it;
            m_grammar.conversationEnded(oldest->second.get());
            m_conversations.erase(oldest);
        }
        auto conversation = std::make_unique<Conversation>();
        conversation->responseTopic = message.responseTopic;
        found = m_conversations.emplace(message.responseTopic, std::move(conversation)).first;
    }
    Conversation *conversation = found->second.get();
    conversation->correlationData = message.correlationData;
    conversation->lastUse = ++m_uses;
    return conversation;
}

void NetworkLink::sendTo(const void *target, const QString &line)
{
    for (const auto &[topicName, conversation] : m_conversations) {
        if (conversation.get() != target)
            continue;
        if (conversation->responseTopic.isEmpty() || m_state != State::Connected)
            return;
        MqttClient::Publication publication;
        publication.topic = conversation->responseTopic;
        publication.payload = line.toUtf8();
        publication.qos = kQosAtLeastOnce;
        publication.correlationData = conversation->correlationData;
        m_client.publish(publication);
        return;
    }
}
