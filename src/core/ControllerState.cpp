#include "core/ControllerState.h"

ControllerState::ControllerState(QObject *parent) : QObject(parent) {}

void ControllerState::setAutoRefresh(bool on)
{
    autoRefreshFlag = on;
    emit autoRefreshPropertyChanged(on);
}

void ControllerState::forceAutoRefreshDuring(const std::function<void()> &work)
{
    const bool remembered = autoRefreshFlag;
    autoRefreshFlag = true;
    bool switchedOff = false;
    const QMetaObject::Connection watch =
        connect(this, &ControllerState::autoRefreshPropertyChanged, this, [&switchedOff](bool on) {
            if (!on)
                switchedOff = true;
        });
    if (work)
        work();
    disconnect(watch);
    if (!switchedOff)
        autoRefreshFlag = remembered;
}

void ControllerState::setPowerSupply(qint16 model)
{
    m_powerSupply = model;
    emit captionChanged(caption());
}

QString ControllerState::caption() const
{
    return captionFor(m_powerSupply);
}

QString ControllerState::supplyName() const
{
    if (m_powerSupply == 0)
        return QStringLiteral("R4150-D");
    if (m_powerSupply == 1)
        return QStringLiteral("Tavrel digital");
    return QString();
}

QString ControllerState::captionFor(qint16 model)
{
    QString text = QStringLiteral("Tavrel Power Supply");
    if (model == 0)
        text += QStringLiteral(" [R4150-D]");
    else if (model == 1)
        text += QStringLiteral(" [Tavrel digital]");
    return text;
}
