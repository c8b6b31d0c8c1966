#include "app/ReportAction.h"

#include "app/Report.h"
#include "app/TForm1.h"
#include "protocol/Commands.h"
#include "texts/UiTexts.h"
#include "views/MeasurementPage.h"

#include <QCoreApplication>
#include <QPushButton>

#include <cstdio>

namespace kvam {

namespace {

constexpr int kScriptedStepMs = 20;
constexpr int kAskAgainMs = 1000;

} // namespace

ReportAction::ReportAction(TForm1& window) : QObject(&window), m_window(window)
{
    DeviceModel& model = window.model();
    connect(&model, &DeviceModel::versionChanged, this, [this] { m_version = true; });
    connect(&model, &DeviceModel::stateChanged, this, [this] { m_state = true; });
    connect(&model, &DeviceModel::caldataChanged, this, [this] { m_caldata = true; });
    connect(&model, &DeviceModel::harmonicsChanged, this, [this] { m_harmonics = true; });
    connect(window.measurementPage().reportButton(), &QPushButton::clicked, this,
            &ReportAction::ReportButtonClick);
    m_poll.setInterval(kScriptedStepMs);
    connect(&m_poll, &QTimer::timeout, this, &ReportAction::scriptedStep);
}

QStringList ReportAction::missing() const
{
    const DeviceModel& model = m_window.model();
    QStringList names;
    const std::pair<bool, const char*> records[] = {
        {m_version, "Version"},     {m_state, "State"},         {model.netHeld(), "Net"},
        {model.ram1Held(), "RAM1"}, {model.ram2Held(), "RAM2"}, {model.ram3Held(), "RAM3"},
        {m_caldata, "Caldata"},     {m_harmonics, "Harmonics"},
    };
    for (const auto& [held, name] : records)
        if (!held)
            names << QLatin1String(name);
    return names;
}

void ReportAction::askMissing()
{
    const QStringList lacking = missing();
    const std::pair<const char*, int> reads[] = {
        {"Version", Read_Version}, {"State", Read_State},         {"Net", Read_Net},
        {"RAM1", Read_RAM1},       {"RAM2", Read_RAM2},           {"RAM3", Read_RAM3},
        {"Caldata", Read_Caldata}, {"Harmonics", Read_Harmonics},
    };
    for (const auto& [name, code] : reads)
        if (lacking.contains(QLatin1String(name)))
            m_window.engine().setFlag(code, true);
}

bool ReportAction::write(const QString& file, QString* reason)
{
    return writeReport(file, buildReport(m_window), reason);
}

void ReportAction::ReportButtonClick()
{
    UserPrompts& prompts = m_window.prompts();
    if (const QStringList lacking = missing(); !lacking.isEmpty()) {
        askMissing();
        prompts.showError(currentText("Report.Missing").arg(lacking.join(QStringLiteral(", "))));
        return;
    }
    FileRequest request;
    request.save = true;
    request.title = currentText("ReportDialog");
    request.filter = currentText("ReportDialog.Filter");
    request.defaultSuffix = QStringLiteral("pdf");
    const QString file = prompts.chooseFile(request);
    if (file.isEmpty())
        return;
    QString reason;
    if (!write(file, &reason))
        prompts.showError(currentText("Report.WriteFailed").arg(file, reason));
}

void ReportAction::runScripted(const QString& file, int timeoutMs)
{
    m_file = file;
    m_timeoutMs = timeoutMs;
    m_waiting.start();
    m_lastAsked = -1;
    m_poll.start();
}

void ReportAction::scriptedStep()
{
    const QStringList lacking = missing();
    if (lacking.isEmpty()) {
        m_poll.stop();
        QString reason;
        const bool written = write(m_file, &reason);
        if (!written)
            std::fprintf(stderr, "kvam2100: %s\n",
                         qPrintable(currentText("Report.WriteFailed").arg(m_file, reason)));
        QCoreApplication::exit(written ? kScriptOk : kScriptFile);
        return;
    }
    if (m_waiting.elapsed() > m_timeoutMs) {
        m_poll.stop();
        std::fprintf(stderr, "kvam2100: no report: within %d s the meter did not give %s\n",
                     m_timeoutMs / 1000, qPrintable(lacking.join(QStringLiteral(", "))));
        QCoreApplication::exit(kScriptNoMeter);
        return;
    }
    if (m_lastAsked < 0 || m_waiting.elapsed() - m_lastAsked >= kAskAgainMs) {
        m_lastAsked = m_waiting.elapsed();
        askMissing();
    }
}

} // namespace kvam
