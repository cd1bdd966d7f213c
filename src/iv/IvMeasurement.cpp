#include "iv/IvMeasurement.h"

#include "camera/Camera.h"
#include "camera/SimulatedScreen.h"
#include "core/ModuleTable.h"
#include "device/SupplyModel.h"
#include "iv/SpotIntegrator.h"
#include "ramp/EnergyRamp.h"
#include "ramp/RampPlan.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

constexpr double kStepMarginMs = 30000.0; // beyond twice the frames' exposure, for a step to finish
constexpr int kStopGraceMs = 2000;        // beyond one exposure, for the frame under way at a stop

} // namespace

IvMeasurement::IvMeasurement(EnergyRamp &ramp, Camera &camera, SupplyModel &model, const ModuleTable &limits,
                             QObject *parent)
    : QObject(parent), m_ramp(ramp), m_camera(camera), m_model(model), m_limits(limits)
{
    qRegisterMetaType<IvStep>();
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Grabbing && m_stopping)
            m_ramp.stop(); // no frame came: the step's frames so far are kept
    });
    connect(&m_ramp, &EnergyRamp::stepDone, this, &IvMeasurement::onStepDone);
    connect(&m_ramp, &EnergyRamp::finished, this, &IvMeasurement::onRampFinished);
    connect(&m_camera, &Camera::frameArrived, this, &IvMeasurement::onFrame);
    connect(&m_camera, &Camera::framesLost, this, &IvMeasurement::onFramesLost);
    connect(&m_camera, &Camera::opened, this, [this] {
        if (m_phase != Phase::Starting || m_ramp.isRunning())
            return;
        const QString why = beginRamp();
        if (!why.isEmpty())
            end(false, why);
    });
    connect(&m_camera, &Camera::failed, this, [this](const QString &error) {
        if (m_phase != Phase::Idle)
            end(false, error);
    });
}

qint64 IvMeasurement::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void IvMeasurement::setFramesToAverage(int frames)
{
    m_framesToAverage = std::max(1, frames);
}

QStringList IvMeasurement::spotLabels() const
{
    QStringList labels;
    for (int i = 0; i < m_tracker.spots().size(); ++i)
        labels.append(i < m_labels.size() && !m_labels[i].isEmpty() ? m_labels[i] : QStringLiteral("S%1").arg(i + 1));
    return labels;
}

void IvMeasurement::startGrabbing(qint64 notBeforeNs)
{
    m_stack.clear();
    m_notBeforeNs = notBeforeNs;
    m_wasStreaming = m_wasStreaming || m_camera.isStreaming();
    m_camera.start();
}

QString IvMeasurement::takeDarkFrame()
{
    if (m_phase != Phase::Idle)
        return tr("a measurement is running");
    if (!m_camera.isOpen())
        return tr("no camera is open");
    m_wasStreaming = m_camera.isStreaming();
    m_phase = Phase::TakingDark;
    startGrabbing(nowNs());
    return {};
}

QString IvMeasurement::start(const IvPlan &plan)
{
    if (m_phase != Phase::Idle)
        return tr("a measurement is running");
    if (m_ramp.isRunning())
        return tr("a ramp is running");
    QString why;
    const std::optional<RampPlan> ramp =
        RampPlan::make(QString::number(plan.from, 'g', 12), QString::number(plan.to, 'g', 12),
                       QString::number(plan.step, 'g', 12), QString::number(plan.settleMs), QString(), true, m_limits, why);
    if (!ramp)
        return why;
    if (!m_files.open(plan.folder, spotLabels(), monitorNames(), why))
        return why;
    m_plan = plan;
    m_stepCount = ramp->count();
    m_stepsDone = 0;
    m_framesLost = 0;
    m_stopping = false;
    m_wasStreaming = m_camera.isStreaming();
    m_phase = Phase::Starting;
    if (!m_camera.isOpen()) {
        // With no camera chosen yet, the one of the settings (the simulated one by default).
        m_camera.open(m_camera.settings().cameraId);
        emit started(m_stepCount, m_files.folder());
        return {};
    }
    why = beginRamp();
    if (!why.isEmpty()) {
        m_files.close();
        m_phase = Phase::Idle;
        return why;
    }
    emit started(m_stepCount, m_files.folder());
    return {};
}

