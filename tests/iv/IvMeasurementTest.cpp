// I(V) measurements: integration and tracking against the simulated screen's known spots, and
// whole measurements through the real program on the virtual supply with the simulated camera.
#include "WindowFixture.h"

#include "camera/Camera.h"
#include "camera/SimulatedScreen.h"
#include "iv/FrameStack.h"
#include "iv/IvMeasurement.h"
#include "iv/SpotIntegrator.h"
#include "iv/TiffWriter.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

constexpr int kWaitMs = 20000;
constexpr int kSize = 512;

Frame render(const SimulatedScreen &screen, double energy, double exposureUs, std::uint64_t seed)
{
    Frame frame;
    frame.width = screen.width();
    frame.height = screen.height();
    frame.pixels.resize(std::size_t(frame.width) * std::size_t(frame.height));
    screen.render(energy, exposureUs, 0.0, seed, frame.pixels.data());
    return frame;
}

QStringList lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class IvMeasurementTest : public QObject
{
    Q_OBJECT

private slots:
    void integrationAndTrackingFollowTheScreensSpots()
    {
        const SimulatedScreen screen(kSize, kSize);
        constexpr double kExposureUs = 10000.0;
        FrameStack darkStack;
        for (int i = 0; i < 4; ++i)
            QVERIFY(darkStack.add(render(screen, 0.0, kExposureUs, 100 + i)));
        const std::vector<float> dark = darkStack.mean({});

        // The operator marks (0,0) and the spots a little off their centres at 50 eV.
        SpotTracker tracker;
        tracker.setOrigin(screen.specular());
        QList<SpotTracker::Spot> marked;
        const QList<SimulatedScreen::Spot> atStart = screen.spots(50.0, kExposureUs, 0.0);
        for (const SimulatedScreen::Spot &spot : atStart) {
            if (spot.h != 0 || spot.k != 0)
                marked.append({QStringLiteral("(%1,%2)").arg(spot.h).arg(spot.k), spot.centre + QPointF(2.0, -1.5)});
        }
        QVERIFY(marked.size() >= 4);
        tracker.setSpots(marked, 50.0);

        double worstError = 0.0;
        for (double energy = 50.0; energy <= 300.0; energy += 5.0) {
            FrameStack stack;
            QVERIFY(stack.add(render(screen, energy, kExposureUs, quint64(energy))));
            const std::vector<float> image = stack.mean(dark);
            const SpotIntegrator integrator(image, kSize, kSize, stack.brightest(), stack.saturation());
            const QList<SpotMeasurement> measured = tracker.track(integrator, energy);
            const QList<SimulatedScreen::Spot> truth = screen.spots(energy, kExposureUs, 0.0);
            for (int i = 0; i < measured.size(); ++i) {
                const auto known = std::find_if(truth.begin(), truth.end(), [&](const SimulatedScreen::Spot &spot) {
                    return QStringLiteral("(%1,%2)").arg(spot.h).arg(spot.k) == marked[i].label;
                });
                QVERIFY(known != truth.end());
                QVERIFY2(measured[i].found, qPrintable(QStringLiteral("%1 lost at %2 eV").arg(marked[i].label).arg(energy)));
                QVERIFY(!measured[i].saturated);
                QVERIFY(std::hypot(measured[i].centre.x() - known->centre.x(), measured[i].centre.y() - known->centre.y()) < 0.5);
                worstError = std::max(worstError, std::abs(measured[i].intensity / known->flux - 1.0));
            }
        }
        QVERIFY2(worstError < 0.01, qPrintable(QString::number(worstError)));

        // Ten times the exposure: the brightest spots run into the camera's top and say so.
        FrameStack bright;
        QVERIFY(bright.add(render(screen, 120.0, 10.0 * kExposureUs, 1)));
        const std::vector<float> image = bright.mean(dark);
        const SpotIntegrator integrator(image, kSize, kSize, bright.brightest(), bright.saturation());
        const QList<SimulatedScreen::Spot> truth = screen.spots(120.0, 10.0 * kExposureUs, 0.0);
        QVERIFY(std::any_of(truth.begin(), truth.end(),
                            [&](const SimulatedScreen::Spot &spot) { return integrator.integrate(spot.centre, 12.0).saturated; }));
        // Where there is no spot, none is found.
        QVERIFY(!integrator.integrate(QPointF(60.0, 256.0), 12.0).found);
    }

    void aMeasurementTakesEachStepsOwnFramesAndWritesTheFiles()
    {
        WindowFixture fixture;
        fixture.supply.updateModel([](InstrumentModel &model) { model.applyRunningState(); }); // a beam: I0
        QVERIFY(fixture.startQuiet());
        MainWindow &window = *fixture.window;
        Camera camera;
        CameraSettings settings;
        settings.exposureUs = 4000.0;
        camera.apply(settings);
        IvMeasurement measurement(window.ramp(), camera, window.model(), window.state().table);
        measurement.setFramesToAverage(2);
        QCOMPARE(measurement.takeDarkFrame(), QStringLiteral("no camera is open"));
        QSignalSpy opened(&camera, &Camera::opened);
        camera.open(QString());
        QVERIFY(opened.wait(kWaitMs));
        camera.setScreenEnergy(0.0);
        QSignalSpy dark(&measurement, &IvMeasurement::darkFrameTaken);
        QCOMPARE(measurement.takeDarkFrame(), QString());
        QVERIFY(dark.wait(kWaitMs));
        QVERIFY(measurement.hasDarkFrame());

        // Three spots marked at 60 eV (where the screen was last seen).
        const SimulatedScreen screen(camera.info().width, camera.info().height);
        measurement.tracker().setOrigin(screen.specular());
        QList<SpotTracker::Spot> spots;
        for (const SimulatedScreen::Spot &spot : screen.spots(60.0, settings.exposureUs, 0.0)) {
            if ((spot.h != 0 || spot.k != 0) && spots.size() < 3)
                spots.append({QString(), spot.centre});
        }
        measurement.tracker().setSpots(spots, 60.0);
        measurement.setSpotLabels({QStringLiteral("(1,0)")});

        // A frame that came in broken during a step is counted and never used.
        bool brokenSent = false;
        connect(&measurement, &IvMeasurement::stepMeasured, this, [&](const IvStep &step) {
            QCOMPARE(step.frames, 2);
        });
        connect(&camera, &Camera::frameArrived, this, [&] {
            if (!brokenSent && measurement.phase() == IvMeasurement::Phase::Grabbing) {
                brokenSent = true;
                auto broken = std::make_shared<Frame>();
                broken->complete = false;
                emit camera.frameArrived(broken);
            }
        });

        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("run1"));
        QSignalSpy finished(&measurement, &IvMeasurement::finished);
        QSignalSpy measured(&measurement, &IvMeasurement::stepMeasured);
        QCOMPARE(measurement.start({60.0, 70.0, 5.0, 20, folder}), QString());
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.constFirst().at(0).toInt(), 3);
        QVERIFY(finished.constFirst().at(1).toBool());
        QCOMPARE(finished.constFirst().at(2).toString(), QString());
        QVERIFY(brokenSent);
        QCOMPARE(measurement.framesLost(), 1);
        QCOMPARE(fixture.supply.receivedCommands().filter(QStringLiteral("VEN")),
                 (QStringList{QStringLiteral("VEN60"), QStringLiteral("VEN65"), QStringLiteral("VEN70")}));

        // Each step's image shows its own energy (the stamp), and every file has its rows.
        const QStringList rows = lines(folder + QStringLiteral("/measurement.csv"));
        QCOMPARE(rows.size(), 4);
        QVERIFY(rows[0].startsWith(QLatin1String("image,set_energy_eV,energy_eV,I0_A,time,frames,exposure_us,gain,EN_Umon")));
        for (int k = 1; k <= 3; ++k) {
            const QStringList columns = rows[k].split(QLatin1Char(','));
            QCOMPARE(columns[0], QStringLiteral("frames/%1_0%2.0eV.tif").arg(k, 4, 10, QLatin1Char('0')).arg(55 + 5 * k));
            TiffWriter::Image image;
            QString error;
            QVERIFY2(TiffWriter::read(folder + QLatin1Char('/') + columns[0], image, error), qPrintable(error));
            QCOMPARE(image.width, camera.info().width);
            QCOMPARE(SimulatedScreen::readStamp(image.pixels.data()).value_or(-1.0), columns[2].toDouble());
            QVERIFY(image.description.contains(QStringLiteral("frames=2")));
            QCOMPARE(columns[5], QStringLiteral("2"));
        }
        const QStringList iv = lines(folder + QStringLiteral("/iv.csv"));
        QCOMPARE(iv.size(), 1 + 3 * 3);
        QVERIFY(iv[1].startsWith(QLatin1String("1,")));
        QVERIFY(iv[1].contains(QLatin1String(",(1,0),") ) || iv[1].contains(QLatin1String(",\"(1,0)\",")));
        QVERIFY(iv[1].endsWith(QLatin1String(",0,1"))); // not saturated, found
        const QStringList beams = lines(folder + QStringLiteral("/beams.csv"));
        QCOMPARE(beams.size(), 4);
        QCOMPARE(beams[0], QStringLiteral("energy_eV,\"(1,0)\",S2,S3"));
        for (int k = 1; k <= 3; ++k) {
            const QStringList columns = beams[k].split(QLatin1Char(','));
            QCOMPARE(columns.size(), 4);
            const double i0 = rows[k].split(QLatin1Char(','))[3].toDouble();
            QVERIFY(i0 != 0.0);
            QVERIFY(columns[1].toDouble() > 0.0);
        }

        // The folder holds a measurement now: a second one there is refused.
        QVERIFY(measurement.start({60.0, 70.0, 5.0, 20, folder}).contains(QLatin1String("holds a measurement")));

        // Stop while a step is under way: it ends after the frame being taken, and that step is kept.
        measurement.tracker().setSpots({}, 0.0);
        const QString second = home.filePath(QStringLiteral("run2"));
        finished.clear();
        connect(&measurement, &IvMeasurement::stepMeasured, &measurement, &IvMeasurement::stop);
        QCOMPARE(measurement.start({100.0, 200.0, 1.0, 0, second}), QString());
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.constFirst().at(0).toInt(), 1);
        QVERIFY(!finished.constFirst().at(1).toBool());
        QCOMPARE(lines(second + QStringLiteral("/measurement.csv")).size(), 2);
        QVERIFY(!QFile::exists(second + QStringLiteral("/iv.csv"))); // no spots: no spot files
        QVERIFY(!window.ramp().isRunning());

        // A camera that falls silent does not hold a stop: it ends all the same.
        disconnect(&measurement, &IvMeasurement::stepMeasured, &measurement, &IvMeasurement::stop);
        finished.clear();
        QMetaObject::Connection silence = connect(&window.ramp(), &EnergyRamp::stepDone, this, [&] {
            camera.stop();
            measurement.stop();
        });
        QCOMPARE(measurement.start({100.0, 200.0, 1.0, 0, home.filePath(QStringLiteral("run3"))}), QString());
        QVERIFY(finished.wait(kWaitMs));
        QVERIFY(!finished.constFirst().at(1).toBool());
        QVERIFY(!window.ramp().isRunning());
        disconnect(silence);
    }
};

QTEST_MAIN(IvMeasurementTest)
#include "IvMeasurementTest.moc"
