#include "texts/UiItems.h"

#include <cstring>

namespace kvam {

namespace {

using L = const char* const[];

constexpr L kSampletime{"80 ms",  "160 ms", "240 ms", "320 ms", "400 ms",
                        "480 ms", "560 ms", "640 ms", "720 ms", "800 ms"};
constexpr L kElrendezes{"3fázis 3/4vezeték 3mérő",     "3fázis 3vezeték 2mérő", "3fázis 3vezeték 1mérő",
                        "3fázis 3vezeték 3mérő delta", "3fázis 4vezeték 1mérő", "1fázis 2vezeték 1mérő"};
constexpr L kFunction{"Nincs",      "Fogyasztás impulzus", "Fogyasztás előjel",  "Határérték jelzés",
                      "Hibajelzés", "Fogyasztás 1.korlát", "Fogyasztás 2.korlát"};
constexpr L kPolarity{"NO", "NC"};
constexpr L kLimitType{"Alsó határérték alatt", "Felső határérték felett", "Határértékeken belül",
                       "Határértékeken kívül"};
constexpr L kF1Assign{"L1 EP+",  "L2 EP+",  "L3 EP+", "L1 EP-", "L2 EP-", "L3 EP-",  "L1 EQ+",
                      "L2 EQ+",  "L3 EQ+",  "L1 EQ-", "L2 EQ-", "L3 EQ-", "SUM EP+", "SUM EP-",
                      "SUM EQ+", "SUM EQ-", "L1 EP",  "L2 EP",  "L3 EP",  "SUM EP",  "L1 EQ",
                      "L2 EQ",   "L3 EQ",   "SUM EQ", ""};
constexpr L kD1F2Assign{"L1 P ", "L2 P ", "L3 P ", "SUM P", "L1 Q ", "L2 Q ", "L3 Q ", "SUM Q "};
constexpr L kD2F2Assign{"L1 P ", "L2 P ", "L3 P ", "SUMP ", "L1 Q ", "L2 Q ", "L3 Q ", "SUMQ "};
#define KVAM_F3_ITEMS                                                                                        \
    "L12 Urms", "L23 Urms", "L13 Urms", "L1 Urms", "L2 Urms", "L3 Urms", "L1 Irms", "L2 Irms", "L3 Irms",    \
        "L1 P", "L2 P", "L3 P", "SUM P", "L1 Q", "L2 Q", "L3 Q", "SUM Q", "L1 S", "L2 S", "L3 S", "SUM S",   \
        "L1 PF", "L2 PF", "L3 PF", "SUM PF", "L1 Fi", "L2 Fi", "L3 Fi", "L1 f", "L2 f", "L3 f", "L1 U THD",  \
        "L2 U THD", "L3 U THD", "L1 I THD", "L2 I THD", "L3 I THD"
constexpr L kD1F3Assign{KVAM_F3_ITEMS};
constexpr L kD2F3Assign{KVAM_F3_ITEMS, ""};
#undef KVAM_F3_ITEMS
constexpr L kAnAssigned{"Teszt érték", "L12 Urms", "L23 Urms",      "L13 Urms", "L1 Urms", "L2 Urms",
                        "L3 Urms",     "L1 Irms",  "L2 Irms",       "L3 Irms",  "L1 P",    "L2 P",
                        "L3 P",        "L1 Q",     "L2 Q",          "L3 Q",     "L1 S",    "L2 S",
                        "L3 S",        "L1 PF",    "L2 PF",         "L3 PF",    "L1 Fi",   "L2 Fi",
                        "L3 Fi",       "L1 f",     "L2 f",          "L3 f",     "SUM P",   "SUM Q",
                        "SUM S",       "SUM PF",   "P eddigi [kW]", "L12 Fi",   "L13 Fi"};
constexpr L kPwmType{"0-20 mA", "4-20 mA"};
constexpr L kPwmMode{"Behatárolt", "Nem behatárolt", "Hibajelzés"};
constexpr L kMbType{"RTU", "ASCII"};
constexpr L kMbBaud{"300",   "600",   "1200",  "2400",  "4800",  "9600",
                    "14400", "19200", "38400", "56000", "57600", "115200"};
constexpr L kMbParity{"Nincs paritás", "Páratlan paritás", "Páros paritás", "Mindig 1", "Mindig 0"};
constexpr L kMbStop{"1 stop bit", "2 stop bit", "1,5 stop bit"};
constexpr L kEpLimiting{"Nincs korlátozás", "Van korlátozás"};
constexpr L kSynchronSource{"Külső szinkronjel", "Belső szinkronjel"};
constexpr L kTarifSource{"Külső tarifa bemenet", "Belső 1.tarifa"};
constexpr L kModul1{"Nincs", "2 kimenet", "2 kimenet 3 bemenet"};
constexpr L kModul2{"Nincs", "2 analóg kimenet", "RS485 Modbus"};

constexpr L kTrendWindow{"1 perc", "5 perc", "15 perc", "1 óra", "6 óra", "24 óra"};
constexpr L kErrorBits{"L1 letörés",
                       "L2 letörés",
                       "L3 letörés",
                       "L1 kiesés",
                       "L2 kiesés",
                       "L3 kiesés",
                       "L1 emelkedés",
                       "L2 emelkedés",
                       "L3 emelkedés",
                       "L1 túláram",
                       "L2 túláram",
                       "L3 túláram",
                       "Fázis sorrend hiba",
                       "Frekvencia hiba",
                       "Túlzott meddő",
                       "Modbus komm. hiba",
                       "Analóg kimenet hiba",
                       "Lekötött telj. túllépés",
                       "Váratlan szinkronjel",
                       "Szinkronjel kimaradás"};

constexpr UiItems kLists[] = {
    {"Sampletimebox", kSampletime},  {"Elrendezesbox", kElrendezes},
    {"D1functionbox", kFunction},    {"D2functionbox", kFunction},
    {"D1polaritybox", kPolarity},    {"D2polaritybox", kPolarity},
    {"Synchronpolarity", kPolarity}, {"Tarifpolarity", kPolarity},
    {"D1limittypebox", kLimitType},  {"D2Limittypebox", kLimitType},
    {"D1F1Assignbox", kF1Assign},    {"D2F1Assignbox", kF1Assign},
    {"D1F2Assignbox", kD1F2Assign},  {"D2F2Assignbox", kD2F2Assign},
    {"D1F3Assignbox", kD1F3Assign},  {"D2F3Assignbox", kD2F3Assign},
    {"A1Assignedbox", kAnAssigned},  {"A2Assignedbox", kAnAssigned},
    {"A1Typebox", kPwmType},         {"A2Typebox", kPwmType},
    {"A1Modebox", kPwmMode},         {"A2Modebox", kPwmMode},
    {"MB1Typebox", kMbType},         {"MB1Baudratebox", kMbBaud},
    {"MB1Paritybox", kMbParity},     {"MB1Stopbitbox", kMbStop},
    {"EPlimiting", kEpLimiting},     {"Synchronsource", kSynchronSource},
    {"Tarifsource", kTarifSource},   {"Modul1box", kModul1},
    {"Modul2box", kModul2},          {"TrendWindow", kTrendWindow},
};

QStringList toList(std::span<const char* const> items)
{
    QStringList list;
    list.reserve(qsizetype(items.size()));
    for (const char* s : items)
        list.append(QString::fromUtf8(s));
    return list;
}

} // namespace

std::span<const UiItems> uiItemLists()
{
    return kLists;
}

QStringList uiItems(const char* control)
{
    for (const UiItems& l : kLists)
        if (std::strcmp(l.control, control) == 0)
            return toList(l.start);
    return {};
}

QStringList errorBitCaptions()
{
    return toList(kErrorBits);
}

const char* errorFlagKey(int bit)
{
    static constexpr const char* kKeys[kErrorFlagBits] = {
        "DinLeds", "Led1",  "Led2",  "Led3",  "Led4",   "Led5",    "Led6",   "Led7",
        "Led8",    "Led9",  "Led10", "Led11", "Led12",  "Led13",   "Led14",  "Led15",
        "Led16",   "Led17", "Led18", "Led19", "AbLED1", "AbLED21", "AbLED22"};
    return bit >= 0 && bit < kErrorFlagBits ? kKeys[bit] : nullptr;
}

} // namespace kvam
