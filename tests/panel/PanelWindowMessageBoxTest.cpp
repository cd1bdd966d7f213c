// The range-check message as the operator meets it: the program's real modal message box over
// the real main window on the virtual supply, closed the way an operator closes it.
#include "SupplyProbe.h"
#include "TestEnvironment.h"
#include "VirtualSupply.h"

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "core/QtUserInterface.h"
#include "device/PortTable.h"
#include "panel/EditField.h"
#include "panel/ModulePanel.h"
#include "panel/OnOffLamp.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int kPollMs = 10;

struct SeenBox
{
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton *> buttons;
};

} // namespace

class PanelWindowMessageBoxTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void boxClosedWithEnterGivesTheFieldBack();
    void clickOnAButtonThatLeftTheFieldIsNotCarriedOut();

private:
    // Runs `close` once on the next message box that comes up (inside its own event loop).
    void whenBoxShows(std::function<void(QMessageBox *)> close);
    void typeInto(EditField *field, const QString &text);
    QString focusName() const;
    QPoint centreInWindow(QWidget *widget) const;

    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<VirtualSupply> m_supply;
    std::unique_ptr<QtUserInterface> m_ui;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QTimer> m_watch;
    QList<SeenBox> m_seen;
    EditField *m_energy = nullptr;
};

void PanelWindowMessageBoxTest::init()
{
    m_environment = std::make_unique<TestEnvironment>();
    m_supply = std::make_unique<VirtualSupply>();
    m_supply->updateModel([](InstrumentModel &model) { model.setOn(1, true); });
    QVERIFY(m_supply->start());
    PortTable::setPath(1, m_supply->devicePath());
    m_ui = std::make_unique<QtUserInterface>();
    m_window = std::make_unique<MainWindow>(*m_ui, CommandLine::parse(QStringLiteral("/COM1")));
    m_ui->setParent(m_window.get());
    m_window->setSetupDialogRunner([] { QFAIL("the setup dialog opened"); });
    m_window->load();
    QVERIFY(waitForLine(m_window->line()));
    QVERIFY(m_window->connection().isConnected());
    m_window->timer().stop();
    m_window->state().setAutoRefresh(false);
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_energy = m_window->findChild<EditField *>(QStringLiteral("Text_Value(0)"));
    QVERIFY(m_energy);
    m_seen.clear();
}

void PanelWindowMessageBoxTest::cleanup()
{
    m_watch.reset();
    m_window.reset();
    m_ui.reset();
    m_supply->stop();
    m_supply.reset();
    m_environment.reset();
}

void PanelWindowMessageBoxTest::whenBoxShows(std::function<void(QMessageBox *)> close)
{
    m_watch = std::make_unique<QTimer>();
    m_watch->setInterval(kPollMs);
    connect(m_watch.get(), &QTimer::timeout, this, [this, close = std::move(close)] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        m_watch->stop();
        m_seen << SeenBox{box->text(), box->windowTitle(), box->icon(), box->buttons()};
        close(box);
    });
    m_watch->start();
}

void PanelWindowMessageBoxTest::typeInto(EditField *field, const QString &text)
{
    QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, centreInWindow(field));
    QCOMPARE(focusName(), field->objectName());
    field->selectAll();
    QTest::keyClicks(field, text);
    QCOMPARE(field->text(), text);
    QCoreApplication::processEvents();
    for (const PanelField &each : kPanelFields)
        m_window->model().clearMark(each);
    m_supply->clearLog();
}

QString PanelWindowMessageBoxTest::focusName() const
{
    const QWidget *focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QString();
}

QPoint PanelWindowMessageBoxTest::centreInWindow(QWidget *widget) const
{
    return widget->mapTo(m_window.get(), widget->rect().center());
}

void PanelWindowMessageBoxTest::boxClosedWithEnterGivesTheFieldBack()
{
    typeInto(m_energy, QStringLiteral("1200"));
    whenBoxShows([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });

    QTest::keyClick(m_window->windowHandle(), Qt::Key_Tab);

    QCOMPARE(m_seen.size(), 1);
    QCOMPARE(m_seen[0].text, QStringLiteral("Valid range is 0 ... 1000"));
    QCOMPARE(m_seen[0].title, QStringLiteral("Error"));
    QCOMPARE(m_seen[0].icon, QMessageBox::Critical);
    QCOMPARE(m_seen[0].buttons.size(), 1);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(m_energy->text(), QStringLiteral("1000"));
    QVERIFY(m_energy->isMarked());
    // Nothing but the program itself hands the activation back here (there is no window
    // manager): the window is active again and the corrected field has the focus.
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(m_window.get()));
    QTRY_COMPARE(focusName(), QStringLiteral("Text_Value(0)"));
    // The Enter that closed the box belonged to the box: it ran no cycle.
    QCoreApplication::processEvents();
    QVERIFY(m_supply->receivedCommands().isEmpty());

    // The field is back and usable: Enter now confirms the corrected number.
    QTest::keyClick(m_window->windowHandle(), Qt::Key_Return);
    QVERIFY(waitForLine(m_window->line()));
    QCOMPARE(m_supply->receivedCommands(), QStringList{QStringLiteral("VEN1000")});
    QCOMPARE(m_energy->selectedText(), QStringLiteral("1000"));
    QCOMPARE(m_seen.size(), 1);
}

void PanelWindowMessageBoxTest::clickOnAButtonThatLeftTheFieldIsNotCarriedOut()
{
    QPushButton *on = m_window->findChild<QPushButton *>(QStringLiteral("Command_On(1)"));
    auto *lamp = m_window->findChild<OnOffLamp *>(QStringLiteral("Label_OnOff(1)"));
    QVERIFY(on && lamp);
    typeInto(m_energy, QStringLiteral("1200"));
    const QPoint onButton = centreInWindow(on);
    // The operator lets the mouse button go while the box is up, then closes the box.
    whenBoxShows([this, onButton](QMessageBox *box) {
        QTest::mouseRelease(m_window->windowHandle(), Qt::LeftButton, {}, onButton);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });

    QTest::mousePress(m_window->windowHandle(), Qt::LeftButton, {}, onButton);

    QCOMPARE(m_seen.size(), 1);
    QCOMPARE(m_seen[0].text, QStringLiteral("Valid range is 0 ... 1000"));
    QCOMPARE(m_energy->text(), QStringLiteral("1000"));
    QTRY_COMPARE(focusName(), QStringLiteral("Text_Value(0)"));
    QCoreApplication::processEvents();
    // The correction interrupted the click: the operator sees the corrected field before
    // anything else happens, and no switch request is left.
    QCOMPARE(m_window->model().switchRequest(1), SupplyModel::SwitchRequest::None);

    // The next click on the button is an ordinary one.
    QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, onButton);
    QCOMPARE(m_window->model().switchRequest(1), SupplyModel::SwitchRequest::On);
    QCOMPARE(m_seen.size(), 1);
    m_window->refreshCycle().runCycle();
    QVERIFY(waitForLine(m_window->line()));
    QCOMPARE(m_supply->receivedCommands(), (QStringList{QStringLiteral("VEN1000"), QStringLiteral("SCAON")}));
}

QTEST_MAIN(PanelWindowMessageBoxTest)
#include "PanelWindowMessageBoxTest.moc"
