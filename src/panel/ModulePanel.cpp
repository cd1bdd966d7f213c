#include "panel/ModulePanel.h"

#include "core/Twips.h"
#include "core/Conversions.h"
#include "core/UserInterface.h"
#include "panel/EditField.h"
#include "panel/IndicatorLamp.h"
#include "panel/OnOffLamp.h"
#include "panel/ScreenBar.h"
#include "panel/SpinControl.h"
#include "panel/SpinImages.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
using namespace Module;
constexpr int kMonitorWidthPx = 64;
constexpr int kFieldWidthPx = 56;
constexpr int kGroupMarginPx = 6;
constexpr int kPanelMarginPx = 4;

QString indexed(const char *base, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(index);
}
} // namespace

ModulePanel::ModulePanel(SupplyModel &model, UserInterface &ui, QWidget *parent)
    : QWidget(parent), m_model(model), m_ui(ui)
{

    setObjectName(QStringLiteral("Panel"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPanelMarginPx, kPanelMarginPx, kPanelMarginPx, kPanelMarginPx);

    auto *topRow = new QHBoxLayout;
    topRow->addWidget(buildModuleGroup(0));
    topRow->addWidget(buildModuleGroup(3));
    topRow->addWidget(buildCurrentMonitors());
    topRow->addWidget(buildModuleGroup(5));
    topRow->addWidget(buildModuleGroup(6));
    auto *bottomRow = new QHBoxLayout;
    bottomRow->addWidget(buildStatusColumn());
    bottomRow->addWidget(buildModuleGroup(1));
    bottomRow->addWidget(buildModuleGroup(4));
    bottomRow->addWidget(buildModuleGroup(7));
    bottomRow->addWidget(buildModuleGroup(2));
    column->addLayout(topRow);
    column->addLayout(bottomRow);

    // The four images the spin controls copy from; never shown.
    const std::pair<const char *, SpinImages::Kind> sources[] = {
        {"Picture_up_dn", SpinImages::Kind::Rest},
        {"Picture_up", SpinImages::Kind::PlusPressed},
        {"Picture_Dn", SpinImages::Kind::MinusPressed},
        {"Picture_up_dn_dis", SpinImages::Kind::Disabled},
    };
    for (const auto &[name, kind] : sources) {
        auto *picture = new QLabel(this);
        picture->setObjectName(QLatin1String(name));
        picture->setPixmap(SpinImages::pixmap(kind));
        picture->hide();
    }

    // The service panel below the normal window area, uncovered in service mode.
    m_picture1 = new QLabel;
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_picture1->setTextFormat(Qt::PlainText);
    m_picture1->setAutoFillBackground(true);
    m_picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture1->setVisible(false);
    column->addWidget(m_picture1);
    setTabOrder();
    showModel();
}

void ModulePanel::showModel()
{
    setConnected(m_model.isEditable());
    connect(&m_model, &SupplyModel::editableChanged, this, &ModulePanel::setConnected);
    for (int module : {kCathode, kScreen})
        showSwitchedOn(module, m_model.isSwitchedOn(module));
    connect(&m_model, &SupplyModel::switchedOnChanged, this, &ModulePanel::showSwitchedOn);
    for (auto monitor : {SupplyModel::Monitor::Voltage, SupplyModel::Monitor::Current})
        for (int module = 0; module < kModuleCount; ++module)
            showMonitor(monitor, module, m_model.monitorText(monitor, module));
    connect(&m_model, &SupplyModel::monitorTextChanged, this, &ModulePanel::showMonitor);
    m_pictureScreen->setBoxes(m_model.screenBar());
    connect(&m_model, &SupplyModel::screenBarChanged, m_pictureScreen, &ScreenBar::setBoxes);
    auto showServiceLines = [this](const QStringList &lines) { m_picture1->setText(lines.join(QLatin1Char('\n'))); };
    showServiceLines(m_model.serviceTable());
    connect(&m_model, &SupplyModel::serviceTableChanged, this, showServiceLines);
    m_labelCommPort->setText(m_model.portCaption());
    connect(&m_model, &SupplyModel::portCaptionChanged, m_labelCommPort, &QLabel::setText);
    m_daSetVoltage->setText(m_model.controlVoltage());
    connect(&m_model, &SupplyModel::controlVoltageTextChanged, this, [this](const QString &text) {
        if (m_daSetVoltage->text() != text)
            m_daSetVoltage->setText(text);
    });
    connect(m_daSetVoltage, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_model.setControlVoltage(text, true); });
}

