#include "config/ConfigFields.h"

#include "records/RecordLayout.h"

#include <cassert>
#include <cstring>

namespace kvam {

namespace {

using C = std::array<const char*, kMaxControls>;

constexpr NumberEditor kRatio{0, 100000, "#0.0000#", 1, 1};
constexpr NumberEditor kPhaseShift{-1.4, 1.4, "#0.00", 0.01, 0};
constexpr NumberEditor kLimit{-100000000, 100000000, "#0.000#", 1, 0};
constexpr NumberEditor kHighLimit{-100000000, 100000000, "#0.000#", 1, 100};
constexpr NumberEditor kHysteresis{0, 999999999, "#0.000#", 1, 1};
constexpr NumberEditor kMilliamps(double initial)
{
    return {0, 30, "#0.000#", 0.1, initial};
}
constexpr NumberEditor kFree(double initial)
{
    return {0, 0, "#0.000#", 1, initial, false};
}

// The settings file writes these rows in this order (the order of its key table); the per-output
// rows form one block written output by output.
constexpr ConfigField kRam2[] = {
    {"DinPolarity", "DinPolarity", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Composed,
     C{"Synchronpolarity", "Tarifpolarity", "EPlimiting", "Tarifsource", "Synchronsource"}},
    {"LedErrorMask", "LedErrorMask", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Mask,
     C{"LedMask0"}},
    {"Energy_sampletime",
     "Energy_sampletime",
     SettingKind::Integer,
     10,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"EPSampletime"},
     {1, 60, "#0", 1, 1}},
    {"MB01Type", "MB01Type", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Choice,
     C{"MB1Typebox"}},
    {"MB01Addr",
     "MB01Addr",
     SettingKind::Integer,
     1,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"MB1Address"},
     {1, 240, "#0", 1, 0}},
    {"MB01Baud", "MB01Baud", SettingKind::Integer, 5, KeyOrder::Single, 1, EditorKind::Choice,
     C{"MB1Baudratebox"}},
    {"MB01Parity", "MB01Parity", SettingKind::Integer, 2, KeyOrder::Single, 1, EditorKind::Choice,
     C{"MB1Paritybox"}},
    {"MB01Stopbits", "MB01Stopbits", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Choice,
     C{"MB1Stopbitbox"}},
    // An 8-bit count of milliseconds: the editor stops at what the byte holds.
    {"MB01Delay",
     "MB01Delay",
     SettingKind::Integer,
     0,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"MB1Delay"},
     {0.001, 0.255, "#0.00#", 0.001, 0}},
    {"MB01Timeout",
     "MB01Timeout",
     SettingKind::Integer,
     100,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"MB1Timeout"},
     {0.01, 600, "#0.00#", 0.01, 0}},
    {"HarmEnabled", "HarmEnabled", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Composed,
     C{"HarmL1U", "HarmL2U", "HarmL3U", "HarmL1I", "HarmL2I", "HarmL3I"}},
    {"Elrendezes", "Elrendezés", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Choice,
     C{"Elrendezesbox"}},
    {"IntegrationLength", "Integrálási hossz", SettingKind::Integer, 2, KeyOrder::Single, 1,
     EditorKind::ChoicePlus1, C{"Sampletimebox"}},
    {"Zajzar",
     "Zajzár",
     SettingKind::Float,
     0.5,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"Zajzar"},
     {0, 1000, "#0", 1, 0}},
    {"Ratio", "Áttétel_", SettingKind::Float, 1, KeyOrder::Run, 6, EditorKind::Number,
     C{"L1uat", "L1Iat", "L2Uat", "L2Iat", "L3Uat", "L3Iat"}, kRatio},
    {"Fazistolas", "Fazistolas_", SettingKind::Float, 0, KeyOrder::PerIndex, 3, EditorKind::Number,
     C{"L1Iphase", "L2Iphase", "L3Iphase"}, kPhaseShift},
    {"DoutFunction", "DoutFunction_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Choice,
     C{"D1functionbox", "D2functionbox"}},
    {"DoutPolarity", "DoutPolarity_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Choice,
     C{"D1polaritybox", "D2polaritybox"}},
    // The assign box of the output's function (F1, F2 or F3) gives the code.
    {"DoutAssign", "DoutAssign_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Composed,
     C{"D1F1Assignbox", "D1F2Assignbox", "D1F3Assignbox", "D2F1Assignbox", "D2F2Assignbox", "D2F3Assignbox"}},
    {"DoutLimitType", "DoutLimitType_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Choice,
     C{"D1limittypebox", "D2Limittypebox"}},
    {"DoutErrormask1", "DoutErrormask1_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Mask,
     C{"D1H0", "D2H0"}},
    {"DoutImpEgyenertek",
     "DoutImpEgyenérték_",
     SettingKind::Integer,
     1,
     KeyOrder::PerIndex,
     4,
     EditorKind::Number,
     C{"D1ImpEgyenertek", "D2ImpEgyenertek"},
     {0, 60000, "#0", 1, 0}},
    {"DoutImpSzelesseg",
     "DoutImpSzélesség_",
     SettingKind::Integer,
     200,
     KeyOrder::PerIndex,
     4,
     EditorKind::Number,
     C{"D1Impszelesseg", "D2Impszelesseg"},
     {0, 2000, "#0", 1, 0}},
    {"DoutImpSzunet",
     "DoutImpSzünet_",
     SettingKind::Integer,
     200,
     KeyOrder::PerIndex,
     4,
     EditorKind::Number,
     C{"D1Impszunet", "D2Impszunet"},
     {0, 2000, "#0", 1, 0}},
    {"DoutLowLimit", "DoutHatárértékAlsó_", SettingKind::Float, 0, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"D1Lowlimit", "D2Lowlimit"}, kLimit},
    {"DoutHighLimit", "DoutHatárértékFelső_", SettingKind::Float, 10, KeyOrder::PerIndex, 4,
     EditorKind::Number, C{"D1Highlimit", "D2Highlimit"}, kHighLimit},
    {"DoutHysteresis", "DoutHatárértékHiszterézis_", SettingKind::Float, 1, KeyOrder::PerIndex, 4,
     EditorKind::Number, C{"D1hist", "D2hist"}, kHysteresis},
    // Thousandths in 32 bits: the editor stops at what the field holds.
    {"MaxEP",
     "MaxEP_",
     SettingKind::Integer,
     0,
     KeyOrder::PerIndex,
     4,
     EditorKind::Number,
     C{"MaxEP0", "MaxEP1", "MaxEP2", "MaxEP3"},
     {0, 4294967.295, "#0.000#", 1, 0}},
    {"AnAssigned", "AnAssigned_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Choice,
     C{"A1Assignedbox", "A2Assignedbox"}},
    {"PWMType", "PWMType_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Choice,
     C{"A1Typebox", "A2Typebox"}},
    {"PWMMode", "PWMMode_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::ChoicePlus1,
     C{"A1Modebox", "A2Modebox"}},
    {"PWMFrommA", "PWMFrommA_", SettingKind::Integer, 0, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"A1minmA", "A2MinmA"}, kMilliamps(4)},
    {"PWMTomA", "PWMTomA_", SettingKind::Integer, 20000, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"A1maxmA", "A2MaxmA"}, kMilliamps(20)},
    {"PWMErrormA", "PWMErrormA_", SettingKind::Integer, 21000, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"A1ErrormA", "A2ErrormA"}, kMilliamps(20.1)},
    {"PWMFrom", "PWMFrom_", SettingKind::Integer, 16000, KeyOrder::PerIndex, 4, EditorKind::None},
    {"PWMTo", "PWMTo_", SettingKind::Integer, 56000, KeyOrder::PerIndex, 4, EditorKind::None},
    {"PWMError", "PWMError_", SettingKind::Integer, 58000, KeyOrder::PerIndex, 4, EditorKind::None},
    {"PWMMin", "PWMMin_", SettingKind::Integer, 10000, KeyOrder::PerIndex, 4, EditorKind::None},
    {"PWMMax", "PWMMax_", SettingKind::Integer, 60000, KeyOrder::PerIndex, 4, EditorKind::None},
    {"PWMScale", "PWMScale_", SettingKind::Float, 1, KeyOrder::PerIndex, 4, EditorKind::None},
    {"AnValueFrom", "AnValueFrom_", SettingKind::Float, 0, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"A1Valuefrom", "A2Valuefrom"}, kFree(0)},
    {"AnValueTo", "AnValueTo_", SettingKind::Float, 100, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"A1Valueto", "A2Valueto"}, kFree(100)},
};

