#include "Figures.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "ProcessStats.h"
#include "Samples.h"
#include "WireTime.h"

#include "camera/Camera.h"
#include "camera/CameraWorker.h"
#include "camera/SimulatedScreen.h"
#include "iv/FrameStack.h"
#include "iv/IvMeasurement.h"
#include "iv/MeasurementFiles.h"
#include "iv/SpotIntegrator.h"
#include "iv/TiffWriter.h"
#include "ramp/EnergyRamp.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

// The simulated camera draws at most 50 frames a second: at 20 ms they come back to back.
constexpr double kExposureUs = 20000.0;
constexpr double kExposureMs = kExposureUs / 1000.0;
constexpr int kFrames = 2; // averaged at each step and for the dark frame
constexpr int kSpots = 4;
constexpr double kFirstEv = 50.0;
constexpr int kCreditSteps = 200;
constexpr double kStampToleranceEv = 0.006; // the stamp's 0.01 eV, halved, and a float's rounding
constexpr int kOverheadSteps = 101;
constexpr int kOverheadSettleMs = 100;
constexpr double kOverheadMs = 20.0;
constexpr int kMemorySteps = 500;
constexpr double kMemoryMiB = 100.0;
constexpr double kKiBPerMiB = 1024.0;
constexpr int kCpuSteps = 50;
constexpr int kCpuWarmUpSteps = 5;
constexpr double kCpuMs = 5.0;
constexpr double kLastEv = 300.0;
constexpr double kIntegrationError = 0.01;
constexpr double kKeptWithinPixels = 1.0; // a spot found farther from its true centre is lost
constexpr QPointF kMarkOffset{2.0, -1.5}; // the operator's clicks are a little off the centres
constexpr int kOpenWaitMs = 10000;
constexpr int kRunWaitMs = 300000; // only a hang reaches it

const QString kNotPrepared = QStringLiteral("the window, the camera or its dark frame did not come up");
const QString kIncomplete = QStringLiteral("the measurement did not complete");

// Wall-clock milliseconds, as the frames' arrival stamps count.
double wallMs()
{
    return milliseconds(std::chrono::system_clock::now().time_since_epoch());
}

Frame render(const SimulatedScreen &screen, double energy, std::uint64_t seed)
{
    Frame frame;
    frame.width = screen.width();
    frame.height = screen.height();
    frame.pixels.resize(std::size_t(frame.width) * std::size_t(frame.height));
    screen.render(energy, kExposureUs, 0.0, seed, frame.pixels.data());
    return frame;
}

// The mean of kFrames frames at energy 0, as the engine takes it.
std::vector<float> darkFrame(const SimulatedScreen &screen)
{
    FrameStack stack;
    for (int i = 0; i < kFrames; ++i)
        stack.add(render(screen, 0.0, std::uint64_t(i)));
    return stack.mean({});
}

QString beamLabel(const SimulatedScreen::Spot &spot)
{
    return QStringLiteral("(%1,%2)").arg(spot.h).arg(spot.k);
}

// A tracker with the first `most` spots but (0,0) marked at kFirstEv, `offset` from their centres.
SpotTracker trackerAt(const SimulatedScreen &screen, int most, QPointF offset = {})
{
    SpotTracker tracker;
    tracker.setOrigin(screen.specular());
    QList<SpotTracker::Spot> spots;
    for (const SimulatedScreen::Spot &spot : screen.spots(kFirstEv, kExposureUs, 0.0)) {
        if ((spot.h != 0 || spot.k != 0) && spots.size() < most)
            spots.append({beamLabel(spot), spot.centre + offset});
    }
    tracker.setSpots(spots, kFirstEv);
    return tracker;
}

