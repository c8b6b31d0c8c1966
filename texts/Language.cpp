#include "texts/Language.h"

#include "texts/UiItems.h"

namespace kvam {

namespace {

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

constexpr L kTrendWindowHu{"1 perc", "5 perc", "15 perc", "1 óra", "6 óra", "24 óra"};
constexpr L kTrendWindowEn{"1 minute", "5 minutes", "15 minutes", "1 hour", "6 hours", "24 hours"};

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
    {"TrendWindow", kTrendWindowHu, kTrendWindowEn},
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
                        "EPlimiting",   "Synchronsource", "Tarifsource",   "TrendWindow"};

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

QStringList LanguageItems::items(Language language) const
{
    return toList(language == Language::Hungarian ? hungarian : english);
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

QString shownText(const char* key, std::optional<Language> language)
{
    if (!key)
        return QString();
    if (language)
        for (const LanguageCopy& copy : kLabelCopies)
            if (qstrcmp(copy.target, key) == 0)
                return shownText(copy.source, language);
    for (const UiText& t : uiTexts())
        if (qstrcmp(t.control, key) == 0)
            return language ? t.text(*language) : t.startText();
    return QString();
}

QStringList shownItems(const char* box, std::optional<Language> language)
{
    if (language) {
        for (const LanguageItems& l : kLists)
            if (qstrcmp(l.control, box) == 0)
                return l.items(*language);
        for (const LanguageCopy& copy : kListCopies)
            if (qstrcmp(copy.target, box) == 0)
                return shownItems(copy.source, language);
    }
    return uiItems(box);
}

QStringList errorFlagNames(quint32 bits)
{
    QStringList names;
    for (int bit = 0; bit < kErrorFlagBits; ++bit)
        if (bits & (quint32{1} << bit))
            names << currentText(errorFlagKey(bit));
    return names;
}

QString itemTextOf(const char* box, int code)
{
    for (const LanguageItems& l : languageItemLists())
        if (qstrcmp(l.control, box) == 0) {
            const QStringList items = l.items(currentLanguage());
            return code >= 0 && code < items.size() ? items[code] : QStringLiteral("code %1").arg(code);
        }
    return QString::number(code);
}

} // namespace kvam
