// How fast kvam2100-cli is against paced virtual meters (kvam-meter-sim at 19200 baud on
// pseudo-terminals): the wall time of `info` and `read` of one meter, of `read` of ten meters at
// once, the measurement refreshes a second `watch` keeps, and the program's largest resident size.
// Prints a table with each figure's target; exit code 1 when a run failed or a target was missed.
//
//   bench_cli [--rounds N]
//
// Defaults: 5 rounds of each timed command (the median is judged), watch over 40 lines.

#include "tests/MeterSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

struct Timed
{
    double seconds = 0;
    int status = -1;
    QByteArray out;
};

Timed run(const QStringList& args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(KVAM_CLI), args);
    p.waitForFinished(60000);
    Timed r;
    r.seconds = double(t.elapsed()) / 1000;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int rounds = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[++i]));

    QTemporaryDir history;
    struct Sim : QProcess
    {
        ~Sim() override { kvam::test::stopMeter(*this); }
    };
    std::vector<std::unique_ptr<Sim>> sims;
    QStringList ports;
    for (int i = 0; i < 10; ++i) {
        sims.push_back(std::make_unique<Sim>());
        ports << kvam::test::startMeter(*sims.back(),
                                        {QStringLiteral("--installed"), QStringLiteral("--factory-number"),
                                         QString::number(21001000 + i)});
        if (ports.last().isEmpty()) {
            std::fprintf(stderr, "bench_cli: kvam-meter-sim did not start\n");
            return 1;
        }
    }
    const QStringList common{QStringLiteral("--history"), history.path()};
    bool failed = false;
    auto timed = [&](const QStringList& args) {
        std::vector<double> t;
        for (int r = 0; r < rounds; ++r) {
            const Timed x = run(args + common);
            failed = failed || x.status != 0;
            if (x.status != 0)
                std::fprintf(stderr, "bench_cli: %s ended with %d\n", qPrintable(args.join(QLatin1Char(' '))),
                             x.status);
            t.push_back(x.seconds);
        }
        return median(t);
    };
    const double info = timed({QStringLiteral("info"), QStringLiteral("-p"), ports[0]});
    const double readOne = timed({QStringLiteral("read"), QStringLiteral("-p"), ports[0]});
    QStringList all{QStringLiteral("read")};
    for (const QString& p : ports)
        all << QStringLiteral("-p") << p;
    const double readTen = timed(all);

    // watch: the time from the first line to the last over 40 lines.
    const int lines = 40;
    QProcess watch;
    watch.start(QStringLiteral(KVAM_CLI), QStringList{QStringLiteral("watch"), QStringLiteral("-p"), ports[0],
                                                      QStringLiteral("--count"), QString::number(lines)} +
                                              common);
    QElapsedTimer t;
    double first = -1;
    int seen = 0;
    while (watch.state() != QProcess::NotRunning || watch.canReadLine()) {
        if (!watch.canReadLine() && !watch.waitForReadyRead(5000))
            break;
        while (watch.canReadLine()) {
            watch.readLine();
            if (++seen == 1) {
                t.start();
                first = 0;
            }
        }
    }
    watch.waitForFinished(5000);
    const double span = first < 0 ? 0 : double(t.elapsed()) / 1000;
    const double refreshes = seen > 1 && span > 0 ? (seen - 1) / span : 0;
    failed = failed || watch.exitCode() != 0 || seen != lines;

    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    // The simulators are still running: the largest child reaped so far is the program itself.
    const double rssMb = double(children.ru_maxrss) / 1024;

    struct Line
    {
        const char* what;
        double value;
        const char* unit;
        double target;
        bool atMost;
    };
    const Line table[] = {
        {"info, one meter", info, "s", 0.6, true},
        {"read, one meter", readOne, "s", 0.6, true},
        {"read, ten meters at once", readTen, "s", 1.5 * readOne, true},
        {"watch, measurement refreshes", refreshes, "/s", 3.5, false},
        {"largest resident size", rssMb, "MB", 25, true},
    };
    std::printf("| %-30s | %9s | %-12s |\n|%s|%s|%s|\n", "measured (median of rounds)", "value", "target",
                "--------------------------------", "-----------", "--------------");
    for (const Line& l : table) {
        const bool met = l.atMost ? l.value <= l.target : l.value >= l.target;
        failed = failed || !met;
        std::printf("| %-30s | %6.3f %-2s | %s %6.3f %-2s%s |\n", l.what, l.value, l.unit,
                    l.atMost ? "<=" : ">=", l.target, l.unit, met ? "" : " MISSED");
    }
    std::printf("(%d rounds; watch over %d lines)\n", rounds, seen);
    return failed ? 1 : 0;
}
