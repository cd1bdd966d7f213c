#pragma once

#include "core/CommandSource.h"
#include "core/ModuleTable.h"
#include "device/ModuleReading.h"

#include <QString>

#include <array>

class Journal;
class JournalEntry;

// What the journal says about each kind of event, one line each (nothing while it is off):
//   {"t": …, "sent": "VEN150", "result": 0, "source": "panel"}
//   {"t": …, "read": {"EN": [gain, offset, value, umon, imon, onoff], …}}
//   {"t": …, "event": "connected", "port": "COM1:"} and the other events below
//   {"t": …, "message": {"title": …, "text": …}}
//   {"t": …, "command": "POKE …", "source": "network", "client": <response topic>, "answer": "OK"}
class JournalRecorder
{
public:
    explicit JournalRecorder(Journal &journal);

    void sent(const QString &command, qint32 result, CommandSource source);
    void readBack(const std::array<ModuleReading, kModuleCount> &readings,
                  const std::array<QString, kModuleCount> &codes);
    void connection(bool connected, const QString &port);
    void profile(bool saved, const QString &path);
    void rampStarted(int steps);
    void rampEnded(int stepsDone, bool complete);
    // An I(V) measurement: its folder and settings ("exposure_us=... frames=..."), then its end.
    void ivStarted(const QString &folder, int steps, const QString &settings);
    void ivEnded(const QString &folder, int stepsDone, bool complete, int framesLost, const QString &error);
    void message(const QString &title, const QString &text);
    // A command from the lab network: the client's response topic, the line and the answer.
    void remoteCommand(const QString &client, const QString &line, const QString &answer);

private:
    bool isOn() const;
    void write(const JournalEntry &entry);

    Journal &m_journal;
};
