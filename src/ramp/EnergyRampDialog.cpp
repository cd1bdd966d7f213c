#include "ramp/EnergyRampDialog.h"

#include "core/Conversions.h"
#include "core/ImmediateAccessKeys.h"
#include "core/ModuleTable.h"
#include "core/SettingsStore.h"
#include "core/UserInterface.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <qcustomplot.h>

namespace {
constexpr int kPlotWidthPx = 420;
constexpr int kPlotHeightPx = 260;
constexpr qint64 kMsPerSecond = 1000;

QString pointNumber(double number)
{
    return FirstCommaToPoint(StrOf(float(number)));
}

QString clock(qint64 ms)
{
    const qint64 seconds = (ms + kMsPerSecond - 1) / kMsPerSecond;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

EnergyRampDialog::EnergyRampDialog(EnergyRamp &ramp, const ModuleTable &limits, UserInterface &ui, QWidget *parent)
    : QDialog(parent), m_ramp(ramp), m_limits(limits), m_ui(ui)
{
    setObjectName(QStringLiteral("Form_EnergyRamp"));
    setWindowTitle(QStringLiteral("Energy Ramp"));
    auto *form = new QFormLayout;
    const std::pair<const char *, const char *> fields[] = {
        {"&From (eV)", "From"}, {"&To (eV)", "To"}, {"St&ep (eV)", "Step"}, {"Sett&le (ms)", "Settle"}, {"&Dwell (ms)", "Dwell"},
    };
    const QString defaults[] = {QStringLiteral("50"), QStringLiteral("300"), QStringLiteral("1"),
                                QStringLiteral("200"), QStringLiteral("500")};
    for (int i = 0; i < 5; ++i)
        form->addRow(QString::fromLatin1(fields[i].first), addField(QLatin1String(fields[i].second), defaults[i]));

    m_start = new QPushButton(QStringLiteral("&Start"), this);
    m_start->setObjectName(QStringLiteral("Command_Start"));
    m_stop = new QPushButton(QStringLiteral("St&op"), this);
    m_stop->setObjectName(QStringLiteral("Command_Stop"));
    m_save = new QPushButton(QStringLiteral("Save as &CSV..."), this);
    m_save->setObjectName(QStringLiteral("Command_Save"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress_Ramp"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(QStringLiteral("idle"));

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("Plot_IV"));
    m_plot->setMinimumSize(kPlotWidthPx, kPlotHeightPx);
    m_plot->addGraph();
    m_plot->graph(0)->setLineStyle(QCPGraph::lsLine);
    m_plot->graph(0)->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    m_plot->xAxis->setLabel(QStringLiteral("Energy (eV)"));
    m_plot->yAxis->setLabel(QStringLiteral("Beam current (\u00b5A)"));

    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {m_start, m_stop, m_save})
        buttons->addWidget(button);
    buttons->addStretch(1);
    auto *column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addLayout(buttons);
    column->addWidget(m_progress);
    column->addWidget(m_plot, 1);

    connect(m_start, &QPushButton::clicked, this, &EnergyRampDialog::onStart);
    connect(m_stop, &QPushButton::clicked, this, &EnergyRampDialog::onStop);
    connect(m_save, &QPushButton::clicked, this, &EnergyRampDialog::onSave);
    connect(&m_ramp, &EnergyRamp::started, this, &EnergyRampDialog::rampStarted);
    connect(&m_ramp, &EnergyRamp::stepDone, this, &EnergyRampDialog::stepDone);
    connect(&m_ramp, &EnergyRamp::finished, this, &EnergyRampDialog::rampFinished);
    ImmediateAccessKeys::install(this);
    m_stop->setEnabled(m_ramp.isRunning());
    m_save->setEnabled(false);
}

QLineEdit *EnergyRampDialog::addField(const QString &key, const QString &defaultText)
{
    auto *edit = new QLineEdit(SettingsStore::readText(kSection, key, defaultText), this);
    edit->setObjectName(QStringLiteral("Text_") + key);
    m_fields.append(edit);
    return edit;
}

void EnergyRampDialog::onStart()
{
    static const char *const keys[] = {"From", "To", "Step", "Settle", "Dwell"};
    for (int i = 0; i < m_fields.size(); ++i)
        SettingsStore::writeText(kSection, QLatin1String(keys[i]), m_fields[i]->text());
    QString why;
    const std::optional<RampPlan> plan = RampPlan::make(m_fields[0]->text(), m_fields[1]->text(), m_fields[2]->text(),
                                                        m_fields[3]->text(), m_fields[4]->text(), false, m_limits, why);
    if (plan)
        why = m_ramp.start(*plan);
    if (!why.isEmpty())
        m_ui.messageBox(QStringLiteral("The ramp cannot start: ") + why + QLatin1Char('.'), windowTitle(),
                        UserInterface::Icon::Exclamation);
}

void EnergyRampDialog::onStop()
{
    m_ramp.stop();
}

QStringList EnergyRampDialog::csvLines() const
{
    QStringList lines{kCsvHeader};
    for (const RampStep &step : m_steps)
        lines << QStringLiteral("%1,%2,%3,%4,%5")
                     .arg(step.k)
                     .arg(RampPlan::wireText(step.energy), pointNumber(step.umon), pointNumber(step.imon))
                     .arg(step.ms);
    return lines;
}

void EnergyRampDialog::onSave()
{
    const std::optional<QString> path = m_ui.askSavePath(QStringLiteral("Save Ramp as CSV"), QStringLiteral("ramp.csv"),
                                                         QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    if (!path)
        return;
    QSaveFile file(*path);
    const QByteArray bytes = (csvLines().join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        m_ui.messageBox(file.errorString(), QStringLiteral("Save Ramp as CSV"), UserInterface::Icon::Critical);
}

void EnergyRampDialog::rampStarted(int steps)
{
    m_steps.clear();
    m_count = steps;
    m_plot->graph(0)->data()->clear();
    m_plot->xAxis->setRange(std::min(m_ramp.plan().from, m_ramp.plan().to), std::max(m_ramp.plan().from, m_ramp.plan().to));
    m_plot->replot();
    m_start->setEnabled(false);
    m_stop->setEnabled(true);
    m_save->setEnabled(false);
    showProgress();
}

void EnergyRampDialog::stepDone(const RampStep &step)
{
    m_steps.append(step);
    m_plot->graph(0)->addData(step.energy, double(step.imon) * kMicroampsPerAmp);
    m_plot->graph(0)->rescaleValueAxis(false, true);
    if (isVisible())
        m_plot->replot(QCustomPlot::rpQueuedReplot);
    showProgress();
}

void EnergyRampDialog::rampFinished(int stepsDone, bool complete)
{
    m_start->setEnabled(true);
    m_stop->setEnabled(false);
    m_save->setEnabled(!m_steps.isEmpty());
    m_progress->setFormat(QStringLiteral("%1 of %2 steps, %3").arg(stepsDone).arg(m_count).arg(complete ? QStringLiteral("complete") : QStringLiteral("stopped")));
    m_plot->replot();
}

void EnergyRampDialog::showProgress()
{
    const int done = m_steps.size();
    m_progress->setRange(0, std::max(1, m_count));
    m_progress->setValue(done);
    const qint64 elapsed = m_steps.isEmpty() ? 0 : m_steps.last().ms;
    const QString left = done == 0 ? QStringLiteral("?") : clock(elapsed * (m_count - done) / done);
    m_progress->setFormat(QStringLiteral("step %1 of %2, %3 left").arg(done).arg(m_count).arg(left));
}
