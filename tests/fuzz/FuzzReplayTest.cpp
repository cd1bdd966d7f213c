// Replays every seed and every kept finding of the fuzz targets through the same entry points,
// in the normal build: a fault the fuzzer once found stays found.

#include "CommandLineFuzz.h"
#include "ConversionsFuzz.h"
#include "LinkExecuteFuzz.h"
#include "LinkServerFuzz.h"
#include "ProfileFuzz.h"
#include "ReplyFuzz.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <functional>
#include <memory>

class FuzzReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replay_data();
    void replay();
    void everyTargetHasSeeds();

private:
    static const QStringList &targets();
    std::function<void(const QByteArray &)> entryFor(const QString &target);

    std::unique_ptr<TestEnvironment> m_environment;
    ConversionsFuzz m_conversions;
    ReplyFuzz m_reply;
    std::unique_ptr<ProfileFuzz> m_profile;
    LinkExecuteFuzz m_linkExecute;
    std::unique_ptr<LinkServerFuzz> m_linkServer;
    CommandLineFuzz m_commandLine;
};

const QStringList &FuzzReplayTest::targets()
{
    static const QStringList names{QStringLiteral("fuzz_valof"),        QStringLiteral("fuzz_reply"),
                                   QStringLiteral("fuzz_profile"),      QStringLiteral("fuzz_link_execute"),
                                   QStringLiteral("fuzz_link_server"),  QStringLiteral("fuzz_command_line")};
    return names;
}

void FuzzReplayTest::initTestCase()
{
    m_environment = std::make_unique<TestEnvironment>();
    m_profile = std::make_unique<ProfileFuzz>();
    m_linkServer = std::make_unique<LinkServerFuzz>();
}

std::function<void(const QByteArray &)> FuzzReplayTest::entryFor(const QString &target)
{
    if (target == QLatin1String("fuzz_valof"))
        return [this](const QByteArray &d) { m_conversions.run(d); };
    if (target == QLatin1String("fuzz_reply"))
        return [this](const QByteArray &d) { m_reply.run(d); };
    if (target == QLatin1String("fuzz_profile"))
        return [this](const QByteArray &d) { m_profile->run(d); };
    if (target == QLatin1String("fuzz_link_execute"))
        return [this](const QByteArray &d) { m_linkExecute.run(d); };
    if (target == QLatin1String("fuzz_link_server"))
        return [this](const QByteArray &d) { m_linkServer->run(d); };
    if (target == QLatin1String("fuzz_command_line"))
        return [this](const QByteArray &d) { m_commandLine.run(d); };
    return {};
}

void FuzzReplayTest::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");
    for (const char *kind : {"corpus", "regressions"}) {
        for (const QString &target : targets()) {
            const QDir folder(QStringLiteral(TAVREL_FUZZ_DIR "/") + QLatin1String(kind) + QLatin1Char('/') + target);
            const QStringList files = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
            for (const QString &name : files) {
                if (name.startsWith(QLatin1Char('.')))
                    continue; // .gitkeep and the like
                QTest::addRow("%s/%s/%s", kind, qPrintable(target), qPrintable(name))
                    << target << folder.filePath(name);
            }
        }
    }
}

void FuzzReplayTest::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY2(input.open(QIODevice::ReadOnly), qPrintable(file));
    const auto entry = entryFor(target);
    QVERIFY2(entry, qPrintable(target));
    entry(input.readAll()); // a broken property aborts with its name
}

void FuzzReplayTest::everyTargetHasSeeds()
{
    for (const QString &target : targets()) {
        const QDir folder(QStringLiteral(TAVREL_FUZZ_DIR "/corpus/") + target);
        QVERIFY2(folder.entryList(QDir::Files).size() >= 3, qPrintable(target));
    }
}

QTEST_GUILESS_MAIN(FuzzReplayTest)
#include "FuzzReplayTest.moc"
