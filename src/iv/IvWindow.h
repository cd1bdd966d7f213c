#pragma once

#include "camera/CameraInfo.h"
#include "camera/CameraSettings.h"
#include "camera/Frame.h"
#include "iv/IvStep.h"

#include <QTimer>
#include <QWidget>

class Camera;
class FrameView;
class IvMeasurement;
class QButtonGroup;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class SupplyModel;
class UserInterface;

// The I(V) station's window: the camera and its live image, the dark frame, the spots the
// operator marks on the image, and the measurement with its curves growing step by step. It
// streams only while it is shown or a measurement runs.
class IvWindow : public QWidget
{
    Q_OBJECT
public:
    static inline const QString kSection = QStringLiteral("IV");
    static constexpr int kViewIntervalMs = 100; // the live image at most ten times a second

    IvWindow(IvMeasurement &measurement, Camera &camera, SupplyModel &model, UserInterface &ui,
             QWidget *parent = nullptr);

    // The measurements' base folder: each one from this window goes into a new folder in it.
    QString baseFolder() const;
    FrameView &view() { return *m_view; }
    QCustomPlot &plot() { return *m_plot; }
    QPushButton &startButton() { return *m_start; }
    QPushButton &stopButton() { return *m_stop; }
    QPushButton &darkButton() { return *m_dark; }
    QString statusText() const;
    // Marks a spot (or (0,0)) at an image position, as a click does.
    void markAt(QPointF position, bool origin);
    // Starts a measurement from the window's fields: empty when it runs, else why not.
    QString startMeasurement();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *makeCameraGroup();
    QWidget *makeSpotGroup();
    QWidget *makeMeasurementGroup();
    void applyCameraSettings();
    void onCameraOpened(const CameraInfo &info);
    void onFrame(const FramePtr &frame);
    void showLatestFrame();
    // Black and white from the image shown, into the spin boxes and the view.
    void applyAutomaticLevels();
    void refreshMarks();
    void refreshSpotList();
    void onStepMeasured(const IvStep &step);
    void onFinished(int stepsDone, bool complete, const QString &error);
    void updateButtons();
    void setStatus(const QString &text);
    double currentEnergy() const;

    IvMeasurement &m_measurement;
    Camera &m_camera;
    SupplyModel &m_model;
    UserInterface &m_ui;
    CameraSettings m_settings;
    FrameView *m_view = nullptr;
    QCustomPlot *m_plot = nullptr;
    QComboBox *m_cameraBox = nullptr;
    QLabel *m_cameraState = nullptr;
    QDoubleSpinBox *m_exposure = nullptr;
    QDoubleSpinBox *m_gain = nullptr;
    QSpinBox *m_frames = nullptr;
    QSpinBox *m_black = nullptr;
    QSpinBox *m_white = nullptr;
    QPushButton *m_dark = nullptr;
    QLabel *m_darkState = nullptr;
    QButtonGroup *m_clickMode = nullptr;
    QListWidget *m_spotList = nullptr;
    QDoubleSpinBox *m_radiusInfinity = nullptr;
    QDoubleSpinBox *m_radiusEnergy = nullptr;
    QDoubleSpinBox *m_from = nullptr;
    QDoubleSpinBox *m_to = nullptr;
    QDoubleSpinBox *m_step = nullptr;
    QSpinBox *m_settle = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_status = nullptr;
    QTimer m_viewTimer;
    FramePtr m_latest;
    bool m_latestShown = true;
    bool m_levelsSet = false;
    QList<bool> m_found;      // of each spot at the last step
    QList<bool> m_saturated;
};
