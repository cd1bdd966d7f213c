#include "ProfileBytes.h"
#include "ModelItems.h"

#include "core/ControllerState.h"
#include "core/ModuleTable.h"
#include "RecordingUserInterface.h"
#include "profiles/ProfileFileError.h"
#include "profiles/ProfileStore.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <csignal>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kCaption = ControllerState::captionFor(0);
const QString kOpenTitle = QStringLiteral("Open ") + kCaption + QStringLiteral(" Profile");
const QString kSaveTitle = QStringLiteral("Save ") + kCaption + QStringLiteral(" Profile");
const QString kFormatMessage = QStringLiteral("Invalif file format");
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

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

// 150 eV, 2.1 A, 6 kV and a gain/offset in range for every other field; 777 in the reserved slot.
QByteArray handMadeProfile()
{
    return ProfileBytes::make("ZQV", {150.0f, 2.1f, 6.0f, -50.0f, -20.0f, 100.0f, 50.0f, 1200.0f, -5.5f, 80.0f,
                                      1500.0f, 12.25f, 777.0f});
}

const QStringList kHandMadeTexts = {"150", "2.1", "6", "-50", "-20", "100", "50", "1200", "-5.5", "80", "1500", "12.25"};

} // namespace

class TestProfileStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writtenBytesFollowTheLayout();
    void handMadeFileFillsThePanel();
    void valuesOutsideTheLimitsAreCorrectedAndNamed();
    void localeCommaOnlyLeavesTheSetValues();
    void wrongMarkerOrShortFileIsRefused_data();
    void wrongMarkerOrShortFileIsRefused();
    void savingOverALongerFileLeaves55Bytes();
    void openErrorsReportThePlatformText();
    void readErrorAfterOpenIsReported();
    void failedSaveLeavesTheOldProfile();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    ModuleTable m_limits;
    std::unique_ptr<SupplyModel> m_model;
    std::unique_ptr<ModelItems> m_items;
    RecordingUserInterface m_ui;
    std::unique_ptr<ProfileStore> m_store;
};

void TestProfileStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_limits = ModuleTable();
    m_limits.fill(0);
    m_model = std::make_unique<SupplyModel>(m_limits);
    m_items = std::make_unique<ModelItems>(*m_model);
    m_ui = RecordingUserInterface();
    m_store = std::make_unique<ProfileStore>(*m_model, m_ui);
    m_store->setCaption(kCaption);
}

void TestProfileStore::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestProfileStore::writtenBytesFollowTheLayout()
{
    QCOMPARE(m_store->filename(), QString());
    const QStringList texts = {"150", "2.1", "6", "1,5", "abc", "-12.5", "1e2", " 7 ", "-3", "80", "2999", "-0.25"};
    for (int k = 0; k < 12; ++k)
        m_model->setFieldText(kPanelFields[k], texts[k]);
    m_model->markField(PanelField::gain(4));
    const QString before = m_items->snapshot();

    // Passed with a redundant "./": the current path is the text as given, not a cleaned form.
    const QString target = m_dir->path() + QStringLiteral("/./written.zqv");
    QCOMPARE(m_store->save(target), 0);
    QVERIFY(m_ui.messages.isEmpty());
    QCOMPARE(m_store->filename(), target);
    QCOMPARE(m_items->snapshot(), before); // saving changes neither texts nor marks

    const QByteArray bytes = readAll(target);
    QCOMPARE(bytes.size(), 55);
    QCOMPARE(bytes.left(3), QByteArray("ZQV"));
    const QList<float> expected = {150.0f, 2.1f, 6.0f, 1.5f, 0.0f, -12.5f, 100.0f, 7.0f, -3.0f, 80.0f, 2999.0f, -0.25f, 0.0f};
    for (int k = 0; k < 13; ++k)
        QCOMPARE(ProfileBytes::singleAt(bytes, 3 + 4 * k), expected[k]);
}

