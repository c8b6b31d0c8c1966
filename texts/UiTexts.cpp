#include "texts/UiTexts.h"

#include <QHash>

#include <array>

namespace kvam {

namespace {

// Blanks inside the quotes are part of the texts (group titles have them on both sides).
constexpr UiText kTexts[] = {
    // Main window
    {"Form1", " KVAM2100 beállító program                  VELMAR"},
    {"TxLed", "TX"},
    {"RxLed", "RX"},
    {"TabSheet_Calib", "Kalibrálás"},
    {"TabSheet_FactorySettings", "Gyári beállítások"},
    {"TabSheet_Config", "Konfiguráció"},
    {"TabSheet_Meres", "Mért értékek"},
    {"TabSheet_Harmonics", "Harmonikusok"},
    {"TabSheet_Phasor", "Phasor"},
    {"TabSheet_Errors", "Hibajelzések"},
    {"TabSheet_Comm", "Kommunikáció"},

    // Measurement page: the measured values
    {"GroupBox6", " Mért értékek "},
    {"HeaderL1", "L1"},
    {"HeaderL2", "L2"},
    {"HeaderL3", "L3"},
    {"HeaderSum", "L1+L2+L3"},
    {"L1urms", "Urms [V]"},
    {"L2urms", "Urms"},
    {"L3urms", "Urms"},
    {"L1irms", "Irms [A]"},
    {"L2irms", "Irms"},
    {"L3irms", "Irms"},
    {"L1fi", "Fi [°]"},
    {"L2fi", "Fi"},
    {"L3fi", "Fi"},
    {"L1f", "f [Hz]"},
    {"L2f", "Frekv."},
    {"L3f", "Frekv."},
    {"L1p", "P [kW]"},
    {"L2p", "P"},
    {"L3p", "P"},
    {"Sump", "SUM P"},
    {"L1q", "Q [kVAr]"},
    {"L2q", "Q"},
    {"L3q", "Q"},
    {"Sumq", "SUM Q"},
    {"L1s", "S [kVA]"},
    {"L2s", "S"},
    {"L3s", "S"},
    {"Sums", "SUM S"},
    {"L1pf", "PF"},
    {"L2pf", "PF"},
    {"L3pf", "PF"},
    {"Sumpf", "SUM PF"},
    {"L1uthd", "THD U [%]"},
    {"L2uthd", "THD U"},
    {"L3uthd", "THD U"},
    {"L1ithd", "THD I [%]"},
    {"L2ithd", "THD I"},
    {"L3ithd", "THD I"},
    {"L12urms", "L12 Urms [V]"},
    {"L23urms", "L23 Urms [V]"},
    {"L13urms", "L13 Urms [V]"},
    {"L12fi", "L12 Fi [°]"},
    {"L13fi", "L13 Fi [°]"},
    {"L1EPplus", "EP+ [kWh]"},
    {"L2EPplus", "EP+"},
    {"L3EPplus", "EP+"},
    {"L123EPplus", "EP+"},
    {"L1EPminus", "EP- [kWh]"},
    {"L2EPminus", "EP-"},
    {"L3EPminus", "EP-"},
    {"L123EPminus", "EP-"},
    {"L1EQplus", "EQ+ [kVArh]"},
    {"L2EQplus", "EQ+"},
    {"L3EQplus", "EQ+"},
    {"L123EQplus", "EQ+"},
    {"L1EQminus", "EQ- [kVArh]"},
    {"L2EQminus", "EQ-"},
    {"L3EQminus", "EQ-"},
    {"L123EQminus", "EQ-"},

    // Measurement page: version, demand, inputs and outputs
    {"GroupBox5", " Verzió, gyári szám "},
    {"Programversion", "Program verzió"},
    {"Programdate", "Program dátum"},
    {"Gyartasiszam", "Gyári szám"},
    {"Gyartaseve", "Gyártás éve"},
    {"Gyartashonapja", "Gyártás hónapja"},
    {"GroupBox7", " Lekötött teljesítmény "},
    {"EPenabled", "Lekötött"},
    {"EPprevious", "Előző"},
    {"EPestimated", "Becsült"},
    {"EPcurrent", "Eddigi"},
    {"EPtimeelapsed", "Eltelt idő"},
    {"GroupBox8", " Ki/bemenetek"},
    {"Label99", "1.kimenet"},
    {"Label100", "2.kimenet"},
    {"Label101", "1.bemenet"},
    {"Label102", "2.bemenet"},
    {"Label103", "3.bemenet"},
    {"Testout1", "Teszt"},
    {"Testout2", "Teszt"},
    {"Passwbutton", "Beállítások"},

    // Harmonics page
    {"ShowL1UHarm", "L1 U"},
    {"ShowL1IHarm", "L1 I"},
    {"ShowL2UHarm", "L2 U"},
    {"ShowL2IHarm", "L2 I"},
    {"ShowL3UHarm", "L3 U"},
    {"ShowL3IHarm", "L3 I"},

    // Phasor page
    {"StaticText1", "Zoom U"},
    {"StaticText2", "Zoom I"},
    {"DeviceDispVoltage", "Feszültség"},
    {"DeviceDispCurrent", "Áram"},
    {"DeviceDispProvider", "Termelő"},

    // Error page: the lamps of one bit share its meaning in both groups
    {"GroupBox10", " Dinamikus hibák "},
    {"GroupBox9", " Statikus hibák "},
    {"DinLeds", "L1 letörés"},
    {"Led1", "L2 letörés"},
    {"Led2", "L3 letörés"},
    {"Led3", "L1 kiesés"},
    {"Led4", "L2 kiesés"},
    {"Led5", "L3 kiesés"},
    {"Led6", "L1 emelkedés"},
    {"Led7", "L2 emelkedés"},
    {"Led8", "L3 emelkedés"},
    {"Led9", "L1 túláram"},
    {"Led10", "L2 túláram"},
    {"Led11", "L3 túláram"},
    {"Led12", "Fázis sorrend hiba"},
    {"Led13", "Frekvencia hiba"},
    {"Led14", "Túlzott meddő"},
    {"Led15", "Modbus komm. hiba"},
    {"Led16", "Analóg kimenet hiba"},
    {"Led17", "Lekötött telj. túllépés"},
    {"Led18", "Váratlan szinkronjel"},
    {"Led19", "Szinkronjel kimaradás"},
    {"StatLeds", "L1 letörés"},
    {"LED21", "L2 letörés"},
    {"LED22", "L3 letörés"},
    {"LED23", "L1 kiesés"},
    {"LED24", "L2 kiesés"},
    {"LED25", "L3 kiesés"},
    {"LED26", "L1 emelkedés"},
    {"LED27", "L2 emelkedés"},
    {"LED28", "L3 emelkedés"},
    {"LED29", "L1 túláram"},
    {"LED30", "L2 túláram"},
    {"LED31", "L3 túláram"},
    {"LED32", "Fázis sorrend hiba"},
    {"LED33", "Frekvencia hiba"},
    {"LED34", "Túlzott meddő"},
    {"LED35", "Modbus komm. hiba"},
    {"LED36", "Analóg kimenet hiba"},
    {"LED37", "Lekötött telj. túllépés"},
    {"LED38", "Váratlan szinkronjel"},
    {"LED39", "Szinkronjel kimaradás"},
    {"AbLED1", "Kalibráció hiba"},
    {"AbLED21", "Inicializálás hiba"},
    {"AbLED22", "Adatmentés hiba"},
    {"ErrorLed", "HIBA LED"},
    {"ClearErrorsbutton", "Hibák törlése"},

    // Password and section dialogs
    {"PasswordForm", "Jelszó"},
    {"PasswordForm.Passwokbutton", "OK"},
    {"SectionForm", "Beállítás kiválasztása"},
    {"SectionForm.Button1", "OK"},
    {"SectionForm.Button2", "Mégsem"},

    // Communication page
    {"Portsbox", "Port:"},
    {"Viewcomm", "View comm"},
    {"Commandbox", " Parancsok "},
    {"Scan", "SCAN"},
    {"Sendbutton", "Send"},

#include "texts/CalibTexts.inc"
#include "texts/ConfigTexts.inc"
};

} // namespace

std::span<const UiText> uiTexts()
{
    return kTexts;
}

QString uiText(const char* control)
{
    static const QHash<QByteArray, QString> index = [] {
        QHash<QByteArray, QString> h;
        for (const UiText& t : kTexts)
            h.insert(QByteArray(t.control), QString::fromUtf8(t.start));
        return h;
    }();
    return index.value(QByteArray(control));
}

} // namespace kvam
