// kvam2100-cli: the service tool's command line. It drives the same engine, device model, record
// tables, settings-file codec, safe-write rules and log formats as the window, on QtCore only.

#include "app/PortFactory.h"
#include "cli/CliOptions.h"
#include "cli/Jobs.h"
#include "cli/MeterSession.h"
#include "config/MeterHistory.h"
#include "texts/UiTexts.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

void writeOut(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeError(const QString& line)
{
    std::fprintf(stderr, "kvam2100-cli: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool askOnTerminal(const QString& question)
{
    std::fputs(question.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

} // namespace

int main(int argc, char* argv[])
{
    using kvam::LinkDriver;
    using kvam::MeterHistory;
    using namespace kvam::cli;

    QCoreApplication app(argc, argv);
    // The window's name: backups and journals are kept in the same folder.
    QCoreApplication::setApplicationName(QStringLiteral("KVAM2300 33"));
    kvam::setCurrentLanguage(kvam::Language::English);

    const ParseResult parsed = parseArguments(QCoreApplication::arguments());
    if (!parsed.options) {
        if (parsed.status == Status::Ok) {
            writeOut(parsed.text.toUtf8());
            return 0;
        }
        writeError(parsed.text);
        if (parsed.status == Status::Usage)
            std::fputs("Try 'kvam2100-cli --help'.\n", stderr);
        return int(parsed.status);
    }

    Shared shared;
    shared.options = *parsed.options;
    shared.several = shared.options.ports.size() > 1;
    shared.out = writeOut;
    shared.error = writeError;
    shared.confirm = askOnTerminal;
    shared.terminal = ::isatty(STDIN_FILENO) == 1;
    shared.presenter = Presenter::make(shared.options.format, writeOut, shared.several);
    MeterHistory history(shared.options.history.isEmpty() ? MeterHistory::defaultRoot()
                                                          : shared.options.history);
    shared.history = &history;

    if (shared.options.command == Command::Ports)
        return int(listPorts(shared));

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    std::signal(SIGPIPE, SIG_IGN);

    // Each port its own engine and model, all on this one event loop.
    std::vector<std::unique_ptr<MeterSession>> sessions;
    std::vector<std::unique_ptr<Job>> jobs;
    const LinkDriver::PortFactory factory = kvam::portFactory(true);
    for (const QString& port : shared.options.ports) {
        sessions.push_back(std::make_unique<MeterSession>(port, factory));
        sessions.back()->driver().setAnswerTimeoutOverride(shared.options.timeoutMs);
        jobs.push_back(makeJob(*sessions.back(), shared));
    }
    auto allDone = [&] {
        for (const auto& j : jobs)
            if (!j->isDone())
                return false;
        return true;
    };
    for (const auto& j : jobs)
        QObject::connect(j.get(), &Job::done, &app, [&] {
            if (allDone())
                QMetaObject::invokeMethod(
                    &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });

    std::unique_ptr<QSocketNotifier> interrupts;
    if (g_signalPipe[0] >= 0) {
        interrupts = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(interrupts.get(), &QSocketNotifier::activated, &app, [&] {
            char b = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &b, 1);
            for (const auto& j : jobs)
                if (!j->isDone())
                    j->interrupt();
        });
    }

    QMetaObject::invokeMethod(
        &app,
        [&] {
            for (const auto& j : jobs)
                j->begin();
        },
        Qt::QueuedConnection);
    if (!allDone() || jobs.empty())
        app.exec();

    Status worst = Status::Ok;
    for (const auto& j : jobs)
        worst = std::max(worst, j->status());

    worst = std::max(worst, endJobs(shared));
    jobs.clear();
    sessions.clear();
    return int(worst);
}
