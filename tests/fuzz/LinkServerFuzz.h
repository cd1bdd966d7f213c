#pragma once

#include "ModelItems.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "remote/ControlLink.h"
#include "remote/ControlLinkServer.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QString>
#include <QStringList>

// The control link server's line handling through a real local socket in the same thread:
// the input goes to the server as raw bytes, followed by a line feed and a request for a marker
// item; every answer line up to the marker's is checked. One conversation serves every input
// (advised items carry over, as they would for a real client); a conversation the server ended
// is opened again.
class LinkServerFuzz
{
public:
    static constexpr int kAnswerWaitMs = 5000; // only a server that stopped answering hits it

    // Needs a QCoreApplication and a private XDG_RUNTIME_DIR.
    LinkServerFuzz();
    ~LinkServerFuzz();

    void run(const QByteArray &data);

private:
    void connectClient();
    // Answer lines up to the one that carries `marker`; fails when none comes.
    QStringList answersUntil(const QString &marker);

    ControllerState m_state;
    SupplyModel m_host{m_state.table};
    ModelItems m_items{m_host};
    RecordingUserInterface m_ui;
    ControlLink m_link;
    ControlLinkServer m_server;
    QLocalSocket m_client;
    quint64 m_round = 0;
};
