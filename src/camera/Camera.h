#pragma once

#include "camera/CameraInfo.h"
#include "camera/CameraSettings.h"
#include "camera/Frame.h"

#include <QObject>
#include <QThread>

class CameraWorker;

// A camera run by a thread of its own. Every call returns at once; what the camera does is
// reported by the signals. Frames are shared, never copied again.
class Camera : public QObject
{
    Q_OBJECT
public:
    explicit Camera(QObject *parent = nullptr);
    ~Camera() override;

    // An empty id or CameraWorker::kSimulatedId: the simulated camera; else "<interface>/<device>".
    void open(const QString &cameraId);
    void apply(const CameraSettings &settings);
    void start();
    void stop();
    void close();
    // Triggered (a camera whose info says it can), frames come only for trigger(): exposures
    // start at once, back to back; else it runs free.
    void setTriggered(bool triggered);
    void trigger(int frames);
    // Searches for real cameras (it broadcasts on the local network): camerasFound() tells.
    void findCameras();
    // The energy the simulated screen shows.
    void setScreenEnergy(double energy);

    bool isOpen() const { return m_open; }
    bool isStreaming() const { return m_streaming; }
    const CameraInfo &info() const { return m_info; }
    const CameraSettings &settings() const { return m_settings; }

signals:
    void opened(const CameraInfo &info);
    void failed(const QString &error);
    void applied(const CameraSettings &actual);
    void frameArrived(const FramePtr &frame);
    void framesLost(int count);
    void camerasFound(const QList<std::pair<QString, QString>> &cameras);

private:
    QThread m_thread;
    CameraWorker *m_worker = nullptr; // lives on m_thread
    CameraInfo m_info;
    CameraSettings m_settings;
    bool m_open = false;
    bool m_streaming = false;
};
