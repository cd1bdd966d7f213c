#pragma once

#include "history/HistoryTrace.h"

#include <QDialog>
#include <QTimer>

#include <array>

class MonitorHistory;
class QCheckBox;
class QComboBox;
class QCPAxis;
class QCustomPlot;
class UserInterface;

// "Monitor History": a non-modal window that plots the history against time, each trace on its
// own scale and shown or hidden by its check box. Live, the time axis follows the newest
// sample over the chosen span; zooming or panning with the mouse pauses that until "Live" is
// ticked again. Works only while shown: a closed window costs nothing per read-back.
class MonitorHistoryWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr std::array<int, 4> kSpansSeconds = {60, 600, 3600, 86400};
    static constexpr int kDefaultSpanIndex = 1;
    // Samples that arrive closer together than this share one redraw.
    static constexpr int kRedrawDelayMs = 100;
    // Live, the picture moves on once the newest sample would move it by this much.
    static constexpr double kMinScrollPixels = 3.0;

    MonitorHistoryWindow(const MonitorHistory &history, UserInterface &ui, QWidget *parent = nullptr);

    // A sample was added to the history.
    void sampleAdded();
    void setLive(bool live);
    bool isLive() const;
    void setSpanIndex(int index);
    // The time range on screen, in milliseconds since the epoch.
    qint64 shownFromMsecs() const;
    qint64 shownToMsecs() const;
    QCustomPlot &plot() const { return *m_plot; }
    int redrawCount() const { return m_redraws; }

    void onSaveCsv();
    void onSavePng();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void reloadAll();
    void appendNew();
    void redraw();
    void showTrace(int trace, bool shown);
    void followNewest();

    const MonitorHistory &m_history;
    UserInterface &m_ui;
    QCustomPlot *m_plot = nullptr;
    std::array<QCPAxis *, kHistoryTraceCount> m_axes{};
    std::array<QCheckBox *, kHistoryTraceCount> m_shown{};
    QCheckBox *m_live = nullptr;
    QComboBox *m_span = nullptr;
    QTimer m_redrawTimer;
    double m_drawnNewest = 0.0; // the newest sample's key at the last redraw
    quint64 m_plottedTotal = 0; // history.totalAdded() when the plot last took samples
    int m_redraws = 0;
};
