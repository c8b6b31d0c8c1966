// How long the configuration editor takes to show a RAM2 record and pack it back, and the
// factory page the same for RAM3: what a read answer or a write button costs the window.
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "records/Records.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace kvam;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;

    QElapsedTimer build;
    build.start();
    ConfigPage config;
    FactoryPage factory;
    const double buildMs = double(build.nsecsElapsed()) / 1e6;

    // A record with every field in use, alternating with the default-looking one, so every
    // control really changes each round.
    Ram2Image a, b;
    for (std::size_t k = 0; k < 6; ++k)
        set(a, ram2::Ratio, k, 40.0f);
    set(a, ram2::DoutFunction, 0, std::uint8_t(3));
    set(a, ram2::DoutAssign, 0, std::uint8_t(9));
    set(a, ram2::LedErrorMask, 0x000FFFFFu);
    set(a, ram2::DinPolarity, std::uint16_t(0xE3));
    Ram3Image r3;
    set(r3, ram3::Modulconfig, std::uint16_t(0x12));

    QElapsedTimer t;
    t.start();
    Ram2Image packed;
    for (int i = 0; i < rounds; ++i) {
        config.Display_RAM2(i % 2 ? a : b);
        config.Ram2refresh(packed);
    }
    const double ram2Ms = double(t.nsecsElapsed()) / 1e6 / rounds;

    t.restart();
    Ram3Image packed3;
    for (int i = 0; i < rounds; ++i) {
        factory.Display_RAM3(r3);
        factory.Ram3refresh(packed3);
    }
    const double ram3Ms = double(t.nsecsElapsed()) / 1e6 / rounds;

    std::printf("pages built:                         %8.2f ms\n", buildMs);
    std::printf("Display_RAM2 + Ram2refresh, per pair: %8.3f ms (%d rounds)\n", ram2Ms, rounds);
    std::printf("Display_RAM3 + Ram3refresh, per pair: %8.3f ms (%d rounds)\n", ram3Ms, rounds);
    return 0;
}
