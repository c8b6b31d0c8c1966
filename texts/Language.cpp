#include "texts/Language.h"

namespace kvam {

namespace {

// One row per control, in the order the switch sets them. Blanks inside the quotes are part of
// the texts: the group titles of the configuration page keep a blank on each side, and the main
// window's title is replaced whole (the start-up version text does not survive a switch).
// Some English texts are the Hungarian ones on purpose (GroupBox15, the Phasor and Modul tabs).
constexpr LanguageText kTexts[] = {
    // The windows, the main window's pages
    {"PasswordForm", "Jelszó", "Password"},
    {"Form1", "KVAM2100 beállítás              VELMAR", "KVAM2100 settings              VELMAR"},
    {"SectionForm", "Beállítás kiválasztása", "Select setting"},
    {"SectionForm.Button2", "MÉGSEM", "CANCEL"},
    {"TabSheet_Calib", "Kalibrálás", "Calibration"},
    {"TabSheet_FactorySettings", "Gyári beállítások", "Factory settings"},
    {"TabSheet_Config", "Konfiguráció", "Configuration"},
    {"TabSheet_Meres", "Mért értékek", "Measuring"},
    {"TabSheet_Harmonics", "Harmonikusok", "Harmonics"},
    {"TabSheet_Phasor", "Phasor", "Phasor"},
    {"TabSheet_Errors", "Hibajelzések", "Errors"},
    {"TabSheet_Comm", "Kommunikáció", "Communication"},

    // Calibration page
    {"ADCalibbox", "Analóg bemenet kalibráció", "Analog input calibration"},
    {"Button_setnominal1", "Névleges kalibrálás", "Nominal calibration"},
    {"Button_setoffset1", "Offset kalibrálás", "Offset calibration"},
    {"Button_clearoffset1", "Offset törlés", "Clear offset"},
    {"DACalibbox", "Analóg kimenet kalibráció", "Analog output calibration"},
    {"Caldat_UIrms", "Névleges rms érték", "Nominal rms value"},
    {"Caldat_Average", "AD átlagérték", "AD average value"},
    {"DAcalbutton", "Analóg kimenet kalibráció start", "Analog output calibration start"},
    {"Button3", "Beolvasás", "Read"},
    {"Button4", "Mentés", "Save"},
    {"GroupBox2", "Kalibrálandó érték", "Value to calibrate"},

    // Factory page
    {"GroupBox12", "Gyári beállítások", "Factory settings"},
    {"VelmarDefaultbutton", "Gyári alapértékek", "Factory default values"},
    {"UserDefaultButton", "Felhasználói alapértékek", "User default values"},
    {"Rd_velmar_cal", "Beolvasás", "Read"},
    {"Wr_velmar_cal", "Mentés", "Save"},
    {"ReadSettingsButton", "Beállítás beolvasás fájlból", "Read settings from file"},
    {"SaveSettingsButton", "Beállítás mentés fájlba", "Save settings to file"},
    {"Label38", "Gyári szám", "Serial number"},
    {"Label43", "Év", "Year"},
    {"Label44", "Hónap", "Month"},

    // Phasor page
    {"DeviceDispVoltage", "Feszültség", "Voltage"},
    {"DeviceDispCurrent", "Áram", "Current"},
    {"DeviceDispProvider", "Termelő", "Provider"},

    // Error page; the dynamic-error lamps give the captions of bits 0..19 to the other lamp groups
    {"ErrorLed", "HIBA LED", "ERROR LED"},
    {"ClearErrorsbutton", "Hibák törlése", "Clear errors"},
    {"DinLeds", "L1 letörés", "L1 dip"},
    {"Led1", "L2 letörés", "L2 dip"},
    {"Led2", "L3 letörés", "L3 dip"},
    {"Led3", "L1 kiesés", "L1 interrupt"},
    {"Led4", "L2 kiesés", "L2 interrupt"},
    {"Led5", "L3 kiesés", "L3 interrupt"},
    {"Led6", "L1 emelkedés", "L1 swell"},
    {"Led7", "L2 emelkedés", "L2 swell"},
    {"Led8", "L3 emelkedés", "L3 swell"},
    {"Led9", "L1 túláram", "L1 overload"},
    {"Led10", "L2 túláram", "L2 overload"},
    {"Led11", "L3 túláram", "L3 overload"},
    {"Led12", "Fázis sorrend hiba", "Phase order error"},
    {"Led13", "Frekvencia hiba", "Frequency out of range"},
    {"Led14", "Túlzott meddő", "Q out of range"},
    {"Led15", "Modbus kommunikáció hiba", "Modbus communication error"},
    {"Led16", "Analóg kimenet hiba", "Analog output error"},
    {"Led17", "Lekötött teljesítmény túllépés", "Power beyond demand"},
    {"Led18", "Váratlan szinkronjel", "Unexpected synchron signal"},
    {"Led19", "Szinkronjel kimaradás", "Missed synchron signal"},
    {"AbLED1", "Kalibráció hiba", "Kalibration error"},
    {"AbLED21", "Inicializálás hiba", "Initialisation error"},
    {"AbLED22", "Adatmentés hiba", "Data saving error"},

    // Measurement page
    {"GroupBox5", "Verzió, gyári szám", "Version, Serialnum."},
    {"Programversion", "Program verzió", "Program version"},
    {"Programdate", "Program dátum", "Program date"},
    {"Gyartasiszam", "Gyári szám", "Serial number"},
    {"Gyartaseve", "Gyártás éve", "Year of manuf."},
    {"Gyartashonapja", "Gyártás hónapja", "Month of manuf."},
    {"GroupBox6", "Mért értékek", "Measured values"},
    {"GroupBox7", "Lekötött teljesítmény", "Power"},
    {"EPenabled", "Lekötött", "Demand"},
    {"EPprevious", "Előző", "Previous"},
    {"EPestimated", "Becsült", "Expected"},
    {"EPcurrent", "Eddigi", "Current"},
    {"EPtimeelapsed", "Eltelt idő", "Elapsed time"},
    {"GroupBox8", "Ki/bemenetek", "In/outputs"},
    {"Label99", "1.kimenet", "1.output"},
    {"Label100", "2.kimenet", "2.output"},
    {"Label101", "1.bemenet", "1.input"},
    {"Label102", "2.bemenet", "2.input"},
    {"Label103", "3.bemenet", "3.input"},
    {"Testout1", "Teszt", "Test"},
    {"Testout2", "Teszt", "Test"},
    {"Passwbutton", "Beállítások", "Settings"},

    // Configuration page
    {"GroupBox13", " Konfiguráció ", " Configuration "},
    {"GroupBox14", " Felhasználói jelszó ", " User password "},
    {"Button2", "Beolvasás", "Read"},
    {"Button1", "Mentés", "Save"},
    {"ClearEnergybutton", "Energiák törlése", "Clear Energie"},
    {"ButtonKilepes", "Kilépés", "Exit"},
    {"GroupBox3", " Harmonikus mérés ", " Measured harmonics "},

    // Configuration page: the pages of the editor
    {"TabSheet1", "Mérési beállítások", "Measure settings"},
    {"TabSheet2", "Modul1", "Modul1"},
    {"TabSheet3", "Modul2", "Modul2"},
    {"TabSheet6", "Hiba LED", "Error LED"},
    {"TabSheet4", "Lekötött teljesítmény", "Demand power"},
    {"TabSheet5", "Harmonikusok", "Harmonics"},

    // Configuration page: measuring
    {"GroupBox1", " Mérési beállítások ", " Measure settings "},
    {"Label11", "L1 U áttétel", "L1 U transform"},
    {"Label12", "L1 I áttétel", "L1 I transform"},
    {"Label13", "L2 U áttétel", "L2 U transform"},
    {"Label14", "L2 I áttétel", "L2 I transform"},
    {"Label15", "L3 U áttétel", "L3 U transform"},
    {"Label16", "L3 I áttétel", "L3 I transform"},
    {"Label4", "L1 I fázistolás", "L1 I phase shift"},
    {"Label9", "L2 I fázistolás", "L2 I phase shift"},
    {"Label10", "L3 I fázistolás", "L3 I phase shift"},
    {"Label17", "Mintavételi idő [ms]", "Sample time [ms]"},
    {"Label18", "Mérési elrendezés", "Measure layout"},

    // Configuration page: the digital outputs (the second output copies the first one's labels)
    {"D1panel", "1.Digitális kimenet", "1.Digital output"},
    {"D2panel", "2.Digitális kimenet", "2.Digital output"},
    {"Label3", "Funkció", "Function"},
    {"D1polaritylabel", "Polaritás", "Polarity"},
    {"Label6", "Távadott érték", "Measured value"},
    {"Label45", "Imp. egyenérték [Wh/VArh]", "Pulse equivalent [Wh/VArh]"},
    {"Label46", "Imp. szélesség [ms]", "Pulse width [ms]"},
    {"Label47", "Imp. szünet [ms]", "Pulse pause [ms]"},
    {"Label7", "Figyelt érték", "Measured value"},
    {"Label8", "Üzemmód", "Mode"},
    {"Label48", "Felső határérték", "Upper limit"},
    {"Label49", "Alsó határérték", "Lower limit"},
    {"Label50", "Hiszterézis", "Hysteresis"},

    // Configuration page: error LED mask
    {"GroupBox11", "Hiba LED maszk", "Error LED mask"},
    {"D1F4panel", "Hibajelzések", "Select errors"},

    // Configuration page: analog outputs (copied like the digital ones) and Modbus
    {"A1panel", "Analóg kimenet 1", "Analog output 1"},
    {"A2panel", "Analóg kimenet 2", "Analog output 2"},
    {"Label53", "Kiválasztás:", "Select:"},
    {"Label56", "Tartomány -tól:", "Range from:"},
    {"Label57", "Tartomány -ig:", "Range to:"},
    {"Label54", "Típus:", "Type:"},
    {"Label55", "Mód:", "Mode:"},
    {"Label60", "Hibajel [mA]", "Error value [mA]"},
    {"Antestlabel", "Analóg kimenet teszt érték:", "Analog output test value:"},
    {"Antestbutton", "Analóg teszt", "Analog test"},
    {"Label64", "Modbus cím:", "Modbus address:"},
    {"Label62", "Paritás:", "Parity:"},
    {"Label63", "Stop bitek:", "Stop bits:"},

    // Configuration page: demand
    {"GroupBox4", "Lekötött teljesítmény", "Demand"},
    {"Label68", "Szinkronjel:", "Synchron signal:"},
    {"Synchronpolaritylabel", "Polaritás:", "Polarity:"},
    {"Label81", "Tarifajel:", "Tarif signal:"},
    {"Tarifpolaritylabel", "Polaritás:", "Polarity:"},
    {"Label82", "Mintavételi idő [s]", "Sample interval [s]"},
    {"Label83", "1. Tarifa:", "1. Tarif:"},
    {"Label84", "2. Tarifa:", "2. Tarif:"},
    {"Label85", "3. Tarifa:", "3. Tarif:"},
    {"Label86", "4. Tarifa:", "4. Tarif:"},

    // Factory page: calibration constants; the measuring page's current threshold
    {"GroupBox15", "AD érték", "AD érték"},
    {"GroupBox16", "Fázis korrekció", "Phase correction"},
    {"GroupBox17", "Névleges rms érték", "Nominal rms value"},
    {"Label94", "Áram küszöbérték [%]", "Current threshold [%]"},
    {"Label37", "U küszöbérték", "U threshold"},
};

using L = const char* const[];

constexpr L kModul1Hu{"Nincs", "2 kimenet", "2 kimenet 3 bemenet"};
constexpr L kModul1En{"No modul", "2 outputs", "2 outputs 3 inputs"};
constexpr L kModul2Hu{"Nincs", "2 analóg kimenet", "RS485 Modbus"};
constexpr L kModul2En{"No modul", "2 analog outputs", "RS485 Modbus"};
constexpr L kElrendezesHu{"3fázis 3/4vezeték 3mérő",     "3fázis 3vezeték 2mérő", "3fázis 3vezeték 1mérő",
                          "3fázis 3vezeték 3mérő delta", "3fázis 4vezeték 1mérő", "1fázis 2vezeték 1mérő"};
constexpr L kElrendezesEn{"3phase 3/4wire 3meas",     "3phase 3wire 2meas", "3phase 3wire 1meas",
                          "3phase 3wire 3meas delta", "3phase 4wire 1meas", "1phase 2wire 1meas"};
constexpr L kFunctionHu{"Nincs",      "Fogyasztás impulzus", "Fogyasztás előjel",  "Határérték jelzés",
                        "Hibajelzés", "Fogyasztás 1.korlát", "Fogyasztás 2.korlát"};
constexpr L kFunctionEn{"No function",  "Power pulse",    "Power sign",    "Limit signal",
                        "Error signal", "Demand 1.limit", "Demand 2.limit"};
constexpr L kParityHu{"Nincs paritás", "Páratlan paritás", "Páros paritás", "Mindig 1", "Mindig 0"};
constexpr L kParityEn{"No parity", "Odd parity", "Even parity", "Always 1", "Always 0"};
constexpr L kAnModeHu{"Behatárolt", "Nem behatárolt", "Hibajelzés"};
constexpr L kAnModeEn{"Limited", "Unlimited", "Error signal"};
constexpr L kLimitTypeHu{"Alsó határérték alatt", "Felső határérték felett", "Határértékeken belül",
                         "Határértékeken kívül"};
constexpr L kLimitTypeEn{"Under lower limit", "Above higher limit", "Between limits", "Out of limits"};
constexpr L kEpLimitingHu{"Nincs korlátozás", "Van korlátozás"};
constexpr L kEpLimitingEn{"Demand disabled", "Demand enabled"};
constexpr L kSynchronSourceHu{"Külső szinkronjel", "Belső szinkronjel"};
constexpr L kSynchronSourceEn{"External synchron signal", "Internal synchron signal"};
// The second item differs from the start list ("Belső 1.tarifa").
constexpr L kTarifSourceHu{"Külső tarifa bemenet", "Belső tarifa 1."};
constexpr L kTarifSourceEn{"External tarif inputs", "Internal tarif 1."};

constexpr LanguageItems kLists[] = {
    {"Modul1box", kModul1Hu, kModul1En},
    {"Modul2box", kModul2Hu, kModul2En},
    {"Elrendezesbox", kElrendezesHu, kElrendezesEn},
    {"D1functionbox", kFunctionHu, kFunctionEn},
    {"MB1Paritybox", kParityHu, kParityEn},
    {"A1Modebox", kAnModeHu, kAnModeEn},
    {"D1limittypebox", kLimitTypeHu, kLimitTypeEn},
    {"EPlimiting", kEpLimitingHu, kEpLimitingEn},
    {"Synchronsource", kSynchronSourceHu, kSynchronSourceEn},
    {"Tarifsource", kTarifSourceHu, kTarifSourceEn},
};

constexpr LanguageCopy kListCopies[] = {
    {"D1functionbox", "D2functionbox"},
    {"A1Modebox", "A2Modebox"},
    {"D1limittypebox", "D2Limittypebox"},
};

constexpr LanguageCopy kLabelCopies[] = {
    {"Label3", "Label67"},  {"D1polaritylabel", "D2Polaritylabel"},
    {"Label6", "Label78"},  {"Label6", "Label5"},
    {"Label6", "Label74"},  {"Label45", "Label75"},
    {"Label46", "Label76"}, {"Label47", "Label77"},
    {"Label7", "Label69"},  {"Label8", "Label70"},
    {"Label48", "Label71"}, {"Label49", "Label72"},
    {"Label50", "Label73"}, {"D1F4panel", "D2F4Panel"},
    {"Label53", "Label79"}, {"Label56", "Label88"},
    {"Label57", "Label89"}, {"Label54", "Label80"},
    {"Label55", "Label87"}, {"Label60", "Label92"},
};

constexpr L kEmptiedFirst{"D1limittypebox", "D2Limittypebox", "EPlimiting", "Synchronsource", "Tarifsource"};

constexpr L kRemembered{"Modul1box",    "Modul2box",      "Elrendezesbox", "D1functionbox",  "D2functionbox",
                        "MB1Paritybox", "A1Modebox",      "A2Modebox",     "D1limittypebox", "D2Limittypebox",
                        "EPlimiting",   "Synchronsource", "Tarifsource"};

// The static-error group, the error selections of digital outputs 1 and 2, the error-LED mask.
constexpr L kLampTargets{"StatLeds", "D1H0", "D2H0", "LedMask0"};

QStringList toList(std::span<const char* const> items)
{
    QStringList list;
    list.reserve(qsizetype(items.size()));
    for (const char* s : items)
        list.append(QString::fromUtf8(s));
    return list;
}

} // namespace

QString LanguageText::text(Language language) const
{
    return QString::fromUtf8(language == Language::Hungarian ? hungarian : english);
}

QStringList LanguageItems::items(Language language) const
{
    return toList(language == Language::Hungarian ? hungarian : english);
}

std::span<const LanguageText> languageTexts()
{
    return kTexts;
}

std::span<const LanguageItems> languageItemLists()
{
    return kLists;
}

std::span<const LanguageCopy> languageListCopies()
{
    return kListCopies;
}

std::span<const LanguageCopy> languageLabelCopies()
{
    return kLabelCopies;
}

std::span<const char* const> languageListsEmptiedFirst()
{
    return kEmptiedFirst;
}

std::span<const char* const> languageRememberedSelections()
{
    return kRemembered;
}

std::span<const char* const> languageLampTargets()
{
    return kLampTargets;
}

} // namespace kvam
