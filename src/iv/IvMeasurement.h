#pragma once

#include "camera/Frame.h"
#include "iv/FrameStack.h"
#include "iv/IvPlan.h"
#include "iv/IvStep.h"
#include "iv/MeasurementFiles.h"
#include "iv/SpotTracker.h"

#include <QObject>
#include <QTimer>

#include <optional>
#include <vector>

class Camera;
class EnergyRamp;
class SupplyModel;
struct ModuleTable;
struct RampStep;

// An I(V) measurement: the energy ramp with the camera as its handshake. At each step, once the
// settle time is over, it takes the frames whose exposure started after it (a camera that can be
// triggered is triggered then, so no time goes by waiting for its next frame), averages them,
// subtracts the dark frame, writes the image, integrates the spots and adds a point to each
// spot's curve; then it acknowledges the step. Lost or incomplete frames are counted and taken
// again, never used. Stop ends it after the frame being taken.
class IvMeasurement : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Idle, TakingDark, Starting, Settling, Grabbing };

    IvMeasurement(EnergyRamp &ramp, Camera &camera, SupplyModel &model, const ModuleTable &limits,
                  QObject *parent = nullptr);

    // The frames averaged at each step and for the dark frame.
    void setFramesToAverage(int frames);
    int framesToAverage() const { return m_framesToAverage; }
    SpotTracker &tracker() { return m_tracker; }
    const SpotTracker &tracker() const { return m_tracker; }
    // The spots' names, in the files' columns (S1, S2, ... when not set).
    void setSpotLabels(const QStringList &labels) { m_labels = labels; }
    QStringList spotLabels() const;

    // Takes the dark frame now (the beam blanked or at energy 0): empty when it started.
    QString takeDarkFrame();
    bool hasDarkFrame() const { return !m_dark.empty(); }
    void clearDarkFrame() { m_dark.clear(); }

    // Starts a measurement: empty when it runs, else why not.
    QString start(const IvPlan &plan);
    void stop();

    Phase phase() const { return m_phase; }
    bool isRunning() const { return m_phase == Phase::Starting || m_phase == Phase::Settling || m_phase == Phase::Grabbing; }
    int stepsDone() const { return m_stepsDone; }
    int stepCount() const { return m_stepCount; }
    int framesLost() const { return m_framesLost; }
    QString folder() const { return m_files.folder(); }
    const IvPlan &plan() const { return m_plan; }

signals:
    void darkFrameTaken(int frames);
    void started(int steps, const QString &folder);
    void stepMeasured(const IvStep &step);
    // `error` is empty unless the measurement ended because something failed.
    void finished(int stepsDone, bool complete, const QString &error);

private:
    void onStepDone(const RampStep &step);
    void onRampFinished(int stepsDone, bool complete);
    void onFrame(const FramePtr &frame);
    void onFramesLost(int count);
    void retake(int frames);
    void finishDark();
    void finishStep();
    void processStep();
    QString beginRamp();
    void startGrabbing(qint64 notBeforeNs);
    void end(bool complete, const QString &error);
    QStringList monitorNames() const;
    QStringList monitorValues() const;
    static qint64 nowNs();

    EnergyRamp &m_ramp;
    Camera &m_camera;
    SupplyModel &m_model;
    const ModuleTable &m_limits;
    SpotTracker m_tracker;
    QStringList m_labels;
    MeasurementFiles m_files;
    FrameStack m_stack;
    std::vector<float> m_dark;
    std::vector<float> m_image;           // a step's mean less the dark frame, kept for the next step's
    std::vector<std::uint16_t> m_pixels;  // its 16-bit image, likewise
    IvPlan m_plan;
    Phase m_phase = Phase::Idle;
    int m_framesToAverage = 1;
    qint64 m_notBeforeNs = 0; // frames whose exposure started earlier are not this step's
    int m_stepK = 0;
    double m_stepEnergy = 0.0;
    double m_stepUmon = 0.0;
    double m_stepImon = 0.0;
    int m_stepsDone = 0;
    int m_stepCount = 0;
    int m_framesLost = 0;
    bool m_stopping = false;
    bool m_wasStreaming = false;
    bool m_triggered = false; // the camera takes each step's frames when asked, not free running
    QTimer m_stopTimer;
    std::optional<IvStep> m_pending; // its frames are in; integrated and written next
};
