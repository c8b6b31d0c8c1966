#include "texts/UiTexts.h"

#include <QHash>

#include <optional>

namespace kvam {

namespace {

// A text shown later than start-up, under a key of its own; `english` null: no language switches it.
constexpr UiText message(const char* key, const char* start, const char* english = nullptr)
{
    return {key, start, english, nullptr, TextKind::Message};
}

// A row is {key, start text} for a text no language switches, {key, start text, English} for one
// the switch sets whose Hungarian column is the start text, and {key, start text, English,
// Hungarian} where the start text differs from the Hungarian column (surrounding blanks of group
// titles, shortened or lengthened words, colons). Blanks inside the quotes are part of the texts.
// The main window's title is replaced whole, so the start-up version text does not survive a
// switch. Some English texts are the Hungarian ones on purpose (GroupBox15, the Phasor, Trend and
// Modul tabs).
constexpr UiText kTexts[] = {
    // Main window
    {"Form1", " KVAM2100 beállító program                  VELMAR", "KVAM2100 settings              VELMAR",
     "KVAM2100 beállítás              VELMAR"},
    {"TxLed", "TX"},
    {"RxLed", "RX"},
    {"TabSheet_Calib", "Kalibrálás", "Calibration"},
    {"TabSheet_FactorySettings", "Gyári beállítások", "Factory settings"},
    {"TabSheet_Config", "Konfiguráció", "Configuration"},
    {"TabSheet_Meres", "Mért értékek", "Measuring"},
    {"TabSheet_Harmonics", "Harmonikusok", "Harmonics"},
    {"TabSheet_Phasor", "Phasor", "Phasor"},
    {"TabSheet_Trend", "Trend", "Trend"},
    {"TabSheet_Errors", "Hibajelzések", "Errors"},
    {"TabSheet_Comm", "Kommunikáció", "Communication"},

    // Measurement page: the measured values
    {"GroupBox6", " Mért értékek ", "Measured values", "Mért értékek"},
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
    {"GroupBox5", " Verzió, gyári szám ", "Version, Serialnum.", "Verzió, gyári szám"},
    {"Programversion", "Program verzió", "Program version"},
    {"Programdate", "Program dátum", "Program date"},
    {"Gyartasiszam", "Gyári szám", "Serial number"},
    {"Gyartaseve", "Gyártás éve", "Year of manuf."},
    {"Gyartashonapja", "Gyártás hónapja", "Month of manuf."},
    {"GroupBox7", " Lekötött teljesítmény ", "Power", "Lekötött teljesítmény"},
    {"EPenabled", "Lekötött", "Demand"},
    {"EPprevious", "Előző", "Previous"},
    {"EPestimated", "Becsült", "Expected"},
    {"EPcurrent", "Eddigi", "Current"},
    {"EPtimeelapsed", "Eltelt idő", "Elapsed time"},
    {"GroupBox8", " Ki/bemenetek", "In/outputs", "Ki/bemenetek"},
    {"Label99", "1.kimenet", "1.output"},
    {"Label100", "2.kimenet", "2.output"},
    {"Label101", "1.bemenet", "1.input"},
    {"Label102", "2.bemenet", "2.input"},
    {"Label103", "3.bemenet", "3.input"},
    {"Testout1", "Teszt", "Test"},
    {"Testout2", "Teszt", "Test"},
    {"Passwbutton", "Beállítások", "Settings"},
    {"ReportButton", "Jelentés…", "Report…"},

    // Harmonics page
    {"ShowL1UHarm", "L1 U"},
    {"ShowL1IHarm", "L1 I"},
    {"ShowL2UHarm", "L2 U"},
    {"ShowL2IHarm", "L2 I"},
    {"ShowL3UHarm", "L3 U"},
    {"ShowL3IHarm", "L3 I"},

    // Phasor page; the words drawn into the diagram are the same in either language
    {"StaticText1", "Zoom U"},
    {"StaticText2", "Zoom I"},
    {"DeviceDispVoltage", "Feszültség", "Voltage"},
    {"DeviceDispCurrent", "Áram", "Current"},
    {"DeviceDispProvider", "Termelő", "Provider"},
    message("Phasor.PositiveOrder", "pozitív"),
    message("Phasor.NegativeOrder", "negatív"),
    message("Phasor.Unbalance", "Aszimmetria = %1%"),
    message("Phasor.Unbalance2", "Aszimmetria2 = %1%"),
    // Phasor page: the wiring hints
    {"WiringBox", "Bekötés", "Wiring"},
    message("WiringHint.None", "Nincs figyelmeztetés", "No hint"),
    message("WiringHint.MissingVoltage", "L%1: nincs feszültség (%2 V)", "L%1: voltage missing (%2 V)"),
    message("WiringHint.ReversedPhaseOrder", "Fordított fázissorrend (L1-L3-L2)",
            "Reversed phase order (L1-L3-L2)"),
    message("WiringHint.ReversedCt",
            "L%1: negatív hatásos teljesítmény (%2 kW): fordítva bekötött áramváltó?",
            "L%1: negative active power (%2 kW): current transformer reversed?"),
    message("WiringHint.CtOnOtherPhase", "L%1: teljesítménytényező %2: az áramváltó másik fázison?",
            "L%1: power factor %2: current transformer on another phase?"),

    // Trend page: the curves' names are the log's column names, the same in either language
    {"TrendQuantities", "Görbék (max. 6)", "Curves (max. 6)"},
    {"TrendWindow", "Időablak", "Time window"},
    {"TrendPause", "Megállítás", "Pause"},
    {"TrendZoomBack", "Nagyítás vissza", "Zoom back"},
    {"TrendOpenLog", "Naplófájl megnyitása…", "Open log file…"},
    {"TrendShowLive", "Élő adatok", "Live data"},
    message("Trend.Live", "Élő adatok: %1 rekord", "Live data: %1 records"),
    message("Trend.Paused", "Megállítva, a rögzítés folytatódik: %1 rekord",
            "Paused, still recording: %1 records"),
    message("Trend.File", "%1: %2 rekord", "%1: %2 records"),
    message("Trend.Skipped", ", %1 olvashatatlan sor kihagyva (az első a(z) %2. sor)",
            ", %1 unreadable lines left out (the first is line %2)"),
    message("Trend.Dropped", ", a legrégebbi %1 rekord nem fért el", ", the oldest %1 records did not fit"),
    message("Trend.NotALog", "A(z) %1 nem a program naplófájlja.", "%1 is not a log file of this program."),
    message("Trend.CannotOpen", "A(z) %1 nem nyitható meg:\n%2", "%1 cannot be opened:\n%2"),
    message("Trend.OpenDialog", "Naplófájl megnyitása", "Open log file"),
    message("Trend.OpenFilter", "Naplófájlok (*.txt *.csv);;Minden fájl (*)",
            "Log files (*.txt *.csv);;All files (*)"),
    message("Trend.CursorHint", "Vigye az egeret a grafikon fölé: a kurzor minden görbe értékét kiírja.",
            "Move the mouse over the chart: the cursor reads out every curve."),
    message("Trend.NoData", "nincs adat", "no data"),

    // Error page: the lamps of one bit share its meaning in both groups
    {"GroupBox10", " Dinamikus hibák "},
    {"GroupBox9", " Statikus hibák "},
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
    {"Led15", "Modbus komm. hiba", "Modbus communication error", "Modbus kommunikáció hiba"},
    {"Led16", "Analóg kimenet hiba", "Analog output error"},
    {"Led17", "Lekötött telj. túllépés", "Power beyond demand", "Lekötött teljesítmény túllépés"},
    {"Led18", "Váratlan szinkronjel", "Unexpected synchron signal"},
    {"Led19", "Szinkronjel kimaradás", "Missed synchron signal"},
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
    {"AbLED1", "Kalibráció hiba", "Kalibration error"},
    {"AbLED21", "Inicializálás hiba", "Initialisation error"},
    {"AbLED22", "Adatmentés hiba", "Data saving error"},
    {"ErrorLed", "HIBA LED", "ERROR LED"},
    {"ClearErrorsbutton", "Hibák törlése", "Clear errors"},

    // Password and section dialogs
    {"PasswordForm", "Jelszó", "Password"},
    {"PasswordForm.Passwokbutton", "OK"},
    {"SectionForm", "Beállítás kiválasztása", "Select setting"},
    {"SectionForm.Button1", "OK"},
    {"SectionForm.Button2", "Mégsem", "CANCEL", "MÉGSEM"},

    // Communication page: no language switches its texts
    {"Portsbox", "Port:"},
    message("Portsbox.Select", "SELECT COM PORT"),
    {"Viewcomm", "View comm"},
    {"FastRefresh", "Gyors frissítés", "Fast refresh"},
    {"Commandbox", " Parancsok "},
    {"Scan", "SCAN"},
    {"Sendbutton", "Send"},
    {"Logbutton", "Log to file:"},
    message("Logbutton.Stop", "Stop log"),
    message("LogFileDialog", " Select log file"),
    message("LogFileDialog.Filter", "Text files (*.txt)"),
    // Communication page: the line statistics, in both languages
    {"LineStatsBox", "Vonalstatisztika", "Line statistics"},
    {"LineStatsRequests", "Elküldött kérések", "Requests sent"},
    {"LineStatsAnswers", "Jó válaszok", "Good answers"},
    {"LineStatsTimeouts", "Időtúllépések", "Time-outs"},
    {"LineStatsCrcErrors", "CRC-hibák", "CRC errors"},
    {"LineStatsTooShort", "Túl rövid válaszok", "Answers too short"},
    {"LineStatsLate", "Kérés nélküli keretek", "Frames not awaited"},
    {"LineStatsStray", "Eldobott bájtok", "Stray bytes dropped"},
    {"LineStatsTimeout", "Válaszidő-korlát [ms]", "Answer time-out [ms]"},
    {"LineStatsRoundTrip", "Hálózati körbejárás [ms]", "Network round trip [ms]"},
    {"LineStatsTimes", "Válaszidő parancsonként [ms]", "Answer time per command [ms]"},
    {"LineStatsReset", "Nullázás", "Reset"},
    message("LineStats.Command", "Parancs", "Command"),
    message("LineStats.Count", "db", "n"),
    message("LineStats.Least", "min", "min"),
    message("LineStats.Median", "medián", "median"),
    message("LineStats.Most", "max", "max"),

    // The record file's dialogs
    message("SaveRecordDialog", " Save user config"),
    message("OpenRecordDialog", " Open user config"),
    message("RecordDialog.Filter", "Config files (*.user)"),

    // Message boxes. The titles of the file errors stay as they are in either language.
    message("Message.SaveError", "Save error"),
    message("Message.OpenError", "Open error"),
    message("Message.NothingToSave",
            "Még nincs menthető konfiguráció: előbb olvassa be a készülékből, vagy töltse be.",
            "There is no configuration to save yet: read it from the meter or load it first."),
    message("Message.NoSections", "%1 nem tartalmaz beállítási szakaszt.", "%1 holds no settings section."),
    message("Message.LogWriteFailed", "A(z) %1 naplófájl nem írható:\n%2\nA naplózás folytatódik.",
            "The log file %1 cannot be written:\n%2\nLogging goes on."),
    message("Message.WriteNeedsRecords",
            "Előbb olvassa be a konfigurációt a készülékből, vagy töltse be fájlból.",
            "Read the configuration from the meter or load it from a file first."),
    message("Message.CalibNeedsRam3",
            "Előbb olvassa be a kalibrációs adatokat a készülékből, vagy töltse be őket.",
            "Read the calibration record from the meter or load it first."),
    message("Message.ClearEnergyNeedsRam1", "Előbb olvassa be az energiaszámlálókat a készülékből.",
            "Read the energy counters from the meter first."),
    message("Message.PortOpenFailed", "A(z) %1 port nem nyitható meg:\n%2",
            "The port %1 cannot be opened:\n%2"),
    message("Message.NoSuchPort", "Nincs %1 nevű port.", "No port named %1."),
    // Network ports: %1 the address as given (or in its canonical form).
    message("Network.BadAddress",
            "%1: nem hálózati cím; a helyes alak tcp://GÉP:PORT vagy rfc2217://GÉP:PORT (IPv6-cím szögletes "
            "zárójelben)",
            "%1: not a network address; write tcp://HOST:PORT or rfc2217://HOST:PORT (an IPv6 address in "
            "brackets)"),
    message("Network.BadPortNumber", "%1: a portszám 1 és 65535 közötti egész szám lehet",
            "%1: the port number must be a whole number from 1 to 65535"),
    // %1 seconds
    message("Network.ConnectTimeout", "%1 s alatt nem jött létre kapcsolat", "no connection within %1 s"),
    // %1 the same server as a raw TCP address
    message(
        "Network.Refused2217",
        "a kiszolgáló nem fogadja el a COM Port Control opciót (RFC 2217); ha a vonal bájtjait változatlanul "
        "továbbítja, használja a %1 címet",
        "the server refuses the COM Port Control Option (RFC 2217); if it passes the line's bytes as they "
        "are, use %1"),
    // %1 seconds, %2 the same server as a raw TCP address
    message(
        "Network.No2217Answer",
        "a kiszolgáló %1 s alatt nem válaszolt a COM Port Control opcióra (RFC 2217); ha a vonal bájtjait "
        "változatlanul továbbítja, használja a %2 címet",
        "the server did not answer the COM Port Control Option (RFC 2217) within %1 s; if it passes the "
        "line's bytes as they are, use %2"),
    // %2 what the server answered ("19200 baud, 8 data bits, parity none, 1 stop bit(s)")
    message("Network.ServerSettings", "%1: a kiszolgáló vonalbeállítása: %2",
            "%1: the server set the line to %2"),
    message("Network.SettingsDiffer", "%1: a kiszolgáló NEM a kért 19200 baud 8N1 beállítást adta: %2",
            "%1: the server did NOT set the 19200 baud 8N1 asked for: %2"),
    message("Network.NoSettingsAnswer", "%1: a kiszolgáló nem erősítette meg minden vonalbeállítását: %2",
            "%1: the server did not confirm all line settings: %2"),
    // %1 the reason, %2 seconds until the next try
    message("Network.LostWhy", "%1; újracsatlakozás %2 s múlva", "%1; reconnecting in %2 s"),
    message("Network.RetryFailed", "%1: újracsatlakozás sikertelen: %2; következő kísérlet %3 s múlva",
            "%1: reconnecting failed: %2; next try in %3 s"),
    // %2 the round trip, %3 the answer time-out, in milliseconds
    // %2 the same server as an RFC 2217 address
    message("Network.TelnetOnRaw",
            "%1: a kiszolgáló Telnet-egyeztetéssel köszön; ha RFC 2217-et beszél, használja a %2 címet",
            "%1: the server greets with Telnet negotiation; if it speaks RFC 2217, use %2"),
    message("Network.Connected", "%1: kapcsolat létrejött (körbejárás %2 ms, válaszidő-korlát %3 ms)",
            "%1: connected (round trip %2 ms, answer time-out %3 ms)"),
    message("Network.Lost", "%1: a kapcsolat megszakadt: %2", "%1: connection lost: %2"),
    message("Network.OpenFailed", "%1: nem jött létre kapcsolat: %2", "%1: cannot connect: %2"),
    message("Link.Connecting", "kapcsolódás…", "connecting…"),
    message("Link.Reconnecting", "újracsatlakozás…", "reconnecting…"),
    message("Portsbox.Network", "Hálózati cím…", "Network address…"),
    message("Network.AskTitle", "Hálózati port", "Network port"),
    message("Network.AskLabel", "Cím (tcp://GÉP:PORT vagy rfc2217://GÉP:PORT):",
            "Address (tcp://HOST:PORT or rfc2217://HOST:PORT):"),
    // %1 the meter's version text, %2 the one major version this program works with.
    message("Message.UnsupportedVersion",
            "A készülék verziója %1\r\nEz a program csak a v%2.x.x verziójú KVAM2100 készülékek beállítására "
            "alkalmas!",
            "The meter's version is %1\r\nThis program works only with KVAM2100 meters of version v%2.x.x!"),
    // Safe writes: %1 the meter the record belongs to, %2 the record, %3 the meter that answered
    // (or the fields that differ, one per line).
    // A write's outcome, in the monitor, the messages and the command line: %1 the record, %2 the
    // meter it belongs to, %3 the meter that answered instead, the differing fields (Write.DiffersRow
    // each, joined by "; ") or the system's reason.
    message("Write.Verified", "%2 gyári számú készülék: a(z) %1 rekord beírva és ellenőrizve",
            "Meter %2: %1 written and verified"),
    message("Write.Differs", "%2 gyári számú készülék: a(z) %1 rekord beírva, de a készülék mást tárol: %3",
            "Meter %2: %1 written, but the meter holds otherwise: %3"),
    message("Write.DiffersRow", "%1 beírva %2, kiolvasva %3", "%1 written %2, read %3"),
    message("Write.NotAcknowledged",
            "%2 gyári számú készülék: a(z) %1 rekord beírását a készülék nem nyugtázta, nem tudni, mit tárol",
            "Meter %2: %1 not acknowledged: what the meter holds is unknown"),
    message("Write.OtherMeter",
            "%2 gyári számú készülék: a(z) %1 rekord nem került beírásra: a vonalon a(z) %3 gyári számú "
            "készülék válaszolt",
            "Meter %2: %1 not written: meter %3 answered on the line"),
    message("Write.NoBackup",
            "%2 gyári számú készülék: a(z) %1 rekord nem került beírásra, mert a biztonsági mentése nem "
            "készíthető el: %3",
            "Meter %2: %1 not written: no backup (%3)"),
    message("Write.LoadReplaced", "A(z) %1 rekord nem került beírásra: a betöltés felülírta",
            "%1 not written: the load replaced it"),
    // %1 the meter the factory data belong to, %2 the meter on the line.
    message("Write.FactoryKept",
            "A(z) %1 gyári számú készülék gyári adatai és kalibrációja (RAM3) nem kerültek beírásra a(z) %2 "
            "gyári számú készülékbe: nem kérték",
            "RAM3 of meter %1 not written into meter %2: not asked for"),
    message("Write.FactoryKeptAdvice",
            "Olvassa be a készülék saját adatait, vagy kérje kifejezetten a beírásukat.",
            "Read the meter's own records, or ask for them to be written explicitly."),
    // %1 the meter, %2 the system's reason.
    message("Write.JournalFailed", "A(z) %1 gyári számú készülék írási naplója nem írható: %2",
            "The write journal of meter %1 cannot be written: %2"),
    // The commissioning report: its file choice, its messages (%1 the file, %2 the system's reason;
    // of Report.Missing the records not read yet) and the headings and labels of the report itself.
    message("ReportDialog", "Jelentés mentése", "Save report"),
    message("ReportDialog.Filter", "PDF (*.pdf);;HTML (*.html *.htm)"),
    message("Report.Missing",
            "A jelentéshez még hiányzik a készülékből: %1.\nA program lekérdezi őket; próbálja újra néhány "
            "másodperc múlva.",
            "The report still needs from the meter: %1.\nThey are being read; try again in a few seconds."),
    message("Report.WriteFailed", "A(z) %1 jelentés nem írható:\n%2", "The report %1 cannot be written:\n%2"),
    message("Report.UnknownType", "a fájl kiterjesztése .pdf vagy .html legyen",
            "the file's extension must be .pdf or .html"),
    message("Report.Title", "KVAM2100 üzembe helyezési jelentés", "KVAM2100 commissioning report"),
    message("Report.About", "A jelentés", "The report"),
    message("Report.Date", "Dátum", "Date"),
    message("Report.ToolVersion", "Program verzió", "Tool version"),
    message("Report.User", "Felhasználó", "User"),
    message("Report.Port", "Port", "Port"),
    message("Report.Identity", "A készülék", "The meter"),
    message("Report.Modules", "Modulok", "Modules"),
    message("Report.Configuration", "Konfiguráció és gyári beállítások",
            "Configuration and factory settings"),
    message("Report.NoEditor", "Nem szerkeszthető mezők", "Fields without an editor"),
    message("Report.Caption", "Mező", "Field"),
    message("Report.Name", "Név", "Name"),
    message("Report.Value", "Érték", "Value"),
    message("Report.Unit", "Egység", "Unit"),
    message("Report.Calibration", "Kalibrációs állandók csatornánként", "Calibration constants per channel"),
    message("Report.Channel", "Csatorna", "Channel"),
    message("Report.Measurement", "Mért értékek", "Measured values"),
    message("Report.Pictures", "Fázorábra és harmonikusok", "Phasor diagram and harmonics"),
    message("Report.Errors", "Hibajelzések és be-/kimenetek", "Error flags and I/O"),
    message("Report.DynamicErrors", "Dinamikus hibák", "Dynamic errors"),
    message("Report.StaticErrors", "Statikus hibák", "Static errors"),
    message("Report.ErrorLed", "Hiba LED", "Error LED"),
    message("Report.None", "nincs", "none"),
    message("Report.Lit", "világít", "lit"),
    message("Report.Dark", "nem világít", "dark"),
    message("Report.Inputs", "Bemenetek", "Inputs"),
    message("Report.Outputs", "Kimenetek", "Outputs"),
    message("Report.On", "be", "on"),
    message("Report.Off", "ki", "off"),
    message("Report.Journal", "Az írási napló utolsó bejegyzései", "Last entries of the write journal"),
    message("Report.NoJournal", "Ebbe a készülékbe ez a gép még nem írt.",
            "No write to this meter is journalled here."),
    message("Report.Time", "Időpont", "Time"),
    message("Report.Record", "Rekord", "Record"),
    message("Report.Changes", "Változások", "Changes"),
    message("Report.Outcome", "Eredmény", "Outcome"),
    // The restore dialog (made when it is opened: its texts are taken in the language then shown).
    message("RestoreForm", "Visszaállítás biztonsági mentésből", "Restore from a backup"),
    message("RestoreForm.Meter", "Gyári szám:", "Factory number:"),
    message("RestoreForm.Time", "Időpont", "Time"),
    message("RestoreForm.Records", "Rekordok", "Records"),
    message("RestoreForm.Written", "Írás", "Write"),
    message("RestoreForm.User", "Felhasználó", "User"),
    message("RestoreForm.Changes", "Változások", "Changes"),
    message("RestoreForm.Outcome", "Eredmény", "Outcome"),
    message("RestoreForm.Differs", "Eltérő mezők most", "Fields differing now"),
    message("RestoreForm.State", "Állapot", "State"),
    message("RestoreForm.Field", "Mező", "Field"),
    message("RestoreForm.Now", "A készülékben most", "In the meter now"),
    message("RestoreForm.Backup", "A mentésben", "In the backup"),
    message("RestoreForm.Journal", "Írási napló", "Write journal"),
    message("RestoreForm.Restore", "Visszaállítás", "Restore"),
    message("RestoreForm.Close", "Bezárás", "Close"),
    message("RestoreForm.NoBackups", "Még nincs biztonsági mentés.", "There is no backup yet."),
    // %1 the backup's meter, %2 the meter on the line.
    message("RestoreForm.OtherMeter", "Ezek a(z) %1 készülék mentései; a vonalon a(z) %2 készülék van.",
            "These are backups of meter %1; meter %2 is on the line."),
    message("RestoreForm.Damaged", "sérült: %1", "damaged: %1"),

    // The review of a write (%1 of Review.Meter the meter, %2 the records; of Review.Foreign the meter
    // the records come from, %2 the one on the line) and the marks of fields the meter holds otherwise.
    message("Review.Title", "Írás ellenőrzése", "Review write"),
    message("Review.Meter", "Készülék gyári száma: %1      Beírandó rekordok: %2",
            "Meter's serial number: %1      Records to write: %2"),
    message("Review.UnknownMeter", "ismeretlen", "unknown"),
    message("Review.Foreign",
            "Figyelem: ezek a beállítások a(z) %1 gyári számú készülékéi, de a vonalon a(z) %2 gyári számú "
            "készülék van.",
            "Warning: these settings belong to meter %1, but meter %2 is on the line."),
    message("Review.IncludeFactory", "A gyári adatok és a kalibráció (RAM3) beírása is",
            "Also write the factory data and calibration (RAM3)"),
    message("Review.FactoryLeftOut", "Nem kerül beírásra, csak a gyári adatokkal együtt.",
            "Not written unless the factory data are written too."),
    message("Review.Caption", "Mező", "Field"),
    message("Review.Name", "Név", "Name"),
    message("Review.MeterValue", "Készülékben", "In the meter"),
    message("Review.NewValue", "Új érték", "New value"),
    message("Review.Unit", "Egység", "Unit"),
    message("Review.Bit", "%1. bit", "bit %1"),
    message("Review.NothingChanges", "Nincs változás: semmi sem kerül beírásra.",
            "Nothing changes: nothing is written."),
    message("Review.DontAsk", "Ne kérdezzen újra a program bezárásáig",
            "Do not ask again until I close the program"),
    message("Review.Write", "Írás", "Write"),
    message("Review.Cancel", "Mégse", "Cancel"),
    message("Review.Close", "Bezárás", "Close"),
    message("Review.Written", "Beírva: %1", "Written: %1"),

#include "texts/CalibTexts.inc"
#include "texts/ConfigTexts.inc"
};

// The language chosen last; none until the first switch, while the start texts show.
std::optional<Language> shownLanguage;

const UiText* find(const char* key)
{
    static const QHash<QByteArray, const UiText*> index = [] {
        QHash<QByteArray, const UiText*> h;
        for (const UiText& t : kTexts)
            h.insert(QByteArray(t.control), &t);
        return h;
    }();
    return index.value(QByteArray(key), nullptr);
}

} // namespace

QString UiText::startText() const
{
    return QString::fromUtf8(start);
}

QString UiText::text(Language language) const
{
    if (language == Language::English && english)
        return QString::fromUtf8(english);
    if (language == Language::Hungarian && hungarian)
        return QString::fromUtf8(hungarian);
    return startText();
}

std::span<const UiText> uiTexts()
{
    return kTexts;
}

std::vector<UiText> controlTexts()
{
    std::vector<UiText> rows;
    for (const UiText& t : kTexts)
        if (t.kind == TextKind::Control)
            rows.push_back(t);
    return rows;
}

QString uiText(const char* control)
{
    const UiText* t = find(control);
    return t ? t->startText() : QString();
}

Language currentLanguage()
{
    return shownLanguage.value_or(Language::Hungarian);
}

void setCurrentLanguage(Language language)
{
    shownLanguage = language;
}

QString currentText(const char* key)
{
    const UiText* t = find(key);
    if (!t)
        return QString();
    return shownLanguage ? t->text(*shownLanguage) : t->startText();
}

QString textIn(const char* key, Language language)
{
    const UiText* t = find(key);
    return t ? t->text(language) : QString();
}

} // namespace kvam
