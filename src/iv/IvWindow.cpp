#include "iv/IvWindow.h"

#include "camera/Camera.h"
#include "camera/CameraWorker.h"
#include "core/ModuleTable.h"
#include "core/SettingsStore.h"
#include "core/UserInterface.h"
#include "device/SupplyModel.h"
#include "iv/FrameView.h"
#include "iv/IvMeasurement.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <cmath>

namespace {

constexpr double kMicrosecondsPerMs = 1000.0;
const QList<QColor> kCurveColors{QColor(31, 119, 180), QColor(214, 39, 40),  QColor(44, 160, 44),
                                 QColor(255, 127, 14), QColor(148, 103, 189), QColor(140, 86, 75),
                                 QColor(227, 119, 194), QColor(23, 190, 207)};

// "1 step", "3 steps".
QString counted(int count, const char *thing)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(thing)).arg(count == 1 ? "" : "s");
}

QString setting(const QString &key, const QString &fallback)
{
    return SettingsStore::readText(IvWindow::kSection, key, fallback);
}

double numberSetting(const QString &key, double fallback)
{
    bool ok = false;
    const double value = setting(key, QString()).toDouble(&ok);
    return ok && std::isfinite(value) ? value : fallback;
}

QDoubleSpinBox *numberBox(double lowest, double highest, int decimals, double value, const QString &suffix = {})
{
    auto *box = new QDoubleSpinBox;
    box->setRange(lowest, highest);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

IvWindow::IvWindow(IvMeasurement &measurement, Camera &camera, SupplyModel &model, UserInterface &ui, QWidget *parent)
    : QWidget(parent, Qt::Window), m_measurement(measurement), m_camera(camera), m_model(model), m_ui(ui),
      m_settings(CameraSettings::load())
{
    setObjectName(QStringLiteral("IvWindow"));
    setWindowTitle(tr("I(V) Measurement"));
    m_view = new FrameView;
    m_plot = new QCustomPlot;
    m_plot->setMinimumHeight(180);
    m_plot->xAxis->setLabel(tr("Energy (eV)"));
    m_plot->yAxis->setLabel(tr("I / I0"));
    m_plot->legend->setVisible(true);

    auto *controls = new QVBoxLayout;
    controls->addWidget(makeCameraGroup());
    controls->addWidget(makeSpotGroup());
    controls->addWidget(makeMeasurementGroup());
    controls->addStretch();
    auto *side = new QWidget;
    side->setLayout(controls);
    side->setMaximumWidth(420);

    auto *top = new QHBoxLayout;
    top->addWidget(m_view, 1);
    top->addWidget(side);
    auto *upper = new QWidget;
    upper->setLayout(top);
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(upper);
    splitter->addWidget(m_plot);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(1100, 860);

    m_viewTimer.setInterval(kViewIntervalMs);
    connect(&m_viewTimer, &QTimer::timeout, this, &IvWindow::showLatestFrame);
    connect(&m_camera, &Camera::frameArrived, this, &IvWindow::onFrame);
    connect(&m_camera, &Camera::opened, this, &IvWindow::onCameraOpened);
    connect(&m_camera, &Camera::failed, this, [this](const QString &error) { m_cameraState->setText(error); });
    connect(&m_camera, &Camera::framesLost, this, [this](int count) {
        m_cameraState->setText(tr("%1 lost").arg(counted(count, "frame")));
    });
    connect(m_view, &FrameView::clicked, this, [this](QPointF position) {
        markAt(position, m_clickMode->checkedId() == 1);
    });
    connect(m_view, &FrameView::spotMoved, this, [this](int index, QPointF position) {
        m_measurement.tracker().moveSpot(index, position);
        refreshMarks();
    });
    connect(m_view, &FrameView::originMoved, this, [this](QPointF position) {
        m_measurement.tracker().setOrigin(position);
        refreshMarks();
    });
    connect(m_view, &FrameView::spotRemoveRequested, this, [this](int index) {
        if (m_measurement.isRunning())
            return;
        QList<SpotTracker::Spot> spots = m_measurement.tracker().spots();
        spots.removeAt(index);
        m_measurement.tracker().setSpots(spots, m_measurement.tracker().energy());
        refreshSpotList();
    });
    connect(&m_measurement, &IvMeasurement::stepMeasured, this, &IvWindow::onStepMeasured);
    connect(&m_measurement, &IvMeasurement::finished, this, &IvWindow::onFinished);
    connect(&m_measurement, &IvMeasurement::started, this, [this](int steps, const QString &folder) {
        m_progress->setRange(0, steps);
        m_progress->setValue(0);
        for (int i = 0; i < m_plot->graphCount(); ++i)
            m_plot->graph(i)->data()->clear();
        m_plot->replot();
        setStatus(tr("Measuring into %1").arg(QDir::toNativeSeparators(folder)));
        updateButtons();
    });
    connect(&m_measurement, &IvMeasurement::darkFrameTaken, this, [this](int frames) {
        m_darkState->setText(tr("%1, %2").arg(counted(frames, "frame"))
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
        updateButtons();
    });
    m_measurement.setFramesToAverage(m_settings.framesToAverage);
    updateButtons();
}

QWidget *IvWindow::makeCameraGroup()
{
    auto *group = new QGroupBox(tr("Camera"));
    auto *form = new QFormLayout(group);
    m_cameraBox = new QComboBox;
    m_cameraBox->addItem(tr("Simulated LEED screen"), CameraWorker::kSimulatedId);
    if (!m_settings.cameraId.isEmpty() && m_settings.cameraId != CameraWorker::kSimulatedId)
        m_cameraBox->addItem(m_settings.cameraId, m_settings.cameraId);
    m_cameraBox->setCurrentIndex(m_cameraBox->count() - 1);
    auto *find = new QPushButton(tr("Find cameras"));
    auto *row = new QHBoxLayout;
    row->addWidget(m_cameraBox, 1);
    row->addWidget(find);
    form->addRow(tr("Camera:"), row);
    m_cameraState = new QLabel;
    m_cameraState->setWordWrap(true);
    form->addRow(m_cameraState);
    m_exposure = numberBox(0.01, 60000.0, 2, m_settings.exposureUs / kMicrosecondsPerMs, tr(" ms"));
    form->addRow(tr("Exposure:"), m_exposure);
    m_gain = numberBox(0.0, 1000.0, 1, m_settings.gain);
    form->addRow(tr("Gain:"), m_gain);
    m_frames = new QSpinBox;
    m_frames->setRange(1, CameraSettings::kMaxFramesToAverage);
    m_frames->setValue(m_settings.framesToAverage);
    form->addRow(tr("Frames to average:"), m_frames);
    m_black = new QSpinBox;
    m_black->setRange(0, 65534);
    m_white = new QSpinBox;
    m_white->setRange(1, 65535);
    m_white->setValue(65535);
    auto *automatic = new QPushButton(tr("Auto"));
    auto *levels = new QHBoxLayout;
    levels->addWidget(m_black);
    levels->addWidget(m_white);
    levels->addWidget(automatic);
    form->addRow(tr("Black / white:"), levels);
    m_dark = new QPushButton(tr("Take dark frame"));
    m_darkState = new QLabel(tr("none"));
    auto *dark = new QHBoxLayout;
    dark->addWidget(m_dark);
    dark->addWidget(m_darkState, 1);
    form->addRow(tr("Dark frame:"), dark);

    connect(m_cameraBox, &QComboBox::activated, this, [this] {
        m_settings.cameraId = m_cameraBox->currentData().toString();
        m_settings.save();
        m_camera.open(m_settings.cameraId);
    });
    connect(find, &QPushButton::clicked, this, [this] {
        // Searching broadcasts on the local network; where that must not happen it is switched off.
        if (qEnvironmentVariableIntValue("TAVREL_NO_CAMERA_SEARCH")) {
            m_cameraState->setText(tr("camera search is switched off here (TAVREL_NO_CAMERA_SEARCH)"));
            return;
        }
        m_cameraState->setText(tr("searching..."));
        m_camera.findCameras();
    });
    connect(&m_camera, &Camera::camerasFound, this, [this](const QList<std::pair<QString, QString>> &found) {
        for (const auto &[id, name] : found) {
            if (m_cameraBox->findData(id) < 0)
                m_cameraBox->addItem(name, id);
        }
        m_cameraState->setText(tr("%1 found").arg(counted(int(found.size()), "camera")));
    });
    const auto changed = [this] { applyCameraSettings(); };
    connect(m_exposure, &QDoubleSpinBox::valueChanged, this, changed);
    connect(m_gain, &QDoubleSpinBox::valueChanged, this, changed);
    connect(m_frames, &QSpinBox::valueChanged, this, changed);
    const auto levelsChanged = [this] {
        m_levelsSet = true;
        m_view->setLevels(m_black->value(), m_white->value());
    };
    connect(m_black, &QSpinBox::valueChanged, this, levelsChanged);
    connect(m_white, &QSpinBox::valueChanged, this, levelsChanged);
    connect(automatic, &QPushButton::clicked, this, &IvWindow::applyAutomaticLevels);
    connect(m_dark, &QPushButton::clicked, this, [this] {
        const QString why = m_measurement.takeDarkFrame();
        if (!why.isEmpty())
            m_ui.messageBox(why, tr("Dark frame"), UserInterface::Icon::Exclamation);
        else
            m_darkState->setText(tr("taking..."));
        updateButtons();
    });
    return group;
}

QWidget *IvWindow::makeSpotGroup()
{
    auto *group = new QGroupBox(tr("Spots"));
    auto *layout = new QVBoxLayout(group);
    auto *spotMode = new QRadioButton(tr("A click marks a spot"));
    auto *originMode = new QRadioButton(tr("A click marks (0,0)"));
    spotMode->setChecked(true);
    m_clickMode = new QButtonGroup(this);
    m_clickMode->addButton(spotMode, 0);
    m_clickMode->addButton(originMode, 1);
    layout->addWidget(spotMode);
    layout->addWidget(originMode);
    m_spotList = new QListWidget;
    m_spotList->setMaximumHeight(110);
    layout->addWidget(m_spotList);
    auto *clear = new QPushButton(tr("Clear spots"));
    layout->addWidget(clear);
    auto *form = new QFormLayout;
    m_radiusInfinity = numberBox(1.0, 500.0, 1, numberSetting(QStringLiteral("RadiusInfinity"), RadiusLaw().atInfinity),
                                 tr(" px"));
    m_radiusEnergy = numberBox(0.0, 1.0e6, 0, numberSetting(QStringLiteral("RadiusEnergy"), RadiusLaw().energyTerm),
                               tr(" px² eV"));
    form->addRow(tr("Radius r\u221e:"), m_radiusInfinity);
    form->addRow(tr("Radius term c:"), m_radiusEnergy);
    layout->addLayout(form);

    const auto lawChanged = [this] {
        m_measurement.tracker().setRadiusLaw({m_radiusInfinity->value(), m_radiusEnergy->value()});
        SettingsStore::writeText(kSection, QStringLiteral("RadiusInfinity"), QString::number(m_radiusInfinity->value()));
        SettingsStore::writeText(kSection, QStringLiteral("RadiusEnergy"), QString::number(m_radiusEnergy->value()));
        refreshMarks();
    };
    connect(m_radiusInfinity, &QDoubleSpinBox::valueChanged, this, lawChanged);
    connect(m_radiusEnergy, &QDoubleSpinBox::valueChanged, this, lawChanged);
    m_measurement.tracker().setRadiusLaw({m_radiusInfinity->value(), m_radiusEnergy->value()});
    connect(clear, &QPushButton::clicked, this, [this] {
        if (m_measurement.isRunning())
            return;
        m_measurement.tracker().setSpots({}, currentEnergy());
        m_measurement.setSpotLabels({});
        refreshSpotList();
    });
    connect(m_spotList, &QListWidget::itemChanged, this, [this] {
        QStringList labels;
        for (int i = 0; i < m_spotList->count(); ++i)
            labels.append(m_spotList->item(i)->text().trimmed());
        m_measurement.setSpotLabels(labels);
        refreshMarks();
    });
    return group;
}

QWidget *IvWindow::makeMeasurementGroup()
{
    auto *group = new QGroupBox(tr("Measurement"));
    auto *form = new QFormLayout(group);
    m_from = numberBox(0.0, 5000.0, 1, numberSetting(QStringLiteral("From"), 50.0), tr(" eV"));
    m_to = numberBox(0.0, 5000.0, 1, numberSetting(QStringLiteral("To"), 300.0), tr(" eV"));
    m_step = numberBox(0.01, 1000.0, 2, numberSetting(QStringLiteral("Step"), 1.0), tr(" eV"));
    m_settle = new QSpinBox;
    m_settle->setRange(0, 600000);
    m_settle->setSuffix(tr(" ms"));
    m_settle->setValue(int(numberSetting(QStringLiteral("SettleMs"), 100)));
    form->addRow(tr("From:"), m_from);
    form->addRow(tr("To:"), m_to);
    form->addRow(tr("Step:"), m_step);
    form->addRow(tr("Settle time:"), m_settle);
    m_folder = new QLineEdit(baseFolder());
    auto *browse = new QPushButton(tr("Browse..."));
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    form->addRow(tr("Folder:"), folderRow);
    m_start = new QPushButton(tr("Start"));
    m_stop = new QPushButton(tr("Stop"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    form->addRow(buttons);
    m_progress = new QProgressBar;
    form->addRow(m_progress);
    m_status = new QLabel;
    m_status->setWordWrap(true);
    form->addRow(m_status);

    connect(browse, &QPushButton::clicked, this, [this] {
        UserInterface::FileDialogRequest request;
        request.title = tr("Folder for the measurements");
        request.initialFolder = m_folder->text();
        if (const std::optional<QString> folder = m_ui.folderDialog(request))
            m_folder->setText(*folder);
    });
    connect(m_start, &QPushButton::clicked, this, [this] {
        const QString why = startMeasurement();
        if (!why.isEmpty())
            m_ui.messageBox(why, tr("I(V) Measurement"), UserInterface::Icon::Exclamation);
    });
    connect(m_stop, &QPushButton::clicked, &m_measurement, &IvMeasurement::stop);
    return group;
}

QString IvWindow::baseFolder() const
{
    return IvPlan::baseFolder();
}

QString IvWindow::statusText() const
{
    return m_status->text();
}

void IvWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

double IvWindow::currentEnergy() const
{
    bool ok = false;
    const double energy = m_model.monitorText(SupplyModel::Monitor::Voltage, Module::kEnergy).trimmed().toDouble(&ok);
    return ok ? energy : 0.0;
}

void IvWindow::applyCameraSettings()
{
    m_settings.exposureUs = m_exposure->value() * kMicrosecondsPerMs;
    m_settings.gain = m_gain->value();
    m_settings.framesToAverage = m_frames->value();
    m_settings.save();
    m_measurement.setFramesToAverage(m_settings.framesToAverage);
    m_camera.apply(m_settings);
}

void IvWindow::onCameraOpened(const CameraInfo &info)
{
    m_cameraState->setText(tr("%1, %2 × %3, %4").arg(info.name).arg(info.width).arg(info.height).arg(info.pixelFormat));
    if (!m_measurement.tracker().origin().isNull() || !info.simulated)
        return;
    // Where the simulated screen's (0,0) is, until the operator marks it.
    m_measurement.tracker().setOrigin(QPointF(0.5 * info.width, 0.56 * info.height));
    refreshMarks();
}

void IvWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_camera.isOpen()) {
        m_camera.apply(m_settings);
        m_camera.open(m_settings.cameraId);
    }
    m_camera.start();
    m_viewTimer.start();
}

void IvWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_viewTimer.stop();
    if (!m_measurement.isRunning() && m_measurement.phase() == IvMeasurement::Phase::Idle)
        m_camera.stop();
}

void IvWindow::onFrame(const FramePtr &frame)
{
    m_latest = frame;
    m_latestShown = false;
}

void IvWindow::showLatestFrame()
{
    if (m_latestShown || !m_latest)
        return;
    m_latestShown = true;
    m_view->setFrame(m_latest);
    if (!m_levelsSet)
        applyAutomaticLevels();
}

void IvWindow::applyAutomaticLevels()
{
    const auto [black, white] = m_view->automaticLevels();
    const QSignalBlocker blockBlack(m_black);
    const QSignalBlocker blockWhite(m_white);
    m_black->setValue(black);
    m_white->setValue(white);
    m_view->setLevels(black, white);
    m_levelsSet = true;
}

void IvWindow::markAt(QPointF position, bool origin)
{
    SpotTracker &tracker = m_measurement.tracker();
    if (origin) {
        tracker.setOrigin(position);
    } else if (!m_measurement.isRunning()) {
        // Spots marked before a measurement are where they are at the energy shown now.
        QList<SpotTracker::Spot> spots = tracker.spots();
        spots.append({QString(), position});
        tracker.setSpots(spots, currentEnergy());
    }
    refreshSpotList();
}

void IvWindow::refreshSpotList()
{
    const QStringList labels = m_measurement.spotLabels();
    const QSignalBlocker blocker(m_spotList);
    m_spotList->clear();
    for (const QString &label : labels) {
        auto *item = new QListWidgetItem(label, m_spotList);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    m_measurement.setSpotLabels(labels);
    m_found.clear();
    m_saturated.clear();
    // One curve a spot.
    while (m_plot->graphCount() > labels.size())
        m_plot->removeGraph(m_plot->graphCount() - 1);
    while (m_plot->graphCount() < labels.size()) {
        QCPGraph *graph = m_plot->addGraph();
        graph->setPen(QPen(kCurveColors[(m_plot->graphCount() - 1) % kCurveColors.size()], 1.5));
    }
    for (int i = 0; i < labels.size(); ++i)
        m_plot->graph(i)->setName(labels[i]);
    m_plot->replot();
    refreshMarks();
}

void IvWindow::refreshMarks()
{
    const SpotTracker &tracker = m_measurement.tracker();
    const QStringList labels = m_measurement.spotLabels();
    const double energy = m_measurement.isRunning() ? tracker.energy() : currentEnergy();
    QList<FrameView::Mark> marks;
    for (int i = 0; i < tracker.spots().size(); ++i) {
        FrameView::Mark mark;
        mark.label = i < labels.size() ? labels[i] : QString();
        mark.position = tracker.spots()[i].position;
        mark.radius = tracker.radiusLaw().at(energy > 0.0 ? energy : tracker.energy());
        mark.found = i >= m_found.size() || m_found[i];
        mark.saturated = i < m_saturated.size() && m_saturated[i];
        marks.append(mark);
    }
    std::optional<QPointF> origin;
    if (!tracker.origin().isNull())
        origin = tracker.origin();
    m_view->setMarks(marks, origin);
}

QString IvWindow::startMeasurement()
{
    const QString base = m_folder->text().trimmed();
    if (base.isEmpty())
        return tr("Choose a folder for the measurements first.");
    SettingsStore::writeText(kSection, QStringLiteral("Folder"), base);
    SettingsStore::writeText(kSection, QStringLiteral("From"), QString::number(m_from->value()));
    SettingsStore::writeText(kSection, QStringLiteral("To"), QString::number(m_to->value()));
    SettingsStore::writeText(kSection, QStringLiteral("Step"), QString::number(m_step->value()));
    SettingsStore::writeText(kSection, QStringLiteral("SettleMs"), QString::number(m_settle->value()));
    IvPlan plan;
    plan.from = m_from->value();
    plan.to = m_to->value();
    plan.step = m_step->value();
    plan.settleMs = m_settle->value();
    plan.folder = QDir(base).filePath(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
    m_found.clear();
    m_saturated.clear();
    return m_measurement.start(plan);
}

void IvWindow::onStepMeasured(const IvStep &step)
{
    m_progress->setValue(m_progress->value() + 1);
    m_found.clear();
    m_saturated.clear();
    for (int i = 0; i < step.spots.size() && i < m_plot->graphCount(); ++i) {
        const SpotMeasurement &spot = step.spots[i];
        m_found.append(spot.found);
        m_saturated.append(spot.saturated);
        const double value = step.i0 != 0.0 ? spot.intensity / std::abs(step.i0) : spot.intensity;
        if (spot.found)
            m_plot->graph(i)->addData(step.energy, value);
    }
    m_plot->yAxis->setLabel(step.i0 != 0.0 ? tr("I / I0") : tr("I (counts)"));
    m_plot->rescaleAxes();
    m_plot->replot();
    refreshMarks();
    setStatus(tr("Step %1 of %2 at %3 eV").arg(step.k).arg(m_measurement.stepCount()).arg(step.energy, 0, 'f', 1));
}

void IvWindow::onFinished(int stepsDone, bool complete, const QString &error)
{
    const QString folder = QDir::toNativeSeparators(m_measurement.folder());
    const QString lost = m_measurement.framesLost() > 0
                             ? tr("; %1 lost and taken again").arg(counted(m_measurement.framesLost(), "frame"))
                             : QString();
    if (!error.isEmpty()) {
        setStatus(tr("Stopped after %1: %2").arg(counted(stepsDone, "step"), error));
        m_ui.messageBox(tr("The measurement stopped after %1:\n%2").arg(counted(stepsDone, "step"), error),
                        tr("I(V) Measurement"), UserInterface::Icon::Critical);
    } else {
        setStatus((complete ? tr("Done: %1 in %2") : tr("Stopped after %1; they are in %2"))
                      .arg(counted(stepsDone, "step"), folder)
                  + lost);
    }
    if (!isVisible())
        m_camera.stop();
    updateButtons();
}

void IvWindow::updateButtons()
{
    const bool idle = m_measurement.phase() == IvMeasurement::Phase::Idle;
    m_start->setEnabled(idle);
    m_dark->setEnabled(idle);
    m_stop->setEnabled(m_measurement.isRunning());
    m_cameraBox->setEnabled(idle);
}
