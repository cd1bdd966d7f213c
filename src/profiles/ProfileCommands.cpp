#include "profiles/ProfileCommands.h"

#include "core/ControllerState.h"
#include "profiles/ProfileStore.h"

#include <QCoreApplication>

const QString ProfileCommands::kFilterName = QStringLiteral("R4150D Profiles (*.zqv)");
const QString ProfileCommands::kDefaultSuffix = QStringLiteral("zqv");

namespace {
constexpr qint32 kChosen = -1;
constexpr qint32 kCancelled = 0;
}

ProfileCommands::ProfileCommands(ProfileStore &store, ControllerState &state, UserInterface &ui,
                                 QObject *parent)
    : QObject(parent), m_store(store), m_state(state), m_ui(ui)
{
}

UserInterface::FileDialogRequest ProfileCommands::dialogRequest(const QString &verb, const QString &filename) const
{
    UserInterface::FileDialogRequest request;
    request.title = verb + m_state.caption() + QStringLiteral(" Profile");
    request.presetName = filename;
    request.initialFolder = QCoreApplication::applicationDirPath();
    if (!request.initialFolder.endsWith(QLatin1Char('/')))
        request.initialFolder += QLatin1Char('/');
    request.filterName = kFilterName;
    request.defaultSuffix = kDefaultSuffix;
    return request;
}

qint32 ProfileCommands::chooseOpenPath(QString &filename)
{
    const std::optional<QString> chosen = m_ui.openFileDialog(dialogRequest(QStringLiteral("Open "), filename));
    if (!chosen || chosen->isEmpty())
        return kCancelled;
    filename = *chosen;
    return kChosen;
}

qint32 ProfileCommands::chooseSavePath(QString &filename)
{
    const std::optional<QString> chosen = m_ui.saveFileDialog(dialogRequest(QStringLiteral("Save "), filename));
    if (!chosen || chosen->isEmpty())
        return kCancelled;
    filename = *chosen;
    return kChosen;
}

void ProfileCommands::openProfile()
{
    QString path = m_store.filename();
    if (chooseOpenPath(path) == kCancelled)
        return;
    m_store.open(path);
    // Force one cycle with read-back so the loaded values take effect at once, whatever the
    // operator's auto-refresh setting; the direct write leaves the menu's check mark alone.
    m_state.forceAutoRefreshDuring([this] { emit refreshRequested(); });
}

void ProfileCommands::saveProfile()
{
    QString path = m_store.filename();
    if (path.isEmpty() && chooseSavePath(path) == kCancelled)
        return;
    m_store.save(path);
}

void ProfileCommands::saveProfileAs()
{
    QString path = m_store.filename();
    if (chooseSavePath(path) == kCancelled)
        return;
    m_store.save(path);
}