// The window on the virtual supply, its timer stopped, with the I(V) engine made ready as an
// operator would: the simulated camera open at kExposureUs, the dark frame taken, kSpots spots
// marked at kFirstEv. The camera is not streaming until a measurement starts.
struct IvScene : BenchWindow
{
    explicit IvScene(int baud = 0) : BenchWindow(baud)
    {
        if (!window)
            return;
        window->timer().stop();
        CameraSettings settings;
        settings.exposureUs = kExposureUs;
        camera().apply(settings);
        camera().open(QString());
        if (!runEventsUntil([this] { return camera().isOpen(); }, kOpenWaitMs))
            return;
        iv().setFramesToAverage(kFrames);
        camera().setScreenEnergy(0.0);
        if (!iv().takeDarkFrame().isEmpty()
            || !runEventsUntil([this] { return iv().phase() == IvMeasurement::Phase::Idle; }, kOpenWaitMs))
            return;
        iv().tracker() = trackerAt(SimulatedScreen(camera().info().width, camera().info().height), kSpots);
        prepared = iv().hasDarkFrame() && iv().tracker().spots().size() == kSpots
                   && camera().settings().exposureUs == kExposureUs;
    }
    Camera &camera() { return window->tools().camera(); }
    IvMeasurement &iv() { return window->tools().iv(); }

    // Measures `steps` steps of 1 eV from kFirstEv into a fresh folder; true when all were measured.
    bool run(int steps, int settleMs)
    {
        folder = home.filePath(QStringLiteral("run"));
        bool complete = false;
        QEventLoop loop;
        QTimer::singleShot(kRunWaitMs, &loop, &QEventLoop::quit);
        QObject::connect(&iv(), &IvMeasurement::finished, &loop, [&](int, bool finished, const QString &) {
            complete = finished;
            loop.quit();
        });
        supply->clearLog();
        const IvPlan plan{kFirstEv, kFirstEv + steps - 1, 1.0, settleMs, folder};
        if (!iv().start(plan).isEmpty())
            return false;
        loop.exec();
        return complete;
    }

    bool prepared = false;
    QTemporaryDir home;
    QString folder;
};

QString msSummary(const Samples &ms)
{
    return QStringLiteral("median %1 ms, p95 %2 ms")
        .arg(BenchReport::fixed(ms.median(), 1), BenchReport::fixed(ms.percentile(95.0), 1));
}

} // namespace

void IvBench::wrongStepFrames()
{
    const BenchReport::Figure figure{
        QStringLiteral("13a"),
        QStringLiteral("Images credited to the wrong step: %1 steps of %2 frames of %3 ms, T = 0, unpaced; each image's "
                       "energy stamp vs its step's measured energy").arg(kCreditSteps).arg(kFrames).arg(kExposureMs),
        QStringLiteral("none")};
    IvScene scene;
    if (!scene.prepared || !scene.run(kCreditSteps, 0))
        return figure.failed(scene.prepared ? kIncomplete : kNotPrepared);
    QFile csv(scene.folder + QStringLiteral("/measurement.csv"));
    csv.open(QIODevice::ReadOnly | QIODevice::Text);
    const QStringList rows = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1);
    int wrong = 0;
    int unreadable = 0; // no stamp: the frames of two energies averaged, or the image not read
    for (const QString &row : rows) {
        const QStringList columns = row.split(QLatin1Char(','));
        TiffWriter::Image image;
        QString error;
        const bool read = TiffWriter::read(scene.folder + QLatin1Char('/') + columns.value(0), image, error)
                          && image.pixels.size() >= std::size_t(SimulatedScreen::kStampPixels);
        const std::optional<double> stamp = read ? SimulatedScreen::readStamp(image.pixels.data()) : std::nullopt;
        if (!stamp)
            ++unreadable;
        else if (std::abs(*stamp - columns.value(2).toDouble()) > kStampToleranceEv)
            ++wrong;
    }
    BenchReport::detail(QStringLiteral("%1 steps in measurement.csv, %2 frames lost; %3 stamps of another energy, %4 "
                                       "unreadable (frames of two energies averaged)")
                            .arg(rows.size()).arg(scene.iv().framesLost()).arg(wrong).arg(unreadable));
    figure.result(QStringLiteral("%1 of %2").arg(wrong + unreadable).arg(rows.size()),
                  rows.size() == kCreditSteps && wrong + unreadable == 0);
}

