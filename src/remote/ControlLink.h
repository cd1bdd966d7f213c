#pragma once

#include "core/CommandSource.h"

#include <QObject>
#include <QString>

#include <optional>

class ControllerState;
class SupplyModel;
class UserInterface;

// The behaviour of the control link: the lamp, the exit lock, the error message and the command
// grammar. The transport (ControlLinkServer) calls these handlers; they never talk to the supply.
class ControlLink : public QObject
{
    Q_OBJECT
public:
    enum class Lamp { Default, Open, Closed, Error }; // window default, green, light grey, red

    ControlLink(SupplyModel &model, ControllerState &state, UserInterface &ui, QObject *parent = nullptr);

    // A conversation opened: lamp green, "E&xit" disabled. Conversations are counted, so that
    // closing one of two does not unlock the exit while the other is still open.
    void conversationOpened();
    // A conversation ended; the last one greys the lamp and enables "E&xit".
    void conversationClosed();
    // Lamp red, modal "DDE link error:<n>" titled with the caption, then green again (grey when
    // no conversation is open any more). An error raised while the box is still open (its event
    // loop runs) shows no second box; it is only counted.
    void reportError(qint16 linkErr);
    // Why a command or a poke is not carried out: its number and text for the ERROR answer.
    struct Refusal
    {
        qint16 number = 0;
        QString text;
    };
    static constexpr qint16 kErrorBeyondLimits = 13;
    static constexpr qint16 kErrorNotANumber = 14;

    // The command grammar: NAME[=value]; only ENERGY is known. Other names are accepted and do
    // nothing; ENERGY without a number or with one beyond the energy limits is refused and
    // changes nothing.
    std::optional<Refusal> execute(const QString &cmdStr, CommandSource source = CommandSource::Control);
    // Whether a poke of `text` into a panel item may be carried out: the edit fields and
    // DA_set_voltage take only a number within their limits. Nothing for any other item.
    std::optional<Refusal> checkPoke(const QString &item, const QString &text) const;

    // While it lives, whatever a client's request sends counts as the client's (the journal).
    CommandSourceScope clientScope(CommandSource source = CommandSource::Control)
    {
        return CommandSourceScope(m_state, source);
    }

    // Errors of one burst that get no box of their own (the burst's first one shows it).
    void countSuppressedErrors(int count) { m_suppressedErrors += count; }

    int openConversations() const { return m_openConversations; }
    // "E&xit" is enabled, i.e. no conversation is open.
    bool exitEnabled() const { return m_openConversations == 0; }
    Lamp lamp() const { return m_lamp; }
    bool isErrorShowing() const { return m_errorShowing; }
    // Errors that arrived while a message was open and were therefore not shown.
    int suppressedErrors() const { return m_suppressedErrors; }

signals:
    void lampChanged(ControlLink::Lamp lamp);
    // "E&xit" is disabled while a conversation is open.
    void exitEnabledChanged(bool enabled);

private:
    void setLamp(Lamp lamp);
    void showSteadyLamp();

    SupplyModel &m_model;
    ControllerState &m_state;
    UserInterface &m_ui;
    Lamp m_lamp = Lamp::Default;
    int m_openConversations = 0;
    bool m_errorShowing = false;
    int m_suppressedErrors = 0;
};
