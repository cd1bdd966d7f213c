#pragma once

#include "core/ModuleTable.h"
#include "RecordingUserInterface.h"

#include <QByteArray>
#include <QTemporaryDir>

// The profile reader on arbitrary bytes: ProfileRecord::decode/encode in memory, and
// ProfileStore::open on a real file that holds the input, onto a panel of strings.
class ProfileFuzz
{
public:
    ProfileFuzz();

    void run(const QByteArray &data);

private:
    QTemporaryDir m_folder;
    ModuleTable m_limits;
    RecordingUserInterface m_ui;
};
