#pragma once

#include "remote/LinkExtension.h"

#include <QObject>
#include <QString>

#include <optional>

class EnergyRamp;
struct ModuleTable;
struct RampStep;

// The energy ramp's part of the control link:
//   RAMP <E1> <E2> <S> <T> <D>     -> OK <n>, then STEP ... after each step and END ... at the end
//   RAMP <E1> <E2> <S> <T> ACK     -> the same, each STEP waiting for ACK <k> from that client
//   RAMP STOP                      -> OK (from any conversation, also when no ramp runs)
//   ACK <k>                        -> OK, or ERROR 11 when step k is not awaited from this client
//   REQUEST Ramp                   -> DATA idle | DATA running <k> <n>
// Numbers always carry a point. STEP and END go to the conversation that started the ramp.
class RampLink : public QObject, public LinkExtension
{
    Q_OBJECT
public:
    enum ErrorNumber : int {
        kErrorMissingArgument = 2,
        kErrorRampRunning = 9,
        kErrorRampRefused = 10,
        kErrorNoStepAwaits = 11,
    };
    static inline const QString kItem = QStringLiteral("Ramp");

    RampLink(EnergyRamp &ramp, const ModuleTable &limits, QObject *parent = nullptr);

    // The answer to a line of the ramp's part, or nothing when the verb is not one of it.
    std::optional<LinkAnswer> handle(const void *conversation, const QString &verb, const QString &argument) override;
    // The text of the item "Ramp", or nothing for another item.
    std::optional<QString> itemText(const QString &item) const override;
    QStringList itemNames() const override { return {kItem}; }
    // The conversation ended: a ramp it started stops.
    void conversationEnded(const void *conversation) override;

signals:
    // A line for the conversation that started the ramp (the transport drops it when closed).
    void lineForConversation(const void *conversation, const QString &line);

private:
    QString start(const void *conversation, const QString &argument);
    void publishStep(const RampStep &step);
    void publishEnd(int stepsDone, bool complete);
    static QString error(int number, const QString &text);

    EnergyRamp &m_ramp;
    const ModuleTable &m_limits;
    const void *m_owner = nullptr;
};
