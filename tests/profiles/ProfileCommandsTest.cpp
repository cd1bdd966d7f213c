#include "ProfileBytes.h"
#include "ModelItems.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "profiles/ProfileCommands.h"
#include "profiles/ProfileStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray sampleProfile(float energy)
{
    return ProfileBytes::make("ZQV", {energy, 2.1f, 6.0f, -50.0f, -20.0f, 100.0f, 50.0f, 1200.0f, -5.5f, 80.0f,
                                      1500.0f, 12.25f, 0.0f});
}

// What one run of the refresh cycle saw.
struct CycleVisit
{
    bool autoRefresh;
    QString energyText;
    bool energyMarked = false;
};

} // namespace

class TestProfileCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void saveRightAfterStartAsksForAName();
    void saveAfterLoadWritesTheSameFile();
    void saveAsPresetsAndChangesTheCurrentPath();
    void openForcesOneCycleWithReadBack();
    void openCancelledRunsNoCycle();
    void failedLoadStillRunsOneCycle();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesInDir() const { return QDir(m_dir->path()).entryList(QDir::Files); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ControllerState> m_state;
    std::unique_ptr<SupplyModel> m_model;
    std::unique_ptr<ModelItems> m_items;
    RecordingUserInterface m_ui;
    std::unique_ptr<ProfileStore> m_store;
    std::unique_ptr<ProfileCommands> m_commands;
    QList<CycleVisit> m_cycles;
};

void TestProfileCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_state = std::make_unique<ControllerState>();
    m_state->storePowerSupply(1);
    m_state->table.fill(1);
    m_model = std::make_unique<SupplyModel>(m_state->table);
    m_items = std::make_unique<ModelItems>(*m_model);
    m_ui = RecordingUserInterface();
    m_cycles.clear();
    m_store = std::make_unique<ProfileStore>(*m_model, m_ui);
    m_store->setCaption(m_state->caption());
    m_commands = std::make_unique<ProfileCommands>(*m_store, *m_state, m_ui);
    connect(m_commands.get(), &ProfileCommands::refreshRequested, this, [this] {
        m_cycles.append({m_state->autoRefreshFlag, m_model->fieldText(PanelField::value(0)),
                         m_model->isMarked(PanelField::value(0))});
    });
}