QString IvMeasurement::beginRamp()
{
    QString why;
    std::optional<RampPlan> ramp =
        RampPlan::make(QString::number(m_plan.from, 'g', 12), QString::number(m_plan.to, 'g', 12),
                       QString::number(m_plan.step, 'g', 12), QString::number(m_plan.settleMs), QString(), true,
                       m_limits, why);
    if (!ramp)
        return why;
    // A step takes its frames, however long they expose, before it is acknowledged.
    const double framesMs = 2.0 * m_framesToAverage * m_camera.settings().exposureUs / 1000.0;
    ramp->acknowledgeTimeoutMs = int(std::min(double(std::numeric_limits<int>::max()),
                                              std::max(double(ramp->acknowledgeTimeoutMs), framesMs + kStepMarginMs)));
    m_triggered = m_camera.info().canTrigger;
    if (m_triggered)
        m_camera.setTriggered(true);
    m_camera.start();
    return m_ramp.start(*ramp);
}

void IvMeasurement::stop()
{
    switch (m_phase) {
    case Phase::Idle:
        return;
    case Phase::TakingDark:
        m_phase = Phase::Idle;
        if (!m_wasStreaming)
            m_camera.stop();
        return;
    case Phase::Grabbing: {
        m_stopping = true; // after the frame being taken; a camera that sends none does not hold it
        const int waitMs = int(m_camera.settings().exposureUs / 1000.0) + kStopGraceMs;
        m_stopTimer.start(waitMs);
        return;
    }
    case Phase::Starting:
    case Phase::Settling:
        m_stopping = true;
        if (m_ramp.isRunning())
            m_ramp.stop();
        else
            end(false, QString());
        return;
    }
}

void IvMeasurement::onStepDone(const RampStep &step)
{
    if (!isRunning())
        return;
    processStep(); // the step before, should it still be waiting
    if (!step.hasReading)
        return; // the ramp ends with a failed exchange; its end ends this
    m_stepK = step.k;
    m_stepEnergy = step.energy;
    m_stepUmon = step.umon;
    m_stepImon = step.imon;
    m_camera.setScreenEnergy(step.umon);
    m_phase = Phase::Grabbing;
    // The settle time is over: what the camera exposed before now is not this step's.
    startGrabbing(nowNs());
    if (m_triggered)
        m_camera.trigger(m_framesToAverage);
}

void IvMeasurement::onFrame(const FramePtr &frame)
{
    if (m_phase != Phase::Grabbing && m_phase != Phase::TakingDark)
        return;
    if (!frame->complete) {
        ++m_framesLost;
        retake(1);
        return;
    }
    if (frame->exposureStartNs < m_notBeforeNs)
        return;
    if (!m_stack.add(*frame)) {
        ++m_framesLost; // the camera changed its size meanwhile
        retake(1);
        return;
    }
    if (m_phase == Phase::TakingDark) {
        if (m_stack.count() >= m_framesToAverage)
            finishDark();
        return;
    }
    if (m_stack.count() >= m_framesToAverage || m_stopping)
        finishStep();
}

void IvMeasurement::onFramesLost(int count)
{
    if (m_phase == Phase::Grabbing || m_phase == Phase::TakingDark) {
        m_framesLost += count;
        retake(count);
    }
}

void IvMeasurement::retake(int frames)
{
    // Free running, the next frames take the lost ones' place by themselves.
    if (m_triggered && m_phase == Phase::Grabbing)
        m_camera.trigger(frames);
}

void IvMeasurement::finishDark()
{
    m_dark = m_stack.mean({});
    const int frames = m_stack.count();
    m_stack.clear();
    m_phase = Phase::Idle;
    if (!m_wasStreaming)
        m_camera.stop();
    emit darkFrameTaken(frames);
}

