#include "camera/Camera.h"
#include "camera/CameraWorker.h"
#include "camera/SimulatedScreen.h"
#include "camera/SimulatedShutter.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

constexpr int kWaitMs = 10000;

} // namespace

class CameraTest : public QObject
{
    Q_OBJECT
private slots:
    void theScreenDrawsItsSpotsAndStampsItsEnergy()
    {
        SimulatedScreen screen(256, 256);
        std::vector<std::uint16_t> pixels(256 * 256);
        screen.render(120.5, 10000.0, 0.0, 7, pixels.data());
        QCOMPARE(SimulatedScreen::readStamp(pixels.data()).value_or(-1.0), 120.5);
        pixels[2] ^= 1; // a pixel of the stamp changed: no stamp
        QVERIFY(!SimulatedScreen::readStamp(pixels.data()));

        // Spots close in on (0,0) as 1/sqrt(E), and each one's light is where it is said to be.
        const QList<SimulatedScreen::Spot> low = screen.spots(50.0, 10000.0, 0.0);
        const QList<SimulatedScreen::Spot> high = screen.spots(200.0, 10000.0, 0.0);
        QVERIFY(low.size() >= 5);
        const auto distance = [&](const SimulatedScreen::Spot &spot) {
            return std::hypot(spot.centre.x() - screen.specular().x(), spot.centre.y() - screen.specular().y());
        };
        QCOMPARE(low[1].h, high[1].h);
        QVERIFY(std::abs(distance(low[1]) / distance(high[1]) - 2.0) < 1e-9);
        screen.render(200.0, 10000.0, 0.0, 8, pixels.data());
        const SimulatedScreen::Spot &spot = high[1];
        const auto at = [&](double x, double y) { return pixels[std::size_t(std::lround(y)) * 256 + std::lround(x)]; };
        QVERIFY(at(spot.centre.x(), spot.centre.y()) > at(spot.centre.x() + 10, spot.centre.y()) + 100);
        // No beam at energy 0: the dark level and noise alone.
        screen.render(0.0, 10000.0, 0.0, 9, pixels.data());
        double sum = 0.0;
        for (std::size_t i = SimulatedScreen::kStampPixels; i < pixels.size(); ++i)
            sum += pixels[i];
        QVERIFY(std::abs(sum / double(pixels.size() - SimulatedScreen::kStampPixels) - SimulatedScreen::kDarkLevel) < 1.0);
    }

    void theSimulatedCameraStreamsTheScreenOfTheEnergySet()
    {
        Camera camera;
        QSignalSpy opened(&camera, &Camera::opened);
        QSignalSpy failed(&camera, &Camera::failed);
        CameraSettings settings;
        settings.exposureUs = 5000.0;
        settings.gain = 2.0;
        camera.apply(settings);
        camera.open(QString());
        QVERIFY(opened.wait(kWaitMs));
        QVERIFY(failed.isEmpty());
        QVERIFY(camera.info().simulated);
        QCOMPARE(camera.info().pixelFormat, QStringLiteral("Mono16")); // the deepest it offers
        QCOMPARE(camera.info().width, CameraWorker::kSimulatedWidth);
        QCOMPARE(camera.settings().exposureUs, 5000.0);
        QCOMPARE(camera.settings().gain, 2.0);

        double stamped = -1.0;
        FramePtr last;
        connect(&camera, &Camera::frameArrived, this, [&](const FramePtr &frame) {
            last = frame;
            stamped = SimulatedScreen::readStamp(frame->pixels.data()).value_or(-1.0);
        });
        camera.setScreenEnergy(75.0);
        camera.start();
        QVERIFY(QTest::qWaitFor([&] { return stamped == 75.0; }, kWaitMs));
        camera.setScreenEnergy(140.0);
        QVERIFY(QTest::qWaitFor([&] { return stamped == 140.0; }, kWaitMs));
        QCOMPARE(last->width * last->height, int(last->pixels.size()));
        QVERIFY(last->complete);
        QVERIFY(last->arrivalNs - last->exposureStartNs >= 5'000'000);

        // Triggered, frames come only when asked for: each exposure starts after the trigger,
        // back to back, and a stop while it waits for one does not hold the camera.
        QList<FramePtr> frames;
        qint64 switchedNs = 0; // frames under way before the switch may still come, late
        connect(&camera, &Camera::frameArrived, this, [&](const FramePtr &frame) {
            if (frame->exposureStartNs >= switchedNs)
                frames.append(frame);
        });
        camera.setTriggered(true);
        QTest::qWait(200); // for the switch to reach the camera's thread
        switchedNs = SimulatedShutter::nowNs();
        frames.clear();
        QTest::qWait(300);
        QVERIFY(frames.isEmpty());
        const qint64 askedNs = SimulatedShutter::nowNs();
        camera.trigger(3);
        QVERIFY(QTest::qWaitFor([&] { return frames.size() >= 3; }, kWaitMs));
        QTest::qWait(100);
        QCOMPARE(frames.size(), 3);
        QVERIFY(frames[0]->exposureStartNs >= askedNs);
        for (int i = 0; i < frames.size(); ++i) {
            QVERIFY(frames[i]->arrivalNs - frames[i]->exposureStartNs >= 5'000'000);
            QVERIFY(i == 0 || frames[i]->exposureStartNs >= frames[i - 1]->arrivalNs);
        }
        camera.stop();
        camera.start();
        camera.setTriggered(false);
        frames.clear();
        QVERIFY(QTest::qWaitFor([&] { return frames.size() >= 2; }, kWaitMs));

        // Frame numbers wrap at 16 bits: that is no frame lost.
        QSignalSpy lost(&camera, &Camera::framesLost);
        quint64 previous = last->id;
        bool wrapped = false;
        connect(&camera, &Camera::frameArrived, this, [&](const FramePtr &frame) {
            wrapped = wrapped || frame->id < previous;
            previous = frame->id;
        });
        QVERIFY(QTest::qWaitFor([&] { return wrapped; }, 4 * kWaitMs));
        QVERIFY(lost.isEmpty());

        // A format that is not offered is not taken; the deepest stays.
        settings.pixelFormat = QStringLiteral("Mono12");
        QSignalSpy applied(&camera, &Camera::applied);
        camera.apply(settings);
        QVERIFY(applied.wait(kWaitMs));
        QCOMPARE(camera.settings().pixelFormat, QStringLiteral("Mono16"));
        settings.pixelFormat = QStringLiteral("Mono8");
        camera.apply(settings);
        QVERIFY(applied.wait(kWaitMs));
        QCOMPARE(camera.info().bitDepth, 8);
        QVERIFY(QTest::qWaitFor([&] { return last->bitDepth == 8 && last->saturation() == 255; }, kWaitMs));

        // Real cameras are not reached here at all.
        camera.open(QStringLiteral("GigEVision/Some-Camera"));
        QVERIFY(failed.wait(kWaitMs));
        QVERIFY(failed.constFirst().constFirst().toString().contains(QLatin1String("switched off")));
    }
};

QTEST_MAIN(CameraTest)
#include "CameraTest.moc"
