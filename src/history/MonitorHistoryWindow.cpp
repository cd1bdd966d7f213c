#include "history/MonitorHistoryWindow.h"

#include "core/UserInterface.h"
#include "history/HistoryExport.h"
#include "history/MonitorHistory.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {
constexpr int kPlotWidthPx = 720;
constexpr int kPlotHeightPx = 360;
constexpr double kMsecsPerSecond = 1000.0;
constexpr int kDayFormatFromSeconds = 3600 * 6; // beyond this the time axis shows the date
const std::array<QColor, kHistoryTraceCount> kTraceColours = {QColor(0, 90, 200), QColor(200, 30, 30),
                                                               QColor(220, 130, 0), QColor(0, 150, 70),
                                                               QColor(130, 50, 170)};
const QStringList kSpanNames = {QStringLiteral("1 min"), QStringLiteral("10 min"), QStringLiteral("1 h"),
                                QStringLiteral("24 h")};

double keyOf(qint64 msecs)
{
    return double(msecs) / kMsecsPerSecond;
}
} // namespace

MonitorHistoryWindow::MonitorHistoryWindow(const MonitorHistory &history, UserInterface &ui, QWidget *parent)
    : QDialog(parent), m_history(history), m_ui(ui)
{
    setObjectName(QStringLiteral("Form_MonitorHistory"));
    setWindowTitle(QStringLiteral("Monitor History"));
    setModal(false);

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("Plot_History"));
    m_plot->setMinimumSize(kPlotWidthPx, kPlotHeightPx);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setLabel(QStringLiteral("Time"));
    // Each trace its own scale: the first two on the plot's own axes, the others added beside.
    QCPAxisRect *rect = m_plot->axisRect();
    m_axes = {m_plot->yAxis, m_plot->yAxis2, rect->addAxis(QCPAxis::atLeft), rect->addAxis(QCPAxis::atRight),
              rect->addAxis(QCPAxis::atLeft)};
    for (int i = 0; i < kHistoryTraceCount; ++i) {
        QCPGraph *graph = m_plot->addGraph(m_plot->xAxis, m_axes[i]);
        graph->setPen(QPen(kTraceColours[i]));
        graph->setName(historyTraceLabel(kHistoryTraces[i]));
        m_axes[i]->setVisible(true);
        m_axes[i]->setLabel(historyTraceLabel(kHistoryTraces[i]));
        m_axes[i]->setLabelColor(kTraceColours[i]);
        m_axes[i]->setTickLabelColor(kTraceColours[i]);
        m_axes[i]->setBasePen(QPen(kTraceColours[i]));
    }
    // A redraw a read-back: plain lines draw in a fraction of the antialiased time.
    m_plot->setNotAntialiasedElements(QCP::aeAll);
    m_plot->setPlottingHint(QCP::phFastPolylines, true);
    // The mouse moves and zooms time only; the value axes follow what is on screen.
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    connect(m_plot, &QCustomPlot::mousePress, this, [this] { setLive(false); });
    connect(m_plot, &QCustomPlot::mouseWheel, this, [this] { setLive(false); });
    connect(m_plot->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, [this] {
        if (!isLive())
            redraw(); // the value axes follow a pan or zoom
    });

    auto *traces = new QHBoxLayout;
    for (int i = 0; i < kHistoryTraceCount; ++i) {
        m_shown[i] = new QCheckBox(historyTraceLabel(kHistoryTraces[i]), this);
        m_shown[i]->setObjectName(QStringLiteral("Check_Trace(%1)").arg(i));
        m_shown[i]->setChecked(true);
        connect(m_shown[i], &QCheckBox::toggled, this, [this, i](bool on) { showTrace(i, on); });
        traces->addWidget(m_shown[i]);
    }
    traces->addStretch(1);

    auto *controls = new QHBoxLayout;
    auto *spanLabel = new QLabel(QStringLiteral("&Span:"), this);
    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("Combo_Span"));
    m_span->addItems(kSpanNames);
    m_span->setCurrentIndex(kDefaultSpanIndex);
    spanLabel->setBuddy(m_span);
    connect(m_span, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        setLive(true); // a new span shows the newest samples
        followNewest();
    });
    m_live = new QCheckBox(QStringLiteral("&Live"), this);
    m_live->setObjectName(QStringLiteral("Check_Live"));
    m_live->setChecked(true);
    connect(m_live, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            followNewest();
    });
    auto *saveCsv = new QPushButton(QStringLiteral("Save as &CSV..."), this);
    saveCsv->setObjectName(QStringLiteral("Command_SaveCsv"));
    connect(saveCsv, &QPushButton::clicked, this, &MonitorHistoryWindow::onSaveCsv);
    auto *savePng = new QPushButton(QStringLiteral("Save as &PNG..."), this);
    savePng->setObjectName(QStringLiteral("Command_SavePng"));
    connect(savePng, &QPushButton::clicked, this, &MonitorHistoryWindow::onSavePng);
    auto *close = new QPushButton(QStringLiteral("Cl&ose"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    controls->addWidget(spanLabel);
    controls->addWidget(m_span);
    controls->addWidget(m_live);
    controls->addStretch(1);
    controls->addWidget(saveCsv);
    controls->addWidget(savePng);
    controls->addWidget(close);

    auto *column = new QVBoxLayout(this);
    column->addWidget(m_plot, 1);
    column->addLayout(traces);
    column->addLayout(controls);

    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(kRedrawDelayMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &MonitorHistoryWindow::redraw);
}

void MonitorHistoryWindow::sampleAdded()
{
    if (!isVisible() || m_redrawTimer.isActive() || m_history.isEmpty())
        return; // closed: the next show reloads everything; else the pending redraw takes it
    // Only what shows: live, once the newest sample has moved the picture by a few pixels (every
    // read-back at short spans, less often at long ones); paused, when it lands on screen.
    const double newest = keyOf(m_history.timeAt(m_history.size() - 1));
    const QCPRange shown = m_plot->xAxis->range();
    const double pixelsPerSecond = m_plot->axisRect()->width() / std::max(shown.size(), 1e-9);
    if (isLive() ? (newest - m_drawnNewest) * pixelsPerSecond < kMinScrollPixels : !shown.contains(newest))
        return;
    m_redrawTimer.start();
}

bool MonitorHistoryWindow::isLive() const
{
    return m_live->isChecked();
}

void MonitorHistoryWindow::setLive(bool live)
{
    m_live->setChecked(live);
}

void MonitorHistoryWindow::setSpanIndex(int index)
{
    m_span->setCurrentIndex(index);
}

qint64 MonitorHistoryWindow::shownFromMsecs() const
{
    return qint64(m_plot->xAxis->range().lower * kMsecsPerSecond);
}

qint64 MonitorHistoryWindow::shownToMsecs() const
{
    return qint64(m_plot->xAxis->range().upper * kMsecsPerSecond);
}

void MonitorHistoryWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    reloadAll();
    followNewest();
}

