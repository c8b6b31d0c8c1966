// Times a save and a load of one section of a settings file of 200 sections.
// bench_settings [--sections N] [--rounds N]

#include "config/SettingsFile.h"
#include "records/Records.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace kvam;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int sections = 200;
    int rounds = 20;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sections"))
            sections = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
    }
    if (sections < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_settings [--sections N] [--rounds N]\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    const QLocale locale(QLocale::Hungarian);
    Ram2Image ram2;
    Ram3Image ram3;
    for (std::size_t i = 0; i < ram2.size(); ++i)
        ram2[i] = static_cast<std::uint8_t>(i * 37 + 1);
    for (std::size_t i = 0; i < ram3.size(); ++i)
        ram3[i] = static_cast<std::uint8_t>(i * 53 + 7);

    QString error;
    QElapsedTimer timer;
    timer.start();
    for (int s = 0; s < sections; ++s) {
        if (!saveSettings(path, QString::number(100000 + s), ram2, ram3, locale, &error)) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("built %d sections in %.0f ms, %lld bytes\n", sections, double(timer.elapsed()),
                static_cast<long long>(QFileInfo(path).size()));

    const QString middle = QString::number(100000 + sections / 2);
    timer.restart();
    for (int r = 0; r < rounds; ++r) {
        ram2[178] = static_cast<std::uint8_t>(r);
        if (!saveSettings(path, middle, ram2, ram3, locale, &error)) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(error));
            return 1;
        }
    }
    const double saveMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    Ram2Image back2;
    Ram3Image back3;
    timer.restart();
    for (int r = 0; r < rounds; ++r) {
        if (!loadSettings(path, middle, back2, back3, locale, &error)) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(error));
            return 1;
        }
    }
    const double loadMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    timer.restart();
    qsizetype listed = 0;
    for (int r = 0; r < rounds; ++r)
        listed = settingsSections(path, &error).size();
    const double listMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    std::printf("save of one section: %.2f ms\n", saveMs);
    std::printf("load of one section: %.2f ms\n", loadMs);
    std::printf("list of %lld sections: %.2f ms\n", static_cast<long long>(listed), listMs);
    return back2[178] == static_cast<std::uint8_t>(rounds - 1) ? 0 : 1;
}
