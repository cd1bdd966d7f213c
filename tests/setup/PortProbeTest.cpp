// The port probe against real devices: pseudo-terminals, a port held open, a symbolic link to
// a held port, the loopback line and paths that do not exist.
#include "PseudoTerminal.h"
#include "RefusingPort.h"

#include "device/PortTable.h"
#include "device/SerialPort.h"
#include "setup/PortProbe.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class PortProbeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void classifiesRealPorts();
    void probingLeavesPortsAsTheyWere();
    void permissionIsNotFree();

private:
    QTemporaryDir m_home;
};

void PortProbeTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
}

void PortProbeTest::classifiesRealPorts()
{
    PseudoTerminal free1, held2, free7;
    QVERIFY(free1.isValid() && held2.isValid() && free7.isValid());
    const QString link6 = m_home.filePath(QStringLiteral("held-link"));
    QVERIFY(QFile::link(held2.slavePath(), link6));

    PortTable::setPath(1, free1.slavePath());
    PortTable::setPath(2, held2.slavePath());
    PortTable::setPath(3, m_home.filePath(QStringLiteral("no-such-device")));
    PortTable::setPath(4, PortTable::kLoopback);
    PortTable::setPath(5, PortTable::kLoopback);
    PortTable::setPath(6, link6);
    PortTable::setPath(7, free7.slavePath());
    PortTable::setPath(8, m_home.filePath(QStringLiteral("gone")));

    std::unique_ptr<SerialPort> holder2 = PortTable::create(2);
    QVERIFY2(holder2->open(), qPrintable(holder2->errorText()));
    std::unique_ptr<SerialPort> holder5 = PortTable::create(5);
    QVERIFY(holder5->open());

    const QList<PortProbe::Entry> entries = PortProbe().probeAll();
    QCOMPARE(entries.size(), 8);
    using O = PortProbe::Outcome;
    const QList<O> expected = {O::Free, O::InUse, O::Absent, O::Free, O::InUse, O::InUse, O::Free, O::Absent};
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries[i].port, i + 1);
        QCOMPARE(entries[i].outcome, expected[i]);
        QCOMPARE(entries[i].path, PortTable::pathFor(i + 1));
    }
    QCOMPARE(entries[5].path, link6); // the path as configured, not the resolved target
}

void PortProbeTest::probingLeavesPortsAsTheyWere()
{
    PseudoTerminal free1, held2;
    QVERIFY(free1.isValid() && held2.isValid());
    PortTable::setPath(1, free1.slavePath());
    PortTable::setPath(2, held2.slavePath());

    std::unique_ptr<SerialPort> holder = PortTable::create(2);
    QVERIFY(holder->open());

    PortProbe probe;
    QCOMPARE(probe.probe(1).outcome, PortProbe::Outcome::Free);
    QCOMPARE(probe.probe(2).outcome, PortProbe::Outcome::InUse);
    QCOMPARE(probe.probe(2).outcome, PortProbe::Outcome::InUse);

    // The holder still has its port, and the free one was given back.
    QVERIFY(holder->isOpen());
    QVERIFY(holder->write(QByteArrayLiteral("REN\n\r")));
    std::unique_ptr<SerialPort> again = PortTable::create(1);
    QVERIFY2(again->open(), qPrintable(again->errorText()));
    again->close();

    // Ports outside 1..8 have no path and are never found.
    QCOMPARE(probe.probe(9).outcome, PortProbe::Outcome::Absent);
    QCOMPARE(probe.probe(0).outcome, PortProbe::Outcome::Absent);
}

void PortProbeTest::permissionIsNotFree()
{
    using O = PortProbe::Outcome;
    PortProbe fake([](int) { return std::make_unique<RefusingPort>(SerialPort::Error::NoPermission); });
    QCOMPARE(fake.probe(3).outcome, O::NoPermission);
    QCOMPARE(fake.probe(3).path, PortTable::pathFor(3));

    // A real device the user may not open: only reproducible without root rights.
    if (::geteuid() == 0)
        QSKIP("running as root: every device can be opened");
    const QString path = m_home.filePath(QStringLiteral("private-tty"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::Permissions()));
    PortTable::setPath(3, path);
    QCOMPARE(PortProbe().probe(3).outcome, O::NoPermission);
}

QTEST_GUILESS_MAIN(PortProbeTest)
#include "PortProbeTest.moc"
