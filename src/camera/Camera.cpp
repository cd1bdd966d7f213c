#include "camera/Camera.h"

#include "camera/CameraWorker.h"

#include <QMetaObject>

Camera::Camera(QObject *parent) : QObject(parent), m_worker(new CameraWorker)
{
    m_thread.setObjectName(QStringLiteral("camera"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &CameraWorker::opened, this, [this](const CameraInfo &info) {
        m_info = info;
        m_open = true;
        emit opened(info);
    });
    connect(m_worker, &CameraWorker::failed, this, &Camera::failed);
    connect(m_worker, &CameraWorker::applied, this, [this](const CameraSettings &actual) {
        m_settings = actual;
        emit applied(actual);
    });
    connect(m_worker, &CameraWorker::frameArrived, this, &Camera::frameArrived);
    connect(m_worker, &CameraWorker::framesLost, this, &Camera::framesLost);
    connect(m_worker, &CameraWorker::camerasFound, this, &Camera::camerasFound);
    m_thread.start();
}

Camera::~Camera()
{
    close();
    m_thread.quit();
    m_thread.wait();
}

void Camera::open(const QString &cameraId)
{
    m_open = false;
    m_streaming = false;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, cameraId] { worker->open(cameraId); });
}

void Camera::apply(const CameraSettings &settings)
{
    m_settings = settings;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, settings] { worker->apply(settings); });
}

void Camera::start()
{
    m_streaming = true;
    QMetaObject::invokeMethod(m_worker, &CameraWorker::start);
}

void Camera::stop()
{
    m_streaming = false;
    QMetaObject::invokeMethod(m_worker, &CameraWorker::stop);
}

void Camera::close()
{
    m_open = false;
    m_streaming = false;
    QMetaObject::invokeMethod(m_worker, &CameraWorker::close);
}

void Camera::setTriggered(bool triggered)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, triggered] { worker->setTriggered(triggered); });
}

void Camera::trigger(int frames)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, frames] { worker->trigger(frames); });
}

void Camera::findCameras()
{
    QMetaObject::invokeMethod(m_worker, &CameraWorker::findCameras);
}

void Camera::setScreenEnergy(double energy)
{
    m_worker->setScreenEnergy(energy);
}