void TestProfileStore::handMadeFileFillsThePanel()
{
    const QString first = path("first.zqv");
    QVERIFY(writeAll(first, handMadeProfile()));
    QCOMPARE(m_store->open(first), 0);
    QVERIFY(m_ui.messages.isEmpty());
    for (int k = 0; k < 12; ++k) {
        QCOMPARE(m_model->fieldText(kPanelFields[k]), kHandMadeTexts[k]);
        QVERIFY(m_model->isMarked(kPanelFields[k]));
    }
    QCOMPARE(m_model->switchRequest(1), SupplyModel::SwitchRequest::On);
    QCOMPARE(m_model->switchRequest(2), SupplyModel::SwitchRequest::On);
    QCOMPARE(m_store->filename(), first);

    // Stored zeros switch modules 1 and 2 off; the energy's zero has no switch.
    const QString second = path("zeros.zqv");
    QVERIFY(writeAll(second, ProfileBytes::make("ZQV", {0.0f, 0.0f, 0.0f, -1, -1, 1, 1, 1, 1, 1, 1, 1, 0})));
    QCOMPARE(m_store->open(second), 0);
    QCOMPARE(m_model->fieldText(PanelField::value(0)), QStringLiteral("0"));
    QCOMPARE(m_model->fieldText(PanelField::value(1)), QStringLiteral("0"));
    QCOMPARE(m_model->fieldText(PanelField::value(2)), QStringLiteral("0"));
    QCOMPARE(m_model->switchRequest(1), SupplyModel::SwitchRequest::Off);
    QCOMPARE(m_model->switchRequest(2), SupplyModel::SwitchRequest::Off);
    QCOMPARE(m_store->filename(), second);

    // Only the cathode at zero: the screen request stays "on".
    QVERIFY(writeAll(second, ProfileBytes::make("ZQV", {10.0f, 0.0f, 0.5f, -1, -1, 1, 1, 1, 1, 1, 1, 1, 0})));
    QCOMPARE(m_store->open(second), 0);
    QCOMPARE(m_model->switchRequest(1), SupplyModel::SwitchRequest::Off);
    QCOMPARE(m_model->switchRequest(2), SupplyModel::SwitchRequest::On);
}

void TestProfileStore::valuesOutsideTheLimitsAreCorrectedAndNamed()
{
    const QString file = path("wild.zqv");
    // energy too high, cathode NaN, screen negative, WE gain above 0, WE offset NaN, AN gain
    // below 0, AN offset +inf, L1 gain -inf, L1 offset too high, SU gain in range, L2 gain
    // -0 (in range), L2 offset too low; the reserved number is a NaN and is never looked at.
    QVERIFY(writeAll(file, ProfileBytes::make("ZQV", {5000.0f, kNaN, -3.0f, 10.0f, kNaN, -1.0f, kInf, -kInf, 150.0f,
                                                      499.5f, -0.0f, -21.0f, kNaN})));
    const QByteArray before = readAll(file);
    QCOMPARE(m_store->open(file), 0);
    // One message names every corrected field; the file stays as it was.
    QCOMPARE(m_ui.messages.size(), 1);
    QCOMPARE(m_ui.messages[0].title, kOpenTitle);
    const QStringList lines = m_ui.messages[0].text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 1 + 10);
    QVERIFY(lines.contains(QString::fromUtf8("Energy (eV): 5000 \u2192 1000")));
    QVERIFY(lines.contains(QString::fromUtf8("Wehnelt (V) gain: 10 \u2192 0")));
    QVERIFY(lines.contains(QString::fromUtf8("L1/3 (V) offset: 150 \u2192 100")));
    QVERIFY(!m_ui.messages[0].text.contains(QStringLiteral("Supressor")));
    QCOMPARE(readAll(file), before);
    const QStringList expected = {"1000", "0", "0", "0", "-150", "0", "500", "0", "100", "499.5", "0", "-20"};
    for (int k = 0; k < 12; ++k)
        QCOMPARE(m_model->fieldText(kPanelFields[k]), expected[k]);
    QCOMPARE(m_model->switchRequest(1), SupplyModel::SwitchRequest::Off);
    QCOMPARE(m_model->switchRequest(2), SupplyModel::SwitchRequest::Off);
}

void TestProfileStore::localeCommaOnlyLeavesTheSetValues()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString file = path("comma.zqv");
    QVERIFY(writeAll(file, ProfileBytes::make("ZQV", {150.5f, 2.1f, 6.0f, -50.5f, -20.25f, 100.0f, 50.0f, 1200.0f, -5.5f,
                                                      80.0f, 1500.0f, 12.25f, 0.0f})));
    QCOMPARE(m_store->open(file), 0);
    // Set values go to the supply as written, so they carry a point; gains and offsets keep the
    // locale's comma as StrOf wrote it.
    QCOMPARE(m_model->fieldText(PanelField::value(0)), QStringLiteral("150.5"));
    QCOMPARE(m_model->fieldText(PanelField::value(1)), QStringLiteral("2.1"));
    QCOMPARE(m_model->fieldText(PanelField::gain(3)), QStringLiteral("-50,5"));
    QCOMPARE(m_model->fieldText(PanelField::offset(3)), QStringLiteral("-20,25"));
    QCOMPARE(m_model->fieldText(PanelField::offset(5)), QStringLiteral("-5,5"));

    // What the panel shows in that locale saves back to the same numbers.
    const QString copy = path("copy.zqv");
    QCOMPARE(m_store->save(copy), 0);
    QCOMPARE(readAll(copy).left(51), readAll(file).left(51));
}

