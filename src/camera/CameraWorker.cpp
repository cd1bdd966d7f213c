#include "camera/CameraWorker.h"

// GLib's headers use the word Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <arv.h>
#pragma pop_macro("signals")

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstring>

const QString CameraWorker::kSimulatedId = QStringLiteral("simulated");

namespace {

constexpr int kFrameIdModulo = 1 << 16; // cameras' block ids may wrap at 16 bits
// A real camera's frame reaches the host this long after its exposure ended, at most (1 MB over
// gigabit Ethernet takes about 17 ms).
constexpr qint64 kReadoutAllowanceNs = 25'000'000;
// Drawing a simulated frame takes a few milliseconds of a core: it is not asked for more often.
constexpr qint64 kSimulatedMinPeriodNs = 20'000'000;

qint64 nowNs()
{
    return SimulatedShutter::nowNs();
}

struct MonoFormat
{
    ArvPixelFormat format;
    const char *name;
    int bits;
};

// Deepest first; packed formats are not offered.
constexpr MonoFormat kMonoFormats[] = {
    {ARV_PIXEL_FORMAT_MONO_16, "Mono16", 16}, {ARV_PIXEL_FORMAT_MONO_14, "Mono14", 14},
    {ARV_PIXEL_FORMAT_MONO_12, "Mono12", 12}, {ARV_PIXEL_FORMAT_MONO_10, "Mono10", 10},
    {ARV_PIXEL_FORMAT_MONO_8, "Mono8", 8},
};

const MonoFormat *monoFormat(ArvPixelFormat format)
{
    for (const MonoFormat &mono : kMonoFormats)
        if (mono.format == format)
            return &mono;
    return nullptr;
}

} // namespace

CameraWorker::CameraWorker(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<FramePtr>();
    qRegisterMetaType<CameraInfo>();
    qRegisterMetaType<CameraSettings>();
    // Nothing here ever broadcasts a search on the network unless asked to.
    arv_disable_interface("GigEVision");
    arv_disable_interface("USB3Vision");
}

CameraWorker::~CameraWorker()
{
    close();
}

void CameraWorker::report(const char *what, GError *error)
{
    const QString text = error ? QString::fromUtf8(error->message) : tr("unknown error");
    if (error)
        g_error_free(error);
    emit failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(what), text));
}

void CameraWorker::open(const QString &cameraId)
{
    close();
    m_shutter.setTriggered(false); // a camera opened runs free
    GError *error = nullptr;
    const bool simulated = cameraId.isEmpty() || cameraId == kSimulatedId;
    if (simulated) {
        ArvDevice *device = arv_fake_device_new("TAVREL-SIM", &error);
        if (!device)
            return report("the simulated camera", error);
        m_camera = arv_camera_new_with_device(device, &error);
        g_object_unref(device); // the camera holds its own reference
        if (!m_camera)
            return report("the simulated camera", error);
        m_screen = std::make_unique<SimulatedScreen>(kSimulatedWidth, kSimulatedHeight);
        arv_fake_camera_set_fill_pattern(arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(device)),
                                         reinterpret_cast<ArvFakeCameraFillPattern>(&CameraWorker::fillScreen), this);
        arv_camera_set_region(m_camera, 0, 0, kSimulatedWidth, kSimulatedHeight, nullptr);
        m_readoutAllowanceNs = 0; // drawn at the instant it is delivered
    } else {
        if (qEnvironmentVariableIntValue("TAVREL_NO_CAMERA_SEARCH"))
            return emit failed(tr("real cameras are switched off here (TAVREL_NO_CAMERA_SEARCH)"));
        // "<interface>/<device id>": only that camera's interface is switched on.
        const QString interfaceName = cameraId.section(QLatin1Char('/'), 0, 0);
        const QString deviceId = cameraId.section(QLatin1Char('/'), 1);
        arv_enable_interface(interfaceName.toUtf8().constData());
        m_camera = arv_camera_new(deviceId.toUtf8().constData(), &error);
        arv_disable_interface(interfaceName.toUtf8().constData());
        if (!m_camera)
            return report(qPrintable(tr("camera %1").arg(deviceId)), error);
        if (arv_camera_is_gv_device(m_camera))
            arv_camera_gv_auto_packet_size(m_camera, nullptr);
        m_readoutAllowanceNs = kReadoutAllowanceNs;
    }

    m_info = CameraInfo();
    m_info.id = simulated ? kSimulatedId : cameraId;
    m_info.simulated = simulated;
    m_info.canTrigger = simulated;
    m_info.name = simulated ? tr("Simulated LEED screen")
                            : QStringLiteral("%1 %2").arg(QString::fromUtf8(arv_camera_get_vendor_name(m_camera, nullptr)),
                                                          QString::fromUtf8(arv_camera_get_model_name(m_camera, nullptr)));
    arv_camera_get_exposure_time_bounds(m_camera, &m_info.exposureMinUs, &m_info.exposureMaxUs, nullptr);
    arv_camera_get_gain_bounds(m_camera, &m_info.gainMin, &m_info.gainMax, nullptr);
    apply(m_settings);
}

