// Times what each write costs the history: one backup of RAM2 and RAM3 plus one journal line, in a
// temporary folder; then a listing of all the backups, a load of one and a read of the journal.
// bench_history [--rounds N]

#include "config/MeterHistory.h"
#include "records/RecordLayout.h"
#include "records/Records.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kvam;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 1000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2)
        if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
    if (rounds < 1) {
        std::fprintf(stderr, "usage: bench_history [--rounds N]\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    MeterHistory history(dir.path());
    MeterRecords records;
    records.Gyartasiszam = 123456;
    records.ram2.emplace();
    records.ram3.emplace();
    for (std::size_t i = 0; i < ram2::kSize; ++i)
        (*records.ram2)[i] = static_cast<std::uint8_t>(i * 37 + 1);
    for (std::size_t i = 0; i < ram3::kSize; ++i)
        (*records.ram3)[i] = static_cast<std::uint8_t>(i * 53 + 7);
    set(*records.ram2, ram2::Zajzar, 0.5f);

    JournalEntry entry;
    entry.user = userLoginName();
    entry.Gyartasiszam = records.Gyartasiszam;
    const RecordLayout& layout = *findRecordLayout("RAM2");
    for (std::size_t k = 0; k < 6; ++k)
        entry.changes.push_back({MemoryRecord::Ram2, layout.field("Ratio"), k, 70.0 + double(k), 75.5});
    entry.changes.push_back({MemoryRecord::Ram2, layout.field("Zajzar"), 0, 0.5, 0.6});

    QString reason;
    QElapsedTimer timer;
    double backupTotal = 0;
    double journalTotal = 0;
    std::vector<double> each;
    each.reserve(std::size_t(rounds));
    for (int r = 0; r < rounds; ++r) {
        (*records.ram2)[100] = static_cast<std::uint8_t>(r);
        timer.start();
        if (!history.backup(records, MemoryRecord::Ram2, &reason)) {
            std::fprintf(stderr, "backup failed: %s\n", qPrintable(reason));
            return 1;
        }
        const double backupMs = double(timer.nsecsElapsed()) / 1e6;
        entry.time = QDateTime::currentDateTime();
        if (!history.journal(entry, &reason)) {
            std::fprintf(stderr, "journal failed: %s\n", qPrintable(reason));
            return 1;
        }
        const double bothMs = double(timer.nsecsElapsed()) / 1e6;
        backupTotal += backupMs;
        journalTotal += bothMs - backupMs;
        each.push_back(bothMs);
    }
    const double mean = (backupTotal + journalTotal) / rounds;
    std::sort(each.begin(), each.end());
    const double worst = each.back();
    const auto percentile = [&](double p) { return each[std::size_t(p * double(each.size() - 1))]; };
    std::printf("%d writes: backup (RAM2+RAM3) + journal line: mean %.3f ms, max %.3f ms (target 5 ms: %s)\n",
                rounds, mean, worst,
                mean < 5.0 && worst < 5.0 ? "met"
                : mean < 5.0              ? "mean met, max missed"
                                          : "missed");
    std::printf("  median %.3f ms, 99th percentile %.3f ms; backup mean %.3f ms, journal line mean %.3f ms\n",
                percentile(0.5), percentile(0.99), backupTotal / rounds, journalTotal / rounds);

    timer.start();
    const std::vector<BackupInfo> list = history.backups(records.Gyartasiszam, &reason);
    const double listMs = double(timer.nsecsElapsed()) / 1e6;
    if (list.size() != std::size_t(rounds) || list.front().damaged) {
        std::fprintf(stderr, "listed %zu backups of %d\n", list.size(), rounds);
        return 1;
    }
    timer.start();
    const std::optional<MeterRecords> loaded =
        history.loadBackup(records.Gyartasiszam, list.front().id, &reason);
    const double loadMs = double(timer.nsecsElapsed()) / 1e6;
    if (!loaded || loaded->ram2 != records.ram2) {
        std::fprintf(stderr, "newest backup does not load back: %s\n", qPrintable(reason));
        return 1;
    }
    timer.start();
    std::size_t damaged = 0;
    const std::vector<JournalLine> lines = history.readJournal(records.Gyartasiszam, &reason, &damaged);
    const double readMs = double(timer.nsecsElapsed()) / 1e6;
    if (lines.size() != std::size_t(rounds) || damaged != 0) {
        std::fprintf(stderr, "journal read %zu lines, %zu damaged\n", lines.size(), damaged);
        return 1;
    }
    std::printf("list of %zu backups (every file checked): %.1f ms\n", list.size(), listMs);
    std::printf("load of the newest backup: %.3f ms\n", loadMs);
    std::printf("read of a journal of %zu lines: %.1f ms\n", lines.size(), readMs);
    return 0;
}
