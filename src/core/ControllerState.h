#pragma once

#include "core/CommandSource.h"
#include "core/ModuleTable.h"

#include <QObject>
#include <QString>

#include <functional>

// The program-wide state of the main window: flags, model, port and the module table. Every
// subsystem reads and writes this one copy.
class ControllerState : public QObject
{
    Q_OBJECT
public:
    explicit ControllerState(QObject *parent = nullptr);

    // Plain fields, written directly where the behaviour asks for a direct store.
    bool autoRefreshFlag = false;
    bool serviceMode = false;
    bool simulationMode = false;
    qint16 commPort = 0;
    ModuleTable table;

    // The AutoRefresh property: stores the flag and tells the menu to show its check mark.
    bool autoRefresh() const { return autoRefreshFlag; }
    void setAutoRefresh(bool on);

    // The PowerSupply property: stores the model and sets the caption at once.
    qint16 powerSupply() const { return m_powerSupply; }
    void setPowerSupply(qint16 model);
    // Only for reading the stored value before the caption exists.
    void storePowerSupply(qint16 model) { m_powerSupply = model; }

    // Runs `work` with the flag forced on (written directly, so the check mark stays), then puts
    // the remembered value back, unless a reply time-out switched auto refresh off meanwhile:
    // that stands, so the flag and its check mark agree and a silent supply is not polled.
    void forceAutoRefreshDuring(const std::function<void()> &work);

    qint16 CommPort() const { return commPort; }
    void setCommPort(qint16 port) { commPort = port; }

    // Who causes the commands sent now (a CommandSourceScope sets it); the operator by default.
    CommandSource commandSource() const { return m_commandSource; }
    void setCommandSource(CommandSource source) { m_commandSource = source; }

    QString caption() const;
    // The model's name ("R4150-D", "Tavrel digital"; empty for another model).
    QString supplyName() const;
    static QString captionFor(qint16 model);

signals:
    void autoRefreshPropertyChanged(bool on);
    void captionChanged(const QString &caption);

private:
    qint16 m_powerSupply = 0;
    CommandSource m_commandSource = CommandSource::Panel;
};