void CameraWorker::apply(const CameraSettings &settings)
{
    m_settings = settings;
    if (!m_camera)
        return;
    GError *error = nullptr;
    // The deepest mono format offered, unless the operator named one that is offered.
    guint count = 0;
    gint64 *offered = arv_camera_dup_available_pixel_formats(m_camera, &count, nullptr);
    const MonoFormat *chosen = nullptr;
    for (const MonoFormat &mono : kMonoFormats) {
        const bool isOffered = std::find(offered, offered + count, gint64(mono.format)) != offered + count;
        if (!isOffered)
            continue;
        if (!chosen || QLatin1String(mono.name) == settings.pixelFormat)
            chosen = &mono;
    }
    g_free(offered);
    if (!chosen)
        return emit failed(tr("the camera offers no monochrome format of 8 to 16 bits"));
    const bool streaming = m_stream != nullptr;
    if (streaming)
        stop();
    arv_camera_set_pixel_format(m_camera, chosen->format, &error);
    if (error)
        return report("pixel format", error);
    const double exposure = std::clamp(settings.exposureUs, m_info.exposureMinUs, m_info.exposureMaxUs);
    arv_camera_set_exposure_time(m_camera, exposure, &error);
    if (error)
        return report("exposure", error);
    if (arv_camera_is_gain_available(m_camera, nullptr)) {
        arv_camera_set_gain(m_camera, std::clamp(settings.gain, m_info.gainMin, m_info.gainMax), &error);
        if (error)
            return report("gain", error);
    }
    // Frames back to back: each exposure starts as the one before ends. The simulated camera's
    // shutter keeps that time itself: the fake camera only has to look for it often.
    if (arv_camera_is_frame_rate_available(m_camera, nullptr)) {
        double lowest = 0.0;
        double highest = 0.0;
        arv_camera_get_frame_rate_bounds(m_camera, &lowest, &highest, nullptr);
        const double rate = m_info.simulated ? highest : std::clamp(1.0e6 / exposure, lowest, highest);
        arv_camera_set_frame_rate(m_camera, rate, nullptr);
    }
    gint x = 0;
    gint y = 0;
    arv_camera_get_region(m_camera, &x, &y, &m_info.width, &m_info.height, nullptr);
    m_info.pixelFormat = QLatin1String(chosen->name);
    m_info.bitDepth = chosen->bits;
    CameraSettings actual = settings;
    actual.exposureUs = arv_camera_get_exposure_time(m_camera, nullptr);
    actual.gain = arv_camera_is_gain_available(m_camera, nullptr) ? arv_camera_get_gain(m_camera, nullptr) : 0.0;
    actual.pixelFormat = m_info.pixelFormat;
    m_settings = actual;
    emit opened(m_info);
    emit applied(actual);
    if (streaming)
        start();
}

void CameraWorker::start()
{
    if (!m_camera || m_stream)
        return;
    GError *error = nullptr;
    m_stream = arv_camera_create_stream(m_camera, nullptr, nullptr, &error);
    if (!m_stream)
        return report("stream", error);
    m_shutter.reset();
    const guint payload = arv_camera_get_payload(m_camera, nullptr);
    for (int i = 0; i < kStreamBuffers; ++i)
        arv_stream_push_buffer(m_stream, arv_buffer_new(payload, nullptr));
    m_haveLastId = false;
    g_signal_connect(m_stream, "new-buffer", G_CALLBACK(&CameraWorker::onNewBuffer), this);
    arv_stream_set_emit_signals(m_stream, TRUE);
    arv_camera_start_acquisition(m_camera, &error);
    if (error) {
        stop();
        report("acquisition", error);
    }
}

void CameraWorker::stop()
{
    if (!m_stream)
        return;
    arv_stream_set_emit_signals(m_stream, FALSE);
    m_shutter.cancel(); // a simulated exposure under way ends now, or the stream's thread would wait for it
    if (m_camera)
        arv_camera_stop_acquisition(m_camera, nullptr);
    g_object_unref(m_stream); // ends the stream's thread; its buffers go with it
    m_stream = nullptr;
}

void CameraWorker::close()
{
    stop();
    if (m_camera) {
        g_object_unref(m_camera);
        m_camera = nullptr;
    }
    m_screen.reset();
}

void CameraWorker::setTriggered(bool triggered)
{
    if (m_info.canTrigger)
        m_shutter.setTriggered(triggered);
}

void CameraWorker::trigger(int frames)
{
    if (m_info.canTrigger)
        m_shutter.trigger(frames);
}

void CameraWorker::findCameras()
{
    QList<std::pair<QString, QString>> cameras;
    if (!qEnvironmentVariableIntValue("TAVREL_NO_CAMERA_SEARCH")) {
        arv_enable_interface("GigEVision");
        arv_enable_interface("USB3Vision");
        arv_update_device_list();
        for (unsigned i = 0; i < arv_get_n_devices(); ++i) {
            const QString protocol = QString::fromUtf8(arv_get_device_protocol(i));
            if (protocol != QLatin1String("GigEVision") && protocol != QLatin1String("USB3Vision"))
                continue;
            const QString id = QString::fromUtf8(arv_get_device_id(i));
            cameras.append({protocol + QLatin1Char('/') + id,
                            QStringLiteral("%1 %2 (%3)")
                                .arg(QString::fromUtf8(arv_get_device_vendor(i)),
                                     QString::fromUtf8(arv_get_device_model(i)), protocol)});
        }
        arv_disable_interface("GigEVision");
        arv_disable_interface("USB3Vision");
    }
    emit camerasFound(cameras);
}