void TestProfileStore::wrongMarkerOrShortFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray numbers = handMadeProfile().mid(3);
    QTest::newRow("lower case") << QByteArray("zqv") + numbers;
    QTest::newRow("mixed case") << QByteArray("ZQv") + numbers;
    QTest::newRow("other letters") << QByteArray("ABC") + numbers;
    QTest::newRow("shifted") << QByteArray(" ZQ") + numbers;
    QTest::newRow("54 bytes") << handMadeProfile().left(54);
    QTest::newRow("marker only") << QByteArray("ZQV");
    QTest::newRow("empty") << QByteArray();
}

void TestProfileStore::wrongMarkerOrShortFileIsRefused()
{
    QFETCH(QByteArray, bytes);
    const QString good = path("good.zqv");
    QVERIFY(writeAll(good, handMadeProfile()));
    QCOMPARE(m_store->open(good), 0);
    for (const PanelField &field : kPanelFields)
        m_model->clearMark(field);
    m_model->setFieldText(PanelField::value(0), QStringLiteral("typed"));
    const QString before = m_items->snapshot();

    const QString bad = path("bad.zqv");
    QVERIFY(writeAll(bad, bytes));
    QCOMPARE(m_store->open(bad), -1);
    QCOMPARE(m_ui.messages.size(), 1);
    QCOMPARE(m_ui.messages[0].text, kFormatMessage);
    QCOMPARE(m_ui.messages[0].title, kOpenTitle);
    QCOMPARE(m_ui.messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(m_items->snapshot(), before);
    QCOMPARE(m_store->filename(), good);
}

void TestProfileStore::savingOverALongerFileLeaves55Bytes()
{
    const QString file = path("long.zqv");
    QVERIFY(writeAll(file, QByteArray(200, 'x')));
    QCOMPARE(m_store->save(file), 0);
    const QByteArray bytes = readAll(file);
    QCOMPARE(bytes.size(), 55);
    QCOMPARE(bytes.left(3), QByteArray("ZQV"));
    // The longer tail of a file is not read either.
    QVERIFY(writeAll(file, handMadeProfile() + QByteArray(100, '\xff')));
    QCOMPARE(m_store->open(file), 0);
    QCOMPARE(m_model->fieldText(PanelField::offset(7)), QStringLiteral("12.25"));
}

void TestProfileStore::openErrorsReportThePlatformText()
{
    const QString good = path("good.zqv");
    QVERIFY(writeAll(good, handMadeProfile()));
    QCOMPARE(m_store->open(good), 0);
    m_model->setFieldText(PanelField::gain(7), QStringLiteral("typed"));
    const QString before = m_items->snapshot();

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.zqv")));
    struct Case { QString path; int status; };
    const QList<Case> cases = {
        {path("missing.zqv"), ProfileFileError::kFileNotFound},
        {path("no-folder/missing.zqv"), ProfileFileError::kPathNotFound},
        {good + QStringLiteral("/inside.zqv"), ProfileFileError::kPathNotFound},
        {path("folder.zqv"), ProfileFileError::kPathFileAccessError},
    };
    for (const Case &c : cases) {
        m_ui.clear();
        QFile probe(c.path);
        QVERIFY(!probe.open(QIODevice::ReadOnly));
        QCOMPARE(m_store->open(c.path), c.status);
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages[0].text, probe.errorString());
        QVERIFY(!m_ui.messages[0].text.isEmpty());
        QCOMPARE(m_ui.messages[0].title, kOpenTitle);
        QCOMPARE(m_ui.messages[0].icon, UserInterface::Icon::Critical);
        QCOMPARE(m_items->snapshot(), before);
        QCOMPARE(m_store->filename(), good);
    }

    // A FIFO would block the open until a writer comes (and the read until it writes): refused
    // at once, as is a device.
    const QString fifo = path("pipe.zqv");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &special : {fifo, QStringLiteral("/dev/null")}) {
        m_ui.clear();
        QCOMPARE(m_store->open(special), ProfileFileError::kNotARegularFile);
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages[0].text, special + QStringLiteral(" is not a regular file."));
        QCOMPARE(m_ui.messages[0].title, kOpenTitle);
        QCOMPARE(m_items->snapshot(), before);
        QCOMPARE(m_store->filename(), good);
    }

    if (geteuid() != 0) {
        const QString locked = path("locked.zqv");
        QVERIFY(writeAll(locked, handMadeProfile()));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        m_ui.clear();
        QCOMPARE(m_store->open(locked), ProfileFileError::kPermissionDenied);
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_items->snapshot(), before);
    }
}