void IvMeasurement::finishStep()
{
    IvStep step;
    step.k = m_stepK;
    step.setEnergy = m_stepEnergy;
    step.energy = m_stepUmon;
    step.i0 = m_stepImon;
    step.time = QDateTime::currentDateTime();
    step.frameFile = MeasurementFiles::frameFileName(m_stepK, m_stepEnergy);
    step.frames = m_stack.count();
    step.exposureUs = m_camera.settings().exposureUs;
    step.gain = m_camera.settings().gain;
    step.monitors = monitorValues();
    m_pending = step;
    m_phase = Phase::Settling;
    // The frames are in: the supply goes on to the next step while this one is worked out, in
    // the next turn of the event loop (after the ramp's next exchange has gone to the line). The
    // last step is acknowledged once written, so that the ramp's end finds it done; a stop is
    // not acknowledged at all.
    if (!m_stopping && step.k < m_stepCount && m_ramp.acknowledge(step.k)) {
        QMetaObject::invokeMethod(this, &IvMeasurement::processStep, Qt::QueuedConnection);
        return;
    }
    processStep();
}

void IvMeasurement::processStep()
{
    if (!m_pending)
        return;
    IvStep step = *m_pending;
    m_pending.reset();
    const std::vector<float> &dark = m_dark.size() == std::size_t(m_stack.width()) * std::size_t(m_stack.height())
                                         ? m_dark
                                         : std::vector<float>();
    m_stack.mean(dark, m_image);
    if (!m_tracker.spots().isEmpty()) {
        const SpotIntegrator integrator(m_image, m_stack.width(), m_stack.height(), m_stack.brightest(),
                                        m_stack.saturation());
        step.spots = m_tracker.track(integrator, step.energy > 0.0 ? step.energy : step.setEnergy);
    }
    // The simulated camera's stamp stays readable in the image.
    const int keep = m_camera.info().simulated ? SimulatedScreen::kStampPixels : 0;
    QString error;
    m_stack.pixels(m_image, keep, m_pixels);
    const bool written = m_files.addStep(step, m_stack.width(), m_stack.height(), m_pixels, error);
    m_stack.clear();
    if (!written) {
        end(false, error); // first: the ramp's end that follows is then not taken for the reason
        m_ramp.stop();
        return;
    }
    m_stepsDone = step.k;
    emit stepMeasured(step);
    if (m_stopping)
        m_ramp.stop();
    else if (step.k >= m_stepCount)
        m_ramp.acknowledge(step.k);
}

void IvMeasurement::onRampFinished(int, bool complete)
{
    if (!isRunning())
        return;
    processStep(); // one still being worked out is written first
    if (m_phase == Phase::Grabbing && m_stack.count() > 0) {
        finishStep(); // stopped by someone else while frames were in: they are kept
        processStep();
    }
    end(complete && m_stepsDone == m_stepCount, QString());
}

void IvMeasurement::end(bool complete, const QString &error)
{
    m_stopTimer.stop();
    m_pending.reset();
    if (m_phase == Phase::Idle)
        return;
    m_phase = Phase::Idle;
    m_files.close();
    if (m_triggered) {
        m_camera.setTriggered(false);
        m_triggered = false;
    }
    if (!m_wasStreaming)
        m_camera.stop();
    emit finished(m_stepsDone, complete, error);
}

QStringList IvMeasurement::monitorNames() const
{
    QStringList names;
    for (int i = 0; i < kModuleCount; ++i) {
        if (SupplyModel::hasMonitor(SupplyModel::Monitor::Voltage, i))
            names.append(m_limits.ModuleCode[i] + QStringLiteral("_Umon"));
        if (SupplyModel::hasMonitor(SupplyModel::Monitor::Current, i))
            names.append(m_limits.ModuleCode[i] + QStringLiteral("_Imon"));
    }
    return names;
}

QStringList IvMeasurement::monitorValues() const
{
    QStringList values;
    for (int i = 0; i < kModuleCount; ++i) {
        if (SupplyModel::hasMonitor(SupplyModel::Monitor::Voltage, i))
            values.append(m_model.monitorText(SupplyModel::Monitor::Voltage, i).trimmed());
        if (SupplyModel::hasMonitor(SupplyModel::Monitor::Current, i))
            values.append(m_model.monitorText(SupplyModel::Monitor::Current, i).trimmed());
    }
    return values;
}