QLabel *ModulePanel::makeMonitor(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(kMonitorWidthPx);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QWidget *ModulePanel::buildModuleGroup(int module)
{
    auto *group = new QFrame;
    group->setObjectName(QStringLiteral("Group_Module(%1)").arg(module));
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *grid = new QGridLayout(group);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(2);
    int row = 0;

    // Monitors on top.
    auto *monitors = new QHBoxLayout;
    if (module != kCathode && module != kScreen) {
        m_uMon[module] = makeMonitor(indexed("Label_UMon", module));
        monitors->addWidget(m_uMon[module]);
    }
    if (module == kCathode) {
        m_iMon[kCathode] = makeMonitor(indexed("Label_IMon", kCathode));
        monitors->addWidget(m_iMon[kCathode]);
    }
    if (module == kScreen) {
        auto *barBox = new QWidget;
        auto *barGrid = new QGridLayout(barBox);
        barGrid->setContentsMargins(0, 0, 0, 0);
        barGrid->setVerticalSpacing(0);
        auto *scaleLow = new QLabel(QStringLiteral("1"));
        scaleLow->setObjectName(QStringLiteral("Label3(0)"));
        auto *scaleHigh = new QLabel(QStringLiteral("10"));
        scaleHigh->setObjectName(QStringLiteral("Label3(1)"));
        scaleHigh->setAlignment(Qt::AlignRight);
        m_pictureScreen = new ScreenBar;
        barGrid->addWidget(scaleLow, 0, 0);
        barGrid->addWidget(scaleHigh, 0, 1);
        barGrid->addWidget(m_pictureScreen, 1, 0, 1, 2);
        monitors->addWidget(barBox);
    }
    grid->addLayout(monitors, row++, 0, 1, 4);

    auto *caption = new QLabel(ModuleTable::caption(module));
    caption->setObjectName(indexed("Label_Caption", module));
    grid->addWidget(caption, row++, 0, 1, 4);

    auto addField = [&](PanelField field, int column, const QString &heading) {
        auto *title = new QLabel(heading);
        grid->addWidget(title, row, column, 1, 2);
        auto *edit = new EditField(field, m_model, m_ui);
        edit->setToolTip(EditField::toolTipFor(field));
        edit->setFixedWidth(kFieldWidthPx);
        auto *spin = new SpinControl(*edit, m_model.limits(), m_ui);
        connect(spin, &SpinControl::sendNowRequested, this, &ModulePanel::sendNowRequested);
        grid->addWidget(edit, row + 1, column);
        grid->addWidget(spin, row + 1, column + 1, Qt::AlignLeft);
        return std::make_pair(edit, spin);
    };
    if (module <= kScreen) {
        auto [edit, spin] = addField(PanelField::value(module), 0, QStringLiteral("Value"));
        m_values[module] = edit;
        m_valueSpins[module] = spin;
        caption->setBuddy(edit);
    } else {
        auto [gain, gainSpin] = addField(PanelField::gain(module), 0, QStringLiteral("Gain"));
        m_gains[module] = gain;
        m_gainSpins[module] = gainSpin;
        caption->setBuddy(gain);
        if (module != kSuppressor) {
            auto [offset, offsetSpin] = addField(PanelField::offset(module), 2, QStringLiteral("Offset"));
            m_offsets[module] = offset;
            m_offsetSpins[module] = offsetSpin;
        }
    }
    row += 2;

    if (module == kCathode || module == kScreen) {
        auto *switches = new QHBoxLayout;
        m_onOff[module] = new OnOffLamp(module);
        m_commandOn[module] = new QPushButton(QStringLiteral("ON"));
        m_commandOn[module]->setObjectName(indexed("Command_On", module));
        m_commandOff[module] = new QPushButton(QStringLiteral("OFF"));
        m_commandOff[module]->setObjectName(indexed("Command_Off", module));
        switches->addWidget(m_onOff[module]);
        switches->addWidget(m_commandOn[module]);
        switches->addWidget(m_commandOff[module]);
        switches->addStretch();
        grid->addLayout(switches, row++, 0, 1, 4);
        connect(m_commandOn[module], &QPushButton::clicked, this, [this, module] { onOn(module); });
        connect(m_commandOff[module], &QPushButton::clicked, this, [this, module] { onOff(module); });
    }
    grid->setRowStretch(row, 1);
    return group;
}

QWidget *ModulePanel::buildCurrentMonitors()
{
    auto *group = new QFrame;
    group->setObjectName(QStringLiteral("Group_Currents"));
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *grid = new QGridLayout(group);
    auto *beamCaption = new QLabel(QStringLiteral(" Beam  Current (\u00b5A)"));
    beamCaption->setObjectName(QStringLiteral("Label_IMonCaption(0)"));
    auto *anodeCaption = new QLabel(QStringLiteral("Anode Current (mA)"));
    anodeCaption->setObjectName(QStringLiteral("Label_IMonCaption(4)"));
    m_iMon[kEnergy] = makeMonitor(indexed("Label_IMon", kEnergy));
    m_iMon[kAnode] = makeMonitor(indexed("Label_IMon", kAnode));
    grid->addWidget(beamCaption, 0, 0);
    grid->addWidget(m_iMon[kEnergy], 1, 0);
    grid->addWidget(anodeCaption, 2, 0);
    grid->addWidget(m_iMon[kAnode], 3, 0);
    grid->setRowStretch(4, 1);
    return group;
}

QWidget *ModulePanel::buildStatusColumn()
{
    auto *group = new QFrame;
    group->setObjectName(QStringLiteral("Group_Status"));
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *grid = new QGridLayout(group);
    m_labelSimulation = new QLabel(QStringLiteral("SIMULATION"));
    m_labelSimulation->setObjectName(QStringLiteral("Label_Simulation"));
    QFont bold = m_labelSimulation->font();
    bold.setBold(true);
    m_labelSimulation->setFont(bold);
    m_labelSimulation->setStyleSheet(QStringLiteral("color: red"));
    m_labelSimulation->setVisible(false);
    m_labelVersionDate = new QLabel(kVersionDate);
    m_labelVersionDate->setObjectName(QStringLiteral("Label_VersionDate"));
    m_pictureBusy = new IndicatorLamp(QStringLiteral("Picture_Busy"));
    m_labelCommPort = new QLabel;
    m_labelCommPort->setObjectName(SupplyModel::kPortCaptionItem);
    m_pictureDde = new IndicatorLamp(QStringLiteral("Picture_DDE"));
    auto *ddeCaption = new QLabel(QStringLiteral("DDE"));
    ddeCaption->setObjectName(QStringLiteral("Label_DDE"));
    auto *controlCaption = new QLabel(QStringLiteral("Control (V)"));
    m_daSetVoltage = new QLineEdit;
    m_daSetVoltage->setObjectName(SupplyModel::kControlVoltageItem);
    m_daSetVoltage->setFixedWidth(kFieldWidthPx);
    m_daSetVoltage->setToolTip(QStringLiteral("Control voltage: the energy is 100 eV per volt"));
    controlCaption->setBuddy(m_daSetVoltage);

    grid->addWidget(m_labelSimulation, 0, 0, 1, 2);
    grid->addWidget(m_labelVersionDate, 1, 0, 1, 2);
    grid->addWidget(m_pictureBusy, 2, 0);
    grid->addWidget(m_labelCommPort, 2, 1);
    grid->addWidget(m_pictureDde, 3, 0);
    grid->addWidget(ddeCaption, 3, 1);
    grid->addWidget(controlCaption, 4, 0, 1, 2);
    grid->addWidget(m_daSetVoltage, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
    // Filament care: hidden while it is off, so the column is as it always was.
    m_labelFilamentRamp = new QLabel;
    m_labelFilamentRamp->setObjectName(QStringLiteral("Label_FilamentRamp"));
    m_labelFilamentRamp->setVisible(false);
    m_pictureInterlock = new IndicatorLamp(QStringLiteral("Picture_Interlock"));
    m_labelInterlock = new QLabel(QStringLiteral("Interlock"));
    m_labelInterlock->setObjectName(QStringLiteral("Label_Interlock"));
    m_pictureInterlock->setVisible(false);
    m_labelInterlock->setVisible(false);
    grid->addWidget(m_labelFilamentRamp, 7, 0, 1, 2);
    grid->addWidget(m_pictureInterlock, 8, 0);
    grid->addWidget(m_labelInterlock, 8, 1);
    // The lab network: hidden while it is off.
    m_pictureNetwork = new IndicatorLamp(QStringLiteral("Picture_Network"));
    m_labelNetwork = new QLabel(QStringLiteral("Network"));
    m_labelNetwork->setObjectName(QStringLiteral("Label_Network"));
    m_pictureNetwork->setVisible(false);
    m_labelNetwork->setVisible(false);
    grid->addWidget(m_pictureNetwork, 9, 0);
    grid->addWidget(m_labelNetwork, 9, 1);
    return group;
}

void ModulePanel::setTabOrder()
{
    // Through the top row, then the bottom row, left to right; spin controls take no focus.
    QList<QWidget *> order = {m_values[0], m_gains[3], m_offsets[3], m_gains[5], m_offsets[5], m_gains[6],
                              m_daSetVoltage, m_values[1], m_commandOn[1], m_commandOff[1], m_gains[4],
                              m_offsets[4], m_gains[7], m_offsets[7], m_values[2], m_commandOn[2],
                              m_commandOff[2]};
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void ModulePanel::showServiceTable(int lines, int columns, double logicalDpi)
{
    // 2000 twips, or what the heading and eight rows of the table need at the user's font
    // when that is more (a fixed-pitch font is often taller than 2000 twips / 9 lines).
    const QFontMetrics metrics(m_picture1->font());
    const int frame = 2 * m_picture1->frameWidth();
    const QMargins margins = m_picture1->contentsMargins();
    const int width = metrics.horizontalAdvance(QString(columns, QLatin1Char('0'))) + frame + margins.left()
                      + margins.right();
    const int height = lines * metrics.lineSpacing() + frame + margins.top() + margins.bottom();
    m_picture1->setMinimumSize(width, std::max(height, Twips::toPixels(kServicePanelTwips, logicalDpi)));
    m_picture1->setVisible(true);
}

void ModulePanel::onOn(int index)
{
    m_model.requestSwitch(index, SupplyModel::SwitchRequest::On);
}

void ModulePanel::onOff(int index)
{
    m_model.requestSwitch(index, SupplyModel::SwitchRequest::Off);
}

EditField *ModulePanel::editField(PanelField field) const
{
    if (!field.exists())
        return nullptr;
    switch (field.kind) {
    case PanelField::Kind::Value:
        return m_values[field.index];
    case PanelField::Kind::Gain:
        return m_gains[field.index];
    case PanelField::Kind::Offset:
        return m_offsets[field.index];
    }
    return nullptr;
}

SpinControl *ModulePanel::spinControl(PanelField field) const
{
    if (!field.exists())
        return nullptr;
    switch (field.kind) {
    case PanelField::Kind::Value:
        return m_valueSpins[field.index];
    case PanelField::Kind::Gain:
        return m_gainSpins[field.index];
    case PanelField::Kind::Offset:
        return m_offsetSpins[field.index];
    }
    return nullptr;
}

void ModulePanel::showMonitor(SupplyModel::Monitor monitor, int module, const QString &text)
{
    if (QLabel *label = monitor == SupplyModel::Monitor::Voltage ? m_uMon[module] : m_iMon[module])
        label->setText(text);
}

void ModulePanel::showSwitchedOn(int module, bool on)
{
    m_onOff[module]->setLit(on);
    m_valueSpins[module]->setConnectedImage(on);
}

void ModulePanel::setConnected(bool connected)
{
    for (const PanelField &field : kPanelFields) {
        editField(field)->setEnabled(connected);
        spinControl(field)->setConnectedImage(connected);
    }
    for (int module : {kCathode, kScreen}) {
        m_commandOn[module]->setEnabled(connected);
        m_commandOff[module]->setEnabled(connected);
    }
    m_daSetVoltage->setEnabled(connected);
}

void ModulePanel::setSimulationShown(bool shown)
{
    m_labelSimulation->setVisible(shown);
}

void ModulePanel::showFilamentRamp(const QString &text)
{
    m_labelFilamentRamp->setText(text);
    m_labelFilamentRamp->setVisible(!text.isEmpty());
}

QString ModulePanel::filamentRampText() const
{
    return m_labelFilamentRamp->isHidden() ? QString() : m_labelFilamentRamp->text();
}

void ModulePanel::showNetwork(bool shown, const QColor &colour, const QString &state)
{
    m_pictureNetwork->setVisible(shown);
    m_labelNetwork->setVisible(shown);
    m_pictureNetwork->setColor(colour);
    m_pictureNetwork->setToolTip(state);
    m_labelNetwork->setToolTip(state);
}

void ModulePanel::showInterlock(bool shown, const QColor &colour, const QString &state)
{
    m_pictureInterlock->setVisible(shown);
    m_labelInterlock->setVisible(shown);
    m_pictureInterlock->setColor(colour);
    m_pictureInterlock->setToolTip(state);
    m_labelInterlock->setToolTip(state);
}

QString ModulePanel::versionDate() const
{
    return m_labelVersionDate->text();
}

EditField &ModulePanel::anodeField() const
{
    return *m_gains[kAnode];
}