void IvBench::stepOverhead()
{
    const BenchReport::Figure figure{
        QStringLiteral("13b"),
        QStringLiteral("Step overhead: %1 steps, T = %2 ms, %3 frames of %4 ms, 9600 baud; stepDone to the next less T, "
                       "N x exposure and wire").arg(kOverheadSteps).arg(kOverheadSettleMs).arg(kFrames).arg(kExposureMs),
        QStringLiteral("median < %1 ms").arg(BenchReport::fixed(kOverheadMs, 0))};
    IvScene scene(WireTime::kBenchBaud);
    if (!scene.prepared)
        return figure.failed(kNotPrepared);
    Samples cycleMs;     // stepDone to the next stepDone
    Samples grabMs;      // stepDone to stepMeasured: frames and processing
    Samples afterMs;     // stepMeasured to the next stepDone: acknowledgement, VEN, T, REN
    Samples lastFrameMs; // the last frame's arrival stamp to stepMeasured: delivery and processing
    Samples deliveryMs;  // each frame's arrival stamp to the window's thread
    double doneAt = -1.0;
    double measuredAt = -1.0;
    double lastStampMs = -1.0;
    const QObject watcher; // goes first: no slot outlives what it counts in
    QObject::connect(&scene.window->ramp(), &EnergyRamp::stepDone, &watcher, [&](const RampStep &) {
        const double now = wallMs();
        if (doneAt >= 0.0) {
            cycleMs.add(now - doneAt);
            afterMs.add(now - measuredAt);
        }
        doneAt = now;
    });
    QObject::connect(&scene.iv(), &IvMeasurement::stepMeasured, &watcher, [&](const IvStep &) {
        measuredAt = wallMs();
        grabMs.add(measuredAt - doneAt);
        if (lastStampMs >= 0.0)
            lastFrameMs.add(measuredAt - lastStampMs);
    });
    QObject::connect(&scene.camera(), &Camera::frameArrived, &watcher, [&](const FramePtr &frame) {
        lastStampMs = double(frame->arrivalNs) / 1.0e6;
        deliveryMs.add(wallMs() - lastStampMs);
    });
    if (!scene.run(kOverheadSteps, kOverheadSettleMs))
        return figure.failed(kIncomplete);
    const double wireMs =
        WireTime::seconds(scene.supply->receivedBytes().size() + scene.supply->sentBytes().size()) * 1000.0
        / kOverheadSteps;
    const double framesMs = kFrames * kExposureMs;
    Samples overheadMs;
    for (int i = 0; i < cycleMs.count(); ++i)
        overheadMs.add(cycleMs.at(i) - kOverheadSettleMs - framesMs - wireMs);
    BenchReport::detail(QStringLiteral("step %1 (wire %2 ms a step, frames %3 ms); %4 frames lost")
                            .arg(msSummary(cycleMs), BenchReport::fixed(wireMs, 1), BenchReport::fixed(framesMs, 0))
                            .arg(scene.iv().framesLost()));
    BenchReport::detail(QStringLiteral("stepDone to stepMeasured %1; its last frame's arrival stamp to stepMeasured %2 "
                                       "(frames' stamps to the window's thread %3); stepMeasured to the next "
                                       "stepDone %4")
                            .arg(msSummary(grabMs), msSummary(lastFrameMs), msSummary(deliveryMs), msSummary(afterMs)));
    figure.result(msSummary(overheadMs), !overheadMs.empty() && overheadMs.median() < kOverheadMs);
}