void TestProfileStore::readErrorAfterOpenIsReported()
{
    // The process's own memory opens fine, but reading from address 0 fails with an I/O error:
    // a real read failure after a successful open.
    const QString memory = QStringLiteral("/proc/self/mem");
    QFile probe(memory);
    if (!probe.open(QIODevice::ReadOnly))
        QSKIP("/proc/self/mem cannot be opened here");
    probe.close();
    const QString before = m_items->snapshot();
    QCOMPARE(m_store->open(memory), ProfileFileError::kDeviceIoError);
    QCOMPARE(m_ui.messages.size(), 1);
    QVERIFY(m_ui.messages[0].text != kFormatMessage);
    QVERIFY(!m_ui.messages[0].text.isEmpty());
    QCOMPARE(m_ui.messages[0].title, kOpenTitle);
    QCOMPARE(m_items->snapshot(), before);
    QCOMPARE(m_store->filename(), QString());
}

void TestProfileStore::failedSaveLeavesTheOldProfile()
{
    const QString old = path("old.zqv");
    const QByteArray oldBytes = handMadeProfile();
    QVERIFY(writeAll(old, oldBytes));
    QCOMPARE(m_store->open(old), 0);
    for (int k = 0; k < 12; ++k)
        m_model->setFieldText(kPanelFields[k], QStringLiteral("3"));

    auto expectFailure = [&](const QString &target, int status) {
        m_ui.clear();
        QCOMPARE(m_store->save(target), status);
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(!m_ui.messages[0].text.isEmpty());
        QCOMPARE(m_ui.messages[0].title, kSaveTitle);
        QCOMPARE(m_ui.messages[0].icon, UserInterface::Icon::Critical);
        QCOMPARE(m_store->filename(), old);
    };

    // A folder on the path that is a file (works for every user, root included).
    expectFailure(old + QStringLiteral("/new.zqv"), ProfileFileError::kPathNotFound);
    expectFailure(path("no-folder/new.zqv"), ProfileFileError::kPathNotFound);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.zqv")));
    expectFailure(path("folder.zqv"), ProfileFileError::kPathFileAccessError);
    QVERIFY(QDir(m_dir->path()).rmdir(QStringLiteral("folder.zqv")));
    QCOMPARE(readAll(old), oldBytes);

    // The new file cannot be written completely: a file size limit makes the write itself fail
    // (for root too), after the replacement was opened beside the old profile.
    {
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tight = saved;
        tight.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        m_ui.clear();
        const int status = m_store->save(old);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(status, ProfileFileError::kDeviceIoError);
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages[0].title, kSaveTitle);
        QCOMPARE(readAll(old), oldBytes);
        // No half-written replacement is left beside it.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("old.zqv")});
    }

    // A read-only folder holding the old profile: the profile itself is writable, but it can
    // be replaced only through the folder. Permissions do not stop root.
    if (geteuid() != 0) {
        const QString lockedDir = path("locked");
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("locked")));
        const QString inside = lockedDir + QStringLiteral("/old.zqv");
        QVERIFY(writeAll(inside, oldBytes));
        QVERIFY(QFile::setPermissions(lockedDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        expectFailure(inside, ProfileFileError::kPermissionDenied);
        expectFailure(lockedDir + QStringLiteral("/new.zqv"), ProfileFileError::kPermissionDenied);
        QFile::setPermissions(lockedDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(readAll(inside), oldBytes);
        QVERIFY(!QFile::exists(lockedDir + QStringLiteral("/new.zqv")));
    }

    // The same save succeeds once nothing stands in the way.
    m_ui.clear();
    QCOMPARE(m_store->save(old), 0);
    QVERIFY(m_ui.messages.isEmpty());
    QCOMPARE(ProfileBytes::singleAt(readAll(old), 3), 3.0f);
}

QTEST_GUILESS_MAIN(TestProfileStore)
#include "ProfileStoreTest.moc"
