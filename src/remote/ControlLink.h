#pragma once

#include <QString>

class ControlLinkHost;
class PanelAccess;
class UserInterface;

// The behaviour of the control link as the main window sees it: the lamp, the exit lock, the
// error message and the command grammar. The transport (ControlLinkServer) calls these handlers;
// they never talk to the supply.
class ControlLink
{
public:
    ControlLink(ControlLinkHost &host, PanelAccess &panel, UserInterface &ui);

    // A conversation opened: lamp green, "E&xit" disabled. Conversations are counted, so that
    // closing one of two does not unlock the exit while the other is still open.
    void Form_LinkOpen();
    // A conversation ended; the last one greys the lamp and enables "E&xit".
    void Form_LinkClose();
    // Lamp red, modal "DDE link error:<n>" titled with the caption, then green again (grey when
    // no conversation is open any more). An error raised while the box is still open (its event
    // loop runs) shows no second box; it is only counted.
    void Form_LinkError(qint16 linkErr);
    // The command grammar: NAME[=value]; only ENERGY is known. Returns true, the acknowledgement
    // "accepted", for every text.
    bool Form_LinkExecute(const QString &cmdStr);

    // Errors of one burst that get no box of their own (the burst's first one shows it).
    void countSuppressedErrors(int count) { m_suppressedErrors += count; }

    int openConversations() const { return m_openConversations; }
    bool isErrorShowing() const { return m_errorShowing; }
    // Errors that arrived while a message was open and were therefore not shown.
    int suppressedErrors() const { return m_suppressedErrors; }

private:
    void showSteadyLamp();

    ControlLinkHost &m_host;
    PanelAccess &m_panel;
    UserInterface &m_ui;
    int m_openConversations = 0;
    bool m_errorShowing = false;
    int m_suppressedErrors = 0;
};