constexpr ConfigField kRam3[] = {
    {"GyartasiEv",
     "GyartasiEv",
     SettingKind::Integer,
     1,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"Factoryyear"},
     {0, 99, "#0", 1, 0}},
    {"GyartasiHo",
     "GyartasiHo",
     SettingKind::Integer,
     1,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"Factorymonth"},
     {1, 12, "#0", 1, 1}},
    {"Gyartasiszam",
     "Gyartasiszam",
     SettingKind::Integer,
     0,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"Factorynum"},
     {0, 999999999, "#0", 1, 0}},
    // Module 1 in bits 0 to 3, module 2 in bits 4 to 7.
    {"Modulconfig", "Modulconfig", SettingKind::Integer, 0, KeyOrder::Single, 1, EditorKind::Composed,
     C{"Modul1box", "Modul2box"}},
    {"Adhist",
     "Adhist",
     SettingKind::Integer,
     150,
     KeyOrder::Single,
     1,
     EditorKind::Number,
     C{"ADhist"},
     {0, 1000, "#0", 1, 0}},
    // The analog output points are edited on the calibration page.
    {"PWMPoint1mA", "PWMPoint1mA_", SettingKind::Integer, 4000, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"Ch1Pwm1", "Ch2Pwm1"}, kMilliamps(4)},
    {"PWMPoint2mA", "PWMPoint2mA_", SettingKind::Integer, 20000, KeyOrder::PerIndex, 4, EditorKind::Number,
     C{"Ch1Pwm2", "Ch2Pwm2"}, kMilliamps(20)},
    {"TimeBaseCorrection", "TimeBaseCorrection_", SettingKind::Float, 1, KeyOrder::PerIndex, 4,
     EditorKind::None},
    {"Offset",
     "Offset_",
     SettingKind::Integer,
     0,
     KeyOrder::PerIndex,
     6,
     EditorKind::Number,
     C{"L1Uoffset", "L1Ioffset", "L2Uoffset", "L2Ioffset", "L3Uoffset", "L3Ioffset"},
     {-200, 200, "#0", 1, 0}},
    {"ADrms", "ADrms_", SettingKind::Integer, 10000, KeyOrder::PerIndex, 6, EditorKind::None},
    {"Calrms",
     "Calrms_",
     SettingKind::Float,
     5,
     KeyOrder::PerIndex,
     6,
     EditorKind::Number,
     C{"L1Ucal", "L1Ical", "L2Ucal", "L2Ical", "L3Ucal", "L3Ical"},
     {0, 1000, "#0.0", 1, 230},
     {0, 10, "#0.000", 0.1, 5},
     true},
    {"Delay",
     "Delay_",
     SettingKind::Float,
     0,
     KeyOrder::PerIndex,
     6,
     EditorKind::Number,
     C{"L1Uphasecorr", "L1Iphasecorr", "L2Uphasecorr", "L2Iphasecorr", "L3Uphasecorr", "L3Iphasecorr"},
     {-2.54, 2.54, "#0.00", 0.01, 0}},
    {"RMSCoeff", "RMSCoeff_", SettingKind::Float, 0.001, KeyOrder::PerIndex, 6, EditorKind::None},
    {"TeljCoeff", "TeljCoeff_", SettingKind::Float, 0, KeyOrder::PerIndex, 3, EditorKind::None},
};

bool within(std::span<const ConfigField> table, const ConfigField* f)
{
    return f >= table.data() && f < table.data() + table.size();
}

} // namespace

std::span<const ConfigField> ram2ConfigFields()
{
    return kRam2;
}

std::span<const ConfigField> ram3ConfigFields()
{
    return kRam3;
}

const FieldInfo& ConfigField::info() const
{
    const RecordLayout* layout = findRecordLayout(within(kRam2, this) ? "RAM2" : "RAM3");
    const FieldInfo* f = layout->field(field);
    assert(f && "every configuration field names a row of its record table");
    return *f;
}

const ConfigField* findConfigField(std::span<const ConfigField> table, const char* field)
{
    for (const ConfigField& f : table)
        if (std::strcmp(f.field, field) == 0)
            return &f;
    return nullptr;
}

} // namespace kvam