void TestProfileCommands::saveRightAfterStartAsksForAName()
{
    m_model->setFieldText(PanelField::value(0), QStringLiteral("321"));
    m_commands->saveProfile();
    QCOMPARE(m_ui.saveRequests.size(), 1);
    QVERIFY(m_ui.openRequests.isEmpty());
    const UserInterface::FileDialogRequest request = m_ui.saveRequests[0];
    QVERIFY(request.title.startsWith(QStringLiteral("Save ")));
    QCOMPARE(request.title, QStringLiteral("Save Tavrel Power Supply [Tavrel digital] Profile"));
    QCOMPARE(request.presetName, QString());
    QCOMPARE(request.initialFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QCOMPARE(request.filterName, QStringLiteral("R4150D Profiles (*.zqv)"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("zqv"));
    // Cancelled: nothing written, no message, still no current profile.
    QVERIFY(filesInDir().isEmpty());
    QVERIFY(m_ui.messages.isEmpty());
    QCOMPARE(m_store->filename(), QString());

    // The caption is read for every use: a model change shows in the next title.
    m_state->setPowerSupply(0);
    const QString chosen = path("first.zqv");
    m_ui.saveAnswers = {chosen};
    m_commands->saveProfile();
    QCOMPARE(m_ui.saveRequests.size(), 2);
    QCOMPARE(m_ui.saveRequests[1].title, QStringLiteral("Save Tavrel Power Supply [R4150-D] Profile"));
    QCOMPARE(m_store->filename(), chosen);
    QCOMPARE(ProfileBytes::singleAt(readAll(chosen), 3), 321.0f);
    QVERIFY(m_cycles.isEmpty()); // saving runs no cycle
}

void TestProfileCommands::saveAfterLoadWritesTheSameFile()
{
    const QString profile = path("loaded.zqv");
    QVERIFY(writeAll(profile, sampleProfile(150.0f)));
    m_ui.openAnswers = {profile};
    m_commands->openProfile();
    QCOMPARE(m_store->filename(), profile);

    m_model->setFieldText(PanelField::value(0), QStringLiteral("275"));
    m_commands->saveProfile();
    QVERIFY(m_ui.saveRequests.isEmpty());
    QVERIFY(m_ui.messages.isEmpty());
    const QByteArray bytes = readAll(profile);
    QCOMPARE(bytes.size(), 55);
    QCOMPARE(ProfileBytes::singleAt(bytes, 3), 275.0f);
    QCOMPARE(ProfileBytes::singleAt(bytes, 7), 2.1f);
    QCOMPARE(filesInDir(), QStringList{QStringLiteral("loaded.zqv")});
}

void TestProfileCommands::saveAsPresetsAndChangesTheCurrentPath()
{
    const QString first = path("a.zqv");
    const QByteArray firstBytes = sampleProfile(150.0f);
    QVERIFY(writeAll(first, firstBytes));
    m_ui.openAnswers = {first};
    m_commands->openProfile();
    m_model->setFieldText(PanelField::value(0), QStringLiteral("99"));

    // Cancelled: the dialog was shown, preset with the current path; nothing changes.
    m_commands->saveProfileAs();
    QCOMPARE(m_ui.saveRequests.size(), 1);
    QCOMPARE(m_ui.saveRequests[0].presetName, first);
    QCOMPARE(m_store->filename(), first);
    QCOMPARE(readAll(first), firstBytes);

    const QString second = path("b.zqv");
    m_ui.saveAnswers = {second};
    m_commands->saveProfileAs();
    QCOMPARE(m_ui.saveRequests.size(), 2);
    QCOMPARE(m_ui.saveRequests[1].presetName, first);
    QCOMPARE(m_store->filename(), second);
    QCOMPARE(ProfileBytes::singleAt(readAll(second), 3), 99.0f);
    QCOMPARE(readAll(first), firstBytes);

    // A later Save goes to the new name, and the next dialog starts from it.
    m_model->setFieldText(PanelField::value(0), QStringLiteral("98"));
    m_commands->saveProfile();
    QCOMPARE(ProfileBytes::singleAt(readAll(second), 3), 98.0f);
    m_commands->saveProfileAs();
    QCOMPARE(m_ui.saveRequests.last().presetName, second);
}

void TestProfileCommands::openForcesOneCycleWithReadBack()
{
    const QString profile = path("p.zqv");
    QVERIFY(writeAll(profile, sampleProfile(150.0f)));
    QSignalSpy menuMark(m_state.get(), &ControllerState::autoRefreshPropertyChanged);

    m_state->autoRefreshFlag = false;
    m_ui.openAnswers = {profile};
    m_commands->openProfile();
    QCOMPARE(m_ui.openRequests.size(), 1);
    const UserInterface::FileDialogRequest request = m_ui.openRequests[0];
    QCOMPARE(request.title, QStringLiteral("Open Tavrel Power Supply [Tavrel digital] Profile"));
    QCOMPARE(request.presetName, QString());
    QCOMPARE(request.initialFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QCOMPARE(request.filterName, QStringLiteral("R4150D Profiles (*.zqv)"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("zqv"));

    // One cycle, after the load, with auto refresh forced on; off again afterwards.
    QCOMPARE(m_cycles.size(), 1);
    QCOMPARE(m_cycles[0].autoRefresh, true);
    QCOMPARE(m_cycles[0].energyText, QStringLiteral("150"));
    QVERIFY(m_cycles[0].energyMarked);
    QCOMPARE(m_state->autoRefreshFlag, false);
    QCOMPARE(menuMark.count(), 0); // a direct store: the menu's check mark is not touched

    // With auto refresh on it stays on; the dialog now starts from the loaded profile.
    m_state->autoRefreshFlag = true;
    m_ui.openAnswers = {profile};
    m_commands->openProfile();
    QCOMPARE(m_ui.openRequests.last().presetName, profile);
    QCOMPARE(m_cycles.size(), 2);
    QCOMPARE(m_cycles[1].autoRefresh, true);
    QCOMPARE(m_state->autoRefreshFlag, true);
}

void TestProfileCommands::openCancelledRunsNoCycle()
{
    const QString before = m_items->snapshot();
    m_commands->openProfile();
    QCOMPARE(m_ui.openRequests.size(), 1);
    QVERIFY(m_cycles.isEmpty());
    QVERIFY(m_ui.messages.isEmpty());
    QCOMPARE(m_items->snapshot(), before);
    QCOMPARE(m_store->filename(), QString());

    // The dialog's own status and path: cancel leaves the caller's text alone.
    QString name = QStringLiteral("/some/where.zqv");
    QCOMPARE(m_commands->chooseOpenPath(name), 0);
    QCOMPARE(name, QStringLiteral("/some/where.zqv"));
    QCOMPARE(m_ui.openRequests.last().presetName, name);
    m_ui.saveAnswers = {path("chosen.zqv")};
    QCOMPARE(m_commands->chooseSavePath(name), -1);
    QCOMPARE(name, path("chosen.zqv"));
    QVERIFY(filesInDir().isEmpty()); // choosing is not saving
}

void TestProfileCommands::failedLoadStillRunsOneCycle()
{
    const QString good = path("good.zqv");
    QVERIFY(writeAll(good, sampleProfile(150.0f)));
    m_ui.openAnswers = {good};
    m_commands->openProfile();
    m_model->setFieldText(PanelField::value(0), QStringLiteral("200"));
    m_model->markField(PanelField::value(0));
    const QString before = m_items->snapshot();
    m_cycles.clear();
    m_ui.clear();

    const QString bad = path("bad.zqv");
    QByteArray badBytes = sampleProfile(500.0f);
    badBytes[0] = 'z';
    QVERIFY(writeAll(bad, badBytes));
    m_state->autoRefreshFlag = false;
    m_ui.openAnswers = {bad, path("missing.zqv")};
    m_commands->openProfile();
    QCOMPARE(m_ui.messages.size(), 1);
    QCOMPARE(m_ui.messages[0].text, QStringLiteral("Invalif file format"));
    QCOMPARE(m_ui.messages[0].title, QStringLiteral("Open Tavrel Power Supply [Tavrel digital] Profile"));
    QCOMPARE(m_items->snapshot(), before);
    QCOMPARE(m_store->filename(), good);
    // The cycle still runs, and sends what was pending before.
    QCOMPARE(m_cycles.size(), 1);
    QCOMPARE(m_cycles[0].autoRefresh, true);
    QCOMPARE(m_cycles[0].energyText, QStringLiteral("200"));
    QCOMPARE(m_state->autoRefreshFlag, false);

    // A file that vanished between dialog and load: the file error, then the cycle.
    m_commands->openProfile();
    QCOMPARE(m_ui.messages.size(), 2);
    QCOMPARE(m_ui.messages[1].icon, UserInterface::Icon::Critical);
    QCOMPARE(m_cycles.size(), 2);
    QCOMPARE(m_store->filename(), good);
}

QTEST_GUILESS_MAIN(TestProfileCommands)
#include "ProfileCommandsTest.moc"