void MonitorHistoryWindow::reloadAll()
{
    for (int i = 0; i < kHistoryTraceCount; ++i)
        m_plot->graph(i)->data()->clear();
    m_plottedTotal = m_history.totalAdded() - quint64(m_history.size());
    appendNew();
}

void MonitorHistoryWindow::appendNew()
{
    const quint64 fresh = m_history.totalAdded() - m_plottedTotal;
    const int first = std::max(0, m_history.size() - int(std::min<quint64>(fresh, quint64(m_history.size()))));
    std::array<QVector<QCPGraphData>, kHistoryTraceCount> points;
    for (auto &trace : points)
        trace.reserve(m_history.size() - first);
    for (int k = first; k < m_history.size(); ++k) {
        const MonitorSample sample = m_history.sampleAt(k);
        for (int i = 0; i < kHistoryTraceCount; ++i)
            points[i].append(QCPGraphData(keyOf(sample.msecs), historyTraceValue(sample, kHistoryTraces[i])));
    }
    // The ring forgets its oldest samples; the plot forgets them too.
    const double oldest = m_history.isEmpty() ? 0.0 : keyOf(m_history.timeAt(0));
    for (int i = 0; i < kHistoryTraceCount; ++i) {
        QSharedPointer<QCPGraphDataContainer> data = m_plot->graph(i)->data();
        data->add(points[i], true);
        data->removeBefore(oldest);
    }
    m_plottedTotal = m_history.totalAdded();
}

void MonitorHistoryWindow::followNewest()
{
    const int seconds = kSpansSeconds[std::clamp(m_span->currentIndex(), 0, int(kSpansSeconds.size()) - 1)];
    const double newest = m_history.isEmpty() ? keyOf(QDateTime::currentMSecsSinceEpoch())
                                              : keyOf(m_history.timeAt(m_history.size() - 1));
    auto ticker = qSharedPointerCast<QCPAxisTickerDateTime>(m_plot->xAxis->ticker());
    ticker->setDateTimeFormat(seconds > kDayFormatFromSeconds ? QStringLiteral("dd.MM.\nhh:mm")
                                                              : QStringLiteral("hh:mm:ss"));
    m_plot->xAxis->setRange(newest - seconds, newest);
    redraw();
}

void MonitorHistoryWindow::redraw()
{
    if (!isVisible())
        return;
    m_redrawTimer.stop();
    appendNew();
    if (isLive()) {
        const double newest = m_history.isEmpty() ? m_plot->xAxis->range().upper
                                                  : keyOf(m_history.timeAt(m_history.size() - 1));
        const double span = m_plot->xAxis->range().size();
        const QSignalBlocker quiet(m_plot->xAxis); // a scroll of its own is no operator's pan
        m_plot->xAxis->setRange(newest - span, newest);
    }
    for (int i = 0; i < kHistoryTraceCount; ++i)
        if (m_shown[i]->isChecked())
            m_plot->graph(i)->rescaleValueAxis(false, true);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    m_drawnNewest = m_history.isEmpty() ? 0.0 : keyOf(m_history.timeAt(m_history.size() - 1));
    ++m_redraws;
}

void MonitorHistoryWindow::showTrace(int trace, bool shown)
{
    m_plot->graph(trace)->setVisible(shown);
    m_axes[trace]->setVisible(shown);
    redraw();
}

void MonitorHistoryWindow::onSaveCsv()
{
    const std::optional<QString> path = m_ui.askSavePath(QStringLiteral("Save History as CSV"), QStringLiteral("history.csv"),
                                                         QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    if (!path)
        return;
    QSaveFile file(*path);
    const QByteArray text = HistoryExport::csv(m_history, shownFromMsecs(), shownToMsecs());
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        m_ui.messageBox(QStringLiteral("Cannot save %1: %2").arg(*path, file.errorString()),
                        QStringLiteral("Monitor History"), UserInterface::Icon::Critical);
}

void MonitorHistoryWindow::onSavePng()
{
    const std::optional<QString> path = m_ui.askSavePath(QStringLiteral("Save History as PNG"), QStringLiteral("history.png"),
                                                         QStringLiteral("PNG images (*.png)"), QStringLiteral("png"));
    if (!path)
        return;
    if (!m_plot->savePng(*path))
        m_ui.messageBox(QStringLiteral("Cannot save %1.").arg(*path), QStringLiteral("Monitor History"),
                        UserInterface::Icon::Critical);
}
