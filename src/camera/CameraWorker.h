#pragma once

#include "camera/CameraInfo.h"
#include "camera/CameraSettings.h"
#include "camera/Frame.h"
#include "camera/SimulatedScreen.h"
#include "camera/SimulatedShutter.h"

#include <QObject>

#include <atomic>
#include <memory>

struct _ArvCamera;
struct _ArvStream;
struct _ArvBuffer;

// The camera's own thread: it alone touches the camera and its stream. The stream's thread only
// says that buffers wait; they are copied here and pushed back at once.
class CameraWorker : public QObject
{
    Q_OBJECT
public:
    static const QString kSimulatedId;
    static constexpr int kSimulatedWidth = 1024;
    static constexpr int kSimulatedHeight = 1024;
    static constexpr int kStreamBuffers = 8;

    explicit CameraWorker(QObject *parent = nullptr);
    ~CameraWorker() override;

    // What the simulated screen shows; any thread.
    void setScreenEnergy(double energy) { m_screenEnergy.store(energy); }

    void open(const QString &cameraId);
    void apply(const CameraSettings &settings);
    void start();
    void stop();
    void close();
    // Triggered, a camera that can takes a frame only when asked to (trigger()); else it runs free.
    void setTriggered(bool triggered);
    void trigger(int frames);
    // Searches the network and the USB for cameras: it broadcasts, so only when the operator asks.
    void findCameras();

signals:
    // Each as (id for open(), name to show).
    void camerasFound(const QList<std::pair<QString, QString>> &cameras);
    void opened(const CameraInfo &info);
    void failed(const QString &error);
    void applied(const CameraSettings &actual);
    void frameArrived(const FramePtr &frame);
    void framesLost(int count);

private:
    static void onNewBuffer(struct _ArvStream *stream, void *self);
    static void fillScreen(struct _ArvBuffer *buffer, void *self, unsigned exposureUs, unsigned gain, unsigned format);
    void drain();
    void report(const char *what, struct _GError *error);

    struct _ArvCamera *m_camera = nullptr;
    struct _ArvStream *m_stream = nullptr;
    CameraInfo m_info;
    CameraSettings m_settings;
    std::unique_ptr<SimulatedScreen> m_screen;
    SimulatedShutter m_shutter;
    std::atomic<double> m_screenEnergy{0.0};
    std::atomic<quint64> m_screenFrames{0};
    std::atomic<bool> m_drainPosted{false};
    quint64 m_lastId = 0;
    bool m_haveLastId = false;
    qint64 m_readoutAllowanceNs = 0;
};