// The stream's thread: a word to this thread, once until it has looked.
void CameraWorker::onNewBuffer(ArvStream *, void *self)
{
    auto *worker = static_cast<CameraWorker *>(self);
    if (!worker->m_drainPosted.exchange(true))
        QMetaObject::invokeMethod(worker, &CameraWorker::drain, Qt::QueuedConnection);
}

void CameraWorker::drain()
{
    m_drainPosted.store(false);
    if (!m_stream)
        return;
    int lost = 0;
    while (ArvBuffer *buffer = arv_stream_try_pop_buffer(m_stream)) {
        const quint64 id = arv_buffer_get_frame_id(buffer);
        // Block ids of 16 bits wrap from 65535 to 1 on some cameras (0 is reserved), to 0 on others.
        const bool wrapped = m_lastId == kFrameIdModulo - 1 && id % kFrameIdModulo <= 1;
        if (m_haveLastId && !wrapped) {
            const int gap = int((id + kFrameIdModulo - m_lastId) % kFrameIdModulo) - 1;
            if (gap > 0 && gap < kFrameIdModulo / 2)
                lost += gap;
        }
        m_lastId = id % kFrameIdModulo;
        m_haveLastId = true;
        const MonoFormat *mono = monoFormat(arv_buffer_get_image_pixel_format(buffer));
        if (arv_buffer_get_status(buffer) != ARV_BUFFER_STATUS_SUCCESS || !mono) {
            ++lost;
            arv_stream_push_buffer(m_stream, buffer);
            continue;
        }
        auto frame = std::make_shared<Frame>();
        frame->width = arv_buffer_get_image_width(buffer);
        frame->height = arv_buffer_get_image_height(buffer);
        frame->bitDepth = mono->bits;
        frame->id = id;
        frame->exposureUs = m_settings.exposureUs;
        frame->gain = m_settings.gain;
        if (const auto simulated = m_info.simulated ? m_shutter.exposure(id) : std::nullopt) {
            frame->arrivalNs = simulated->endNs;
            frame->exposureStartNs = simulated->startNs;
        } else {
            const qint64 stamp = qint64(arv_buffer_get_system_timestamp(buffer));
            frame->arrivalNs = stamp > 0 ? stamp : nowNs();
            frame->exposureStartNs = frame->arrivalNs - qint64(frame->exposureUs * 1000.0) - m_readoutAllowanceNs;
        }
        const std::size_t count = std::size_t(frame->width) * std::size_t(frame->height);
        frame->pixels.resize(count);
        const auto *data = static_cast<const std::uint8_t *>(arv_buffer_get_image_data(buffer, nullptr));
        if (mono->bits == 8)
            std::copy(data, data + count, frame->pixels.begin());
        else
            std::memcpy(frame->pixels.data(), data, count * sizeof(std::uint16_t));
        arv_stream_push_buffer(m_stream, buffer);
        emit frameArrived(frame);
    }
    if (lost > 0)
        emit framesLost(lost);
}

// The fake camera's thread: it waits for the shutter to open, draws the screen as it is then
// into the buffer it is filling, and hands the buffer on once the exposure is over.
void CameraWorker::fillScreen(ArvBuffer *buffer, void *self, unsigned exposureUs, unsigned gain, unsigned format)
{
    auto *worker = static_cast<CameraWorker *>(self);
    const SimulatedScreen *screen = worker->m_screen.get();
    if (!screen || arv_buffer_get_image_width(buffer) != screen->width()
        || arv_buffer_get_image_height(buffer) != screen->height())
        return;
    const std::optional<qint64> start = worker->m_shutter.waitForStart(kSimulatedMinPeriodNs);
    if (!start)
        return; // the stream ends; the buffer goes with it
    auto *data = static_cast<std::uint8_t *>(const_cast<void *>(arv_buffer_get_data(buffer, nullptr)));
    const std::size_t count = std::size_t(screen->width()) * std::size_t(screen->height());
    const quint64 seed = worker->m_screenFrames.fetch_add(1);
    if (format == ARV_PIXEL_FORMAT_MONO_16) {
        screen->render(worker->m_screenEnergy.load(), exposureUs, gain, seed, reinterpret_cast<std::uint16_t *>(data));
    } else {
        std::vector<std::uint16_t> wide(count);
        screen->render(worker->m_screenEnergy.load(), exposureUs, gain, seed, wide.data());
        for (std::size_t i = 0; i < count; ++i)
            data[i] = std::uint8_t(wide[i] >> 8);
    }
    worker->m_shutter.finish(arv_buffer_get_frame_id(buffer), *start, qint64(exposureUs) * 1000);
}
