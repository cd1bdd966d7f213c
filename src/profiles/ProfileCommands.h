#pragma once

#include "core/UserInterface.h"

#include <QObject>
#include <QString>

class ControllerState;
class ProfileStore;

// The File menu's profile commands and the two file dialogs that choose a profile.
class ProfileCommands : public QObject
{
    Q_OBJECT
public:
    ProfileCommands(ProfileStore &store, ControllerState &state, UserInterface &ui, QObject *parent = nullptr);

    // On entry the name to preset; on return the chosen file's full path. Returns -1 when a file
    // was chosen, 0 when the dialog was cancelled or failed (then `filename` is unchanged).
    qint32 chooseOpenPath(QString &filename);
    qint32 chooseSavePath(QString &filename);

    static const QString kFilterName;
    static const QString kDefaultSuffix;

signals:
    // A loaded profile goes out: one refresh cycle that reads back (a job on the line) is due.
    void refreshRequested();

public slots:
    void openProfile();
    void saveProfile();
    void saveProfileAs();

private:
    UserInterface::FileDialogRequest dialogRequest(const QString &verb, const QString &filename) const;

    ProfileStore &m_store;
    ControllerState &m_state;
    UserInterface &m_ui;
};