void IvBench::workingMemory()
{
    const BenchReport::Figure figure{
        QStringLiteral("13c"),
        QStringLiteral("Working memory: %1 steps of %2 frames of 1024 x 1024 Mono16 of %3 ms, T = 0, unpaced; peak VmRSS "
                       "less VmRSS before").arg(kMemorySteps).arg(kFrames).arg(kExposureMs),
        QStringLiteral("< %1 MiB more").arg(BenchReport::fixed(kMemoryMiB, 0))};
    IvScene scene;
    if (!scene.prepared)
        return figure.failed(kNotPrepared);
    const qint64 idleKiB = ProcessStats::residentKiB();
    // The kernel's peak (VmHWM) from here on catches what sampling between events would miss.
    if (idleKiB <= 0 || !ProcessStats::resetPeakResident())
        return figure.failed(QStringLiteral("VmRSS or VmHWM cannot be read or reset"));
    if (!scene.run(kMemorySteps, 0))
        return figure.failed(kIncomplete);
    const qint64 peakKiB = ProcessStats::peakResidentKiB();
    const auto mib = [](qint64 kib) { return BenchReport::fixed(double(kib) / kKiBPerMiB, 1); };
    BenchReport::detail(QStringLiteral("VmRSS idle %1 MiB (camera open, dark frame taken, not streaming), peak %2 MiB, "
                                       "after the run %3 MiB")
                            .arg(mib(idleKiB), mib(peakKiB), mib(ProcessStats::residentKiB())));
    const double moreMiB = double(peakKiB - idleKiB) / kKiBPerMiB;
    figure.result(QStringLiteral("+%1 MiB").arg(BenchReport::fixed(moreMiB, 1)), moreMiB < kMemoryMiB);
}

void IvBench::processingCpu()
{
    const BenchReport::Figure figure{
        QStringLiteral("13d"),
        QStringLiteral("CPU of a step of one 1024 x 1024 frame, %1 steps: add, mean less dark, %2 spots tracked and "
                       "integrated, TIFF and rows written").arg(kCpuSteps).arg(kSpots),
        QStringLiteral("< %1 ms a frame").arg(BenchReport::fixed(kCpuMs, 0))};
    const SimulatedScreen screen(CameraWorker::kSimulatedWidth, CameraWorker::kSimulatedHeight);
    const std::vector<float> dark = darkFrame(screen);
    SpotTracker tracker = trackerAt(screen, kSpots);
    QTemporaryDir home;
    MeasurementFiles files;
    QString error;
    QStringList labels;
    for (const SpotTracker::Spot &spot : tracker.spots())
        labels.append(spot.label);
    if (!files.open(home.filePath(QStringLiteral("run")), labels, {}, error))
        return figure.failed(error);
    std::array<Samples, 4> phaseMs; // add, mean less dark (float and 16-bit), spots, writing
    Samples totalMs;
    Samples stepWallMs;
    FrameStack stack;
    std::vector<float> image;           // used again step after step, as the measurement does
    std::vector<std::uint16_t> pixels;
    for (int k = 1; k <= kCpuWarmUpSteps + kCpuSteps; ++k) {
        const double energy = kFirstEv + k - 1;
        const Frame frame = render(screen, energy, std::uint64_t(k));
        const double startedAt = wallMs();
        std::array<double, 5> at{}; // CPU ms at the start and after each phase
        at[0] = ProcessStats::threadCpuSeconds() * 1000.0;
        stack.clear();
        stack.add(frame);
        at[1] = ProcessStats::threadCpuSeconds() * 1000.0;
        stack.mean(dark, image);
        stack.pixels(image, SimulatedScreen::kStampPixels, pixels);
        at[2] = ProcessStats::threadCpuSeconds() * 1000.0;
        IvStep step{k, energy, energy, 0.0, QDateTime::currentDateTime(), MeasurementFiles::frameFileName(k, energy), 1,
                    kExposureUs, 0.0, {}, {}};
        const SpotIntegrator integrator(image, stack.width(), stack.height(), stack.brightest(), stack.saturation());
        step.spots = tracker.track(integrator, energy);
        at[3] = ProcessStats::threadCpuSeconds() * 1000.0;
        if (!files.addStep(step, stack.width(), stack.height(), pixels, error))
            return figure.failed(error);
        at[4] = ProcessStats::threadCpuSeconds() * 1000.0;
        if (k <= kCpuWarmUpSteps)
            continue;
        for (std::size_t phase = 0; phase < phaseMs.size(); ++phase)
            phaseMs[phase].add(at[phase + 1] - at[phase]);
        totalMs.add(at[4] - at[0]);
        stepWallMs.add(wallMs() - startedAt);
    }
    const auto ms = [](double value) { return BenchReport::fixed(value, 2); };
    BenchReport::detail(QStringLiteral("CPU means: add %1 ms, mean less dark %2 ms, spots %3 ms, writing %4 ms; step max "
                                       "%5 ms; wall time a step median %6 ms")
                            .arg(ms(phaseMs[0].mean()), ms(phaseMs[1].mean()), ms(phaseMs[2].mean()),
                                 ms(phaseMs[3].mean()), ms(totalMs.max()), ms(stepWallMs.median())));
    figure.result(QStringLiteral("%1 ms (median %2 ms)").arg(ms(totalMs.mean()), ms(totalMs.median())),
                  totalMs.mean() < kCpuMs);
}

