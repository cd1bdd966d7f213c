#include "ReplyComposer.h"

#include "InstrumentModel.h"

namespace {
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
constexpr char kCR = '\r';
constexpr int kLowControlCount = 0x20;
constexpr int kHighByteStart = 0x80;
const QByteArray kRunawayPattern = QByteArrayLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
} // namespace

ReplyComposer::ReplyComposer(quint32 seed)
    : m_random(seed)
{
}

QByteArray ReplyComposer::junkLine()
{
    return QByteArrayLiteral("READY") + kLineEnd;
}

QByteArray ReplyComposer::errorLine()
{
    return QByteArrayLiteral("ERR") + kLineEnd;
}

ReplyComposer::Reply ReplyComposer::compose(const QByteArray &command, InstrumentModel &model,
                                            const SupplyFaults &faults, bool prompt, bool errorReplies)
{
    Reply reply;
    // The supply works even when its answers get lost: set-commands still take effect.
    const InstrumentModel::Outcome outcome = model.execute(QString::fromLatin1(command));
    if (faults.silent)
        return reply;

    for (int i = 0; i < faults.extraLines; ++i)
        reply.lines.append(junkLine());
    if (!faults.noEcho) {
        QByteArray echo;
        if (faults.garbage)
            echo += garbage();
        if (prompt)
            echo += kPrompt;
        echo += command;
        echo += kLineEnd;
        reply.lines.append(echo);
    }
    if (faults.runaway) {
        // The line without end takes the place of whatever would follow the echo.
        reply.startsRunaway = true;
        return reply;
    }
    if (outcome.dataLine)
        reply.lines.append(outcome.dataLine->toLatin1() + kLineEnd);
    else if (!outcome.understood && errorReplies)
        reply.lines.append(errorLine());
    return reply;
}

QByteArray ReplyComposer::runawayBytes(int count)
{
    QByteArray bytes;
    bytes.reserve(count);
    for (int i = 0; i < count; ++i) {
        bytes.append(kRunawayPattern.at(m_runawayPhase));
        m_runawayPhase = (m_runawayPhase + 1) % kRunawayPattern.size();
    }
    return bytes;
}

QByteArray ReplyComposer::garbage()
{
    const int count = 1 + int(m_random.bounded(kMaxGarbageBytes));
    QByteArray bytes;
    // Values 0..0x1F map to the control characters, 0x20..0x9F to 0x80..0xFF.
    constexpr int kChoices = kLowControlCount + 0x100 - kHighByteStart;
    while (bytes.size() < count) {
        const int pick = int(m_random.bounded(kChoices));
        const int value = pick < kLowControlCount ? pick : pick - kLowControlCount + kHighByteStart;
        if (value == kCR)
            continue;
        bytes.append(char(value));
    }
    return bytes;
}