void IvBench::integrationAccuracy()
{
    const BenchReport::Figure figure{
        QStringLiteral("13e"),
        QStringLiteral("Spots tracked %1-%2 eV in 1 eV steps (%3 ms) vs the pattern's fluxes: worst error unsaturated; kept "
                       "= found within %4 px each step").arg(kFirstEv).arg(kLastEv).arg(kExposureMs).arg(kKeptWithinPixels),
        QStringLiteral("within %1 %, every spot kept").arg(BenchReport::fixed(kIntegrationError * 100.0, 0))};
    const SimulatedScreen screen(CameraWorker::kSimulatedWidth, CameraWorker::kSimulatedHeight);
    const std::vector<float> dark = darkFrame(screen);
    SpotTracker tracker = trackerAt(screen, std::numeric_limits<int>::max(), kMarkOffset);
    const QList<SpotTracker::Spot> marked = tracker.spots();
    QList<bool> kept(marked.size(), true);
    double worst = 0.0;
    QString worstAt;
    int measured = 0;
    int saturated = 0;
    FrameStack stack;
    for (double energy = kFirstEv; energy <= kLastEv; energy += 1.0) {
        stack.clear();
        stack.add(render(screen, energy, std::uint64_t(energy)));
        const std::vector<float> image = stack.mean(dark);
        const SpotIntegrator integrator(image, stack.width(), stack.height(), stack.brightest(), stack.saturation());
        const QList<SpotMeasurement> spots = tracker.track(integrator, energy);
        const QList<SimulatedScreen::Spot> truth = screen.spots(energy, kExposureUs, 0.0);
        for (int i = 0; i < spots.size(); ++i) {
            const auto known = std::find_if(truth.begin(), truth.end(), [&](const SimulatedScreen::Spot &spot) {
                return beamLabel(spot) == marked[i].label;
            });
            const QPointF miss = known == truth.end() ? QPointF(1e9, 0.0) : spots[i].centre - known->centre;
            if (!spots[i].found || std::hypot(miss.x(), miss.y()) > kKeptWithinPixels) {
                kept[i] = false;
                continue;
            }
            if (spots[i].saturated) {
                ++saturated;
                continue;
            }
            ++measured;
            const double error = std::abs(spots[i].intensity / known->flux - 1.0);
            if (error > worst) {
                worst = error;
                worstAt = QStringLiteral("%1 at %2 eV").arg(marked[i].label).arg(energy);
            }
        }
    }
    const int keptCount = int(std::count(kept.begin(), kept.end(), true));
    BenchReport::detail(QStringLiteral("%1 spots marked; %2 measurements compared, %3 saturated left out; worst: %4")
                            .arg(marked.size()).arg(measured).arg(saturated).arg(worstAt));
    figure.result(QStringLiteral("worst %1 %, %2 of %3 spots kept")
                      .arg(BenchReport::fixed(worst * 100.0, 3)).arg(keptCount).arg(marked.size()),
                  worst <= kIntegrationError && keptCount == marked.size() && measured > 0);
}
