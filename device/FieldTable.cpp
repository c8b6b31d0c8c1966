#include "device/FieldTable.h"

#include "platform/NumberFormat.h"
#include "records/RecordLayout.h"
#include "texts/Language.h"
#include "texts/UiItems.h"

#include <QLocale>
#include <QStringList>

#include <cassert>
#include <cstring>

namespace kvam {

namespace {

using K = FieldKeys;
using P = FieldPage;
using E = EditorKind;
using S = SettingKind;

constexpr NumberEditor kRatio{0, 100000, "#0.0000#", 1, 1};
constexpr NumberEditor kPhaseShift{-1.4, 1.4, "#0.00", 0.01, 0};
constexpr NumberEditor kLimit{-100000000, 100000000, "#0.000#", 1, 0};
constexpr NumberEditor kHighLimit{-100000000, 100000000, "#0.000#", 1, 100};
constexpr NumberEditor kHysteresis{0, 999999999, "#0.000#", 1, 1};
constexpr NumberEditor kInteger(double minimum, double maximum, double initial = 0)
{
    return {minimum, maximum, "#0", 1, initial};
}
constexpr NumberEditor kMilliamps(double initial, double step = 0.1)
{
    return {0, 30, "#0.000#", step, initial};
}
constexpr NumberEditor kFree(double initial)
{
    return {0, 0, "#0.000#", 1, initial, false};
}

// The settings file writes these rows in this order (the order of its key table); the per-output
// rows form one block written output by output. Captions and groups are the keys of the labels
// and group boxes the pages build; the second outputs' labels take the first outputs' captions
// when the language is switched (texts/Language.cpp).
constexpr ConfigField kRam2[] = {
    {.field = "DinPolarity",
     .key = "DinPolarity",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Composed,
     .controls = K{"Synchronpolarity", "Tarifpolarity", "EPlimiting", "Tarifsource", "Synchronsource"},
     .page = P::Demand,
     .captions = K{"GroupBox4"},
     .groups = K{"GroupBox4"}},
    {.field = "LedErrorMask",
     .key = "LedErrorMask",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Mask,
     .controls = K{"LedMask0"},
     .page = P::LedMask,
     .captions = K{"GroupBox11"},
     .groups = K{"GroupBox11"},
     .lamps = kErrorMaskBits},
    {.field = "Energy_sampletime",
     .key = "Energy_sampletime",
     .kind = S::Integer,
     .fallback = 10,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"EPSampletime"},
     .number = kInteger(1, 60, 1),
     .page = P::Demand,
     .captions = K{"Label82"},
     .groups = K{"GroupBox4"},
     .unit = "s"},
    {.field = "MB01Type",
     .key = "MB01Type",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Choice,
     .controls = K{"MB1Typebox"},
     .page = P::Modul2,
     .captions = K{"MB1Typebox"},
     .groups = K{"Modbuspanel"}},
    {.field = "MB01Addr",
     .key = "MB01Addr",
     .kind = S::Integer,
     .fallback = 1,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"MB1Address"},
     .number = kInteger(1, 240),
     .page = P::Modul2,
     .captions = K{"Label64"},
     .groups = K{"Modbuspanel"}},
    {.field = "MB01Baud",
     .key = "MB01Baud",
     .kind = S::Integer,
     .fallback = 5,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Choice,
     .controls = K{"MB1Baudratebox"},
     .page = P::Modul2,
     .captions = K{"MB1Baudratebox"},
     .groups = K{"Modbuspanel"}},
    {.field = "MB01Parity",
     .key = "MB01Parity",
     .kind = S::Integer,
     .fallback = 2,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Choice,
     .controls = K{"MB1Paritybox"},
     .page = P::Modul2,
     .captions = K{"Label62"},
     .groups = K{"Modbuspanel"}},
    {.field = "MB01Stopbits",
     .key = "MB01Stopbits",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Choice,
     .controls = K{"MB1Stopbitbox"},
     .page = P::Modul2,
     .captions = K{"Label63"},
     .groups = K{"Modbuspanel"}},
    // An 8-bit count of milliseconds: the editor stops at what the byte holds.
    {.field = "MB01Delay",
     .key = "MB01Delay",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"MB1Delay"},
     .number = {0.001, 0.255, "#0.00#", 0.001, 0},
     .page = P::Modul2,
     .captions = K{"MB1Delay"},
     .groups = K{"Modbuspanel"},
     .unit = "s"},
    {.field = "MB01Timeout",
     .key = "MB01Timeout",
     .kind = S::Integer,
     .fallback = 100,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"MB1Timeout"},
     .number = {0.01, 600, "#0.00#", 0.01, 0},
     .page = P::Modul2,
     .captions = K{"MB1Timeout"},
     .groups = K{"Modbuspanel"},
     .unit = "s"},
    {.field = "HarmEnabled",
     .key = "HarmEnabled",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Composed,
     .controls = K{"HarmL1U", "HarmL2U", "HarmL3U", "HarmL1I", "HarmL2I", "HarmL3I"},
     .page = P::Harmonics,
     .captions = K{"GroupBox3"},
     .groups = K{"GroupBox3"}},
    {.field = "Elrendezes",
     .key = "Elrendezés",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Choice,
     .controls = K{"Elrendezesbox"},
     .page = P::Measuring,
     .captions = K{"Label18"},
     .groups = K{"GroupBox1"}},
    // Its list entries carry the unit ("80 ms").
    {.field = "IntegrationLength",
     .key = "Integrálási hossz",
     .kind = S::Integer,
     .fallback = 2,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::ChoicePlus1,
     .controls = K{"Sampletimebox"},
     .page = P::Measuring,
     .captions = K{"Label17"},
     .groups = K{"GroupBox1"}},
    {.field = "Zajzar",
     .key = "Zajzár",
     .kind = S::Float,
     .fallback = 0.5,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"Zajzar"},
     .number = kInteger(0, 1000),
     .page = P::Measuring,
     .captions = K{"Label94"},
     .groups = K{"GroupBox1"},
     .unit = "%"},
    {.field = "Ratio",
     .key = "Áttétel_",
     .kind = S::Float,
     .fallback = 1,
     .order = KeyOrder::Run,
     .keyCount = 6,
     .editor = E::Number,
     .controls = K{"L1uat", "L1Iat", "L2Uat", "L2Iat", "L3Uat", "L3Iat"},
     .number = kRatio,
     .page = P::Measuring,
     .captions = K{"Label11", "Label12", "Label13", "Label14", "Label15", "Label16"},
     .groups = K{"GroupBox1"}},
    {.field = "Fazistolas",
     .key = "Fazistolas_",
     .kind = S::Float,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 3,
     .editor = E::Number,
     .controls = K{"L1Iphase", "L2Iphase", "L3Iphase"},
     .number = kPhaseShift,
     .page = P::Measuring,
     .captions = K{"Label4", "Label9", "Label10"},
     .groups = K{"GroupBox1"}},
    {.field = "DoutFunction",
     .key = "DoutFunction_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Choice,
     .controls = K{"D1functionbox", "D2functionbox"},
     .page = P::Modul1,
     .captions = K{"Label3", "Label67"},
     .groups = K{"D1panel", "D2panel"}},
    {.field = "DoutPolarity",
     .key = "DoutPolarity_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Choice,
     .controls = K{"D1polaritybox", "D2polaritybox"},
     .page = P::Modul1,
     .captions = K{"D1polaritylabel", "D2Polaritylabel"},
     .groups = K{"D1panel", "D2panel"}},
    // The assign box of the output's function (F1, F2 or F3) gives the code; the three boxes of an
    // output stand in its group.
    {.field = "DoutAssign",
     .key = "DoutAssign_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Composed,
     .controls = K{"D1F1Assignbox", "D1F2Assignbox", "D1F3Assignbox", "D2F1Assignbox", "D2F2Assignbox",
                   "D2F3Assignbox"},
     .page = P::Modul1,
     .captions = K{"D1panel", "D2panel"},
     .groups = K{"D1panel", "D2panel"}},
    {.field = "DoutLimitType",
     .key = "DoutLimitType_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Choice,
     .controls = K{"D1limittypebox", "D2Limittypebox"},
     .page = P::Modul1,
     .captions = K{"Label8", "Label70"},
     .groups = K{"D1panel", "D2panel"}},
    {.field = "DoutErrormask1",
     .key = "DoutErrormask1_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Mask,
     .controls = K{"D1H0", "D2H0"},
     .page = P::Modul1,
     .captions = K{"D1F4panel", "D2F4Panel"},
     .groups = K{"D1F4panel", "D2F4Panel"},
     .lamps = kErrorMaskBits},
    {.field = "DoutImpEgyenertek",
     .key = "DoutImpEgyenérték_",
     .kind = S::Integer,
     .fallback = 1,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"D1ImpEgyenertek", "D2ImpEgyenertek"},
     .number = kInteger(0, 60000),
     .page = P::Modul1,
     .captions = K{"Label45", "Label75"},
     .groups = K{"D1panel", "D2panel"},
     .unit = "Wh/VArh"},
    {.field = "DoutImpSzelesseg",
     .key = "DoutImpSzélesség_",
     .kind = S::Integer,
     .fallback = 200,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"D1Impszelesseg", "D2Impszelesseg"},
     .number = kInteger(0, 2000),
     .page = P::Modul1,
     .captions = K{"Label46", "Label76"},
     .groups = K{"D1panel", "D2panel"},
     .unit = "ms"},
    {.field = "DoutImpSzunet",
     .key = "DoutImpSzünet_",
     .kind = S::Integer,
     .fallback = 200,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"D1Impszunet", "D2Impszunet"},
     .number = kInteger(0, 2000),
     .page = P::Modul1,
     .captions = K{"Label47", "Label77"},
     .groups = K{"D1panel", "D2panel"},
     .unit = "ms"},
    {.field = "DoutLowLimit",
     .key = "DoutHatárértékAlsó_",
     .kind = S::Float,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"D1Lowlimit", "D2Lowlimit"},
     .number = kLimit,
     .page = P::Modul1,
     .captions = K{"Label49", "Label72"},
     .groups = K{"D1panel", "D2panel"}},
    {.field = "DoutHighLimit",
     .key = "DoutHatárértékFelső_",
     .kind = S::Float,
     .fallback = 10,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"D1Highlimit", "D2Highlimit"},
     .number = kHighLimit,
     .page = P::Modul1,
     .captions = K{"Label48", "Label71"},
     .groups = K{"D1panel", "D2panel"}},
    {.field = "DoutHysteresis",
     .key = "DoutHatárértékHiszterézis_",
     .kind = S::Float,
     .fallback = 1,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"D1hist", "D2hist"},
     .number = kHysteresis,
     .page = P::Modul1,
     .captions = K{"Label50", "Label73"},
     .groups = K{"D1panel", "D2panel"}},
    // Thousandths in 32 bits: the editor stops at what the field holds.
    {.field = "MaxEP",
     .key = "MaxEP_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"MaxEP0", "MaxEP1", "MaxEP2", "MaxEP3"},
     .number = {0, 4294967.295, "#0.000#", 1, 0},
     .page = P::Demand,
     .captions = K{"Label83", "Label84", "Label85", "Label86"},
     .groups = K{"GroupBox4"}},
    {.field = "AnAssigned",
     .key = "AnAssigned_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Choice,
     .controls = K{"A1Assignedbox", "A2Assignedbox"},
     .page = P::Modul2,
     .captions = K{"Label53", "Label79"},
     .groups = K{"A1panel", "A2panel"}},
    {.field = "PWMType",
     .key = "PWMType_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Choice,
     .controls = K{"A1Typebox", "A2Typebox"},
     .page = P::Modul2,
     .captions = K{"Label54", "Label80"},
     .groups = K{"A1panel", "A2panel"}},
    {.field = "PWMMode",
     .key = "PWMMode_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::ChoicePlus1,
     .controls = K{"A1Modebox", "A2Modebox"},
     .page = P::Modul2,
     .captions = K{"Label55", "Label87"},
     .groups = K{"A1panel", "A2panel"}},
    {.field = "PWMFrommA",
     .key = "PWMFrommA_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"A1minmA", "A2MinmA"},
     .number = kMilliamps(4),
     .page = P::Modul2,
     .captions = K{"A1minmA", "A2MinmA"},
     .groups = K{"A1panel", "A2panel"},
     .unit = "mA"},
    {.field = "PWMTomA",
     .key = "PWMTomA_",
     .kind = S::Integer,
     .fallback = 20000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"A1maxmA", "A2MaxmA"},
     .number = kMilliamps(20),
     .page = P::Modul2,
     .captions = K{"A1maxmA", "A2MaxmA"},
     .groups = K{"A1panel", "A2panel"},
     .unit = "mA"},
    {.field = "PWMErrormA",
     .key = "PWMErrormA_",
     .kind = S::Integer,
     .fallback = 21000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"A1ErrormA", "A2ErrormA"},
     .number = kMilliamps(20.1),
     .page = P::Modul2,
     .captions = K{"Label60", "Label92"},
     .groups = K{"A1panel", "A2panel"},
     .unit = "mA"},
    {.field = "PWMFrom",
     .key = "PWMFrom_",
     .kind = S::Integer,
     .fallback = 16000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "PWMTo",
     .key = "PWMTo_",
     .kind = S::Integer,
     .fallback = 56000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "PWMError",
     .key = "PWMError_",
     .kind = S::Integer,
     .fallback = 58000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "PWMMin",
     .key = "PWMMin_",
     .kind = S::Integer,
     .fallback = 10000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "PWMMax",
     .key = "PWMMax_",
     .kind = S::Integer,
     .fallback = 60000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "PWMScale",
     .key = "PWMScale_",
     .kind = S::Float,
     .fallback = 1,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "AnValueFrom",
     .key = "AnValueFrom_",
     .kind = S::Float,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"A1Valuefrom", "A2Valuefrom"},
     .number = kFree(0),
     .page = P::Modul2,
     .captions = K{"Label56", "Label88"},
     .groups = K{"A1panel", "A2panel"}},
    {.field = "AnValueTo",
     .key = "AnValueTo_",
     .kind = S::Float,
     .fallback = 100,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"A1Valueto", "A2Valueto"},
     .number = kFree(100),
     .page = P::Modul2,
     .captions = K{"Label57", "Label89"},
     .groups = K{"A1panel", "A2panel"}},
};

constexpr ConfigField kRam3[] = {
    {.field = "GyartasiEv",
     .key = "GyartasiEv",
     .kind = S::Integer,
     .fallback = 1,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"Factoryyear"},
     .number = kInteger(0, 99),
     .page = P::Factory,
     .captions = K{"Label43"},
     .groups = K{"GroupBox12"}},
    {.field = "GyartasiHo",
     .key = "GyartasiHo",
     .kind = S::Integer,
     .fallback = 1,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"Factorymonth"},
     .number = kInteger(1, 12, 1),
     .page = P::Factory,
     .captions = K{"Label44"},
     .groups = K{"GroupBox12"}},
    {.field = "Gyartasiszam",
     .key = "Gyartasiszam",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"Factorynum"},
     .number = kInteger(0, 999999999),
     .page = P::Factory,
     .captions = K{"Label38"},
     .groups = K{"GroupBox12"}},
    // Module 1 in bits 0 to 3, module 2 in bits 4 to 7.
    {.field = "Modulconfig",
     .key = "Modulconfig",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Composed,
     .controls = K{"Modul1box", "Modul2box"},
     .page = P::Factory,
     .captions = K{"GroupBox12"},
     .groups = K{"GroupBox12"}},
    {.field = "Adhist",
     .key = "Adhist",
     .kind = S::Integer,
     .fallback = 150,
     .order = KeyOrder::Single,
     .keyCount = 1,
     .editor = E::Number,
     .controls = K{"ADhist"},
     .number = kInteger(0, 1000),
     .page = P::Factory,
     .captions = K{"Label37"},
     .groups = K{"GroupBox15"}},
    // The analog output points are edited on the calibration page, in steps of 1 mA.
    {.field = "PWMPoint1mA",
     .key = "PWMPoint1mA_",
     .kind = S::Integer,
     .fallback = 4000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"Ch1Pwm1", "Ch2Pwm1"},
     .number = kMilliamps(4, 1),
     .page = P::Calibration,
     .captions = K{"Ch1Pwm1", "Ch2Pwm1"},
     .groups = K{"DACalibbox"},
     .unit = "mA"},
    {.field = "PWMPoint2mA",
     .key = "PWMPoint2mA_",
     .kind = S::Integer,
     .fallback = 20000,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::Number,
     .controls = K{"Ch1Pwm2", "Ch2Pwm2"},
     .number = kMilliamps(20, 1),
     .page = P::Calibration,
     .captions = K{"Ch1Pwm2", "Ch2Pwm2"},
     .groups = K{"DACalibbox"},
     .unit = "mA"},
    {.field = "TimeBaseCorrection",
     .key = "TimeBaseCorrection_",
     .kind = S::Float,
     .fallback = 1,
     .order = KeyOrder::PerIndex,
     .keyCount = 4,
     .editor = E::None},
    {.field = "Offset",
     .key = "Offset_",
     .kind = S::Integer,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 6,
     .editor = E::Number,
     .controls = K{"L1Uoffset", "L1Ioffset", "L2Uoffset", "L2Ioffset", "L3Uoffset", "L3Ioffset"},
     .number = kInteger(-200, 200),
     .page = P::Factory,
     .captions = K{"L1Uoffset", "L1Ioffset", "L2Uoffset", "L2Ioffset", "L3Uoffset", "L3Ioffset"},
     .groups = K{"GroupBox15"}},
    {.field = "ADrms",
     .key = "ADrms_",
     .kind = S::Integer,
     .fallback = 10000,
     .order = KeyOrder::PerIndex,
     .keyCount = 6,
     .editor = E::None},
    {.field = "Calrms",
     .key = "Calrms_",
     .kind = S::Float,
     .fallback = 5,
     .order = KeyOrder::PerIndex,
     .keyCount = 6,
     .editor = E::Number,
     .controls = K{"L1Ucal", "L1Ical", "L2Ucal", "L2Ical", "L3Ucal", "L3Ical"},
     .number = {0, 1000, "#0.0", 1, 230},
     .currentNumber = {0, 10, "#0.000", 0.1, 5},
     .hasCurrentEditor = true,
     .page = P::Factory,
     .captions = K{"L1Ucal", "L1Ical", "L2Ucal", "L2Ical", "L3Ucal", "L3Ical"},
     .groups = K{"GroupBox17"},
     .unit = "V",
     .currentUnit = "A"},
    {.field = "Delay",
     .key = "Delay_",
     .kind = S::Float,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 6,
     .editor = E::Number,
     .controls =
         K{"L1Uphasecorr", "L1Iphasecorr", "L2Uphasecorr", "L2Iphasecorr", "L3Uphasecorr", "L3Iphasecorr"},
     .number = {-2.54, 2.54, "#0.00", 0.01, 0},
     .page = P::Factory,
     .captions =
         K{"L1Uphasecorr", "L1Iphasecorr", "L2Uphasecorr", "L2Iphasecorr", "L3Uphasecorr", "L3Iphasecorr"},
     .groups = K{"GroupBox16"},
     .unit = "°"},
    {.field = "RMSCoeff",
     .key = "RMSCoeff_",
     .kind = S::Float,
     .fallback = 0.001,
     .order = KeyOrder::PerIndex,
     .keyCount = 6,
     .editor = E::None},
    {.field = "TeljCoeff",
     .key = "TeljCoeff_",
     .kind = S::Float,
     .fallback = 0,
     .order = KeyOrder::PerIndex,
     .keyCount = 3,
     .editor = E::None},
};

constexpr FieldPageKeys kPages[] = {
    {nullptr, nullptr},
    {"TabSheet_Calib", nullptr},
    {"TabSheet_FactorySettings", nullptr},
    {"TabSheet_Config", "TabSheet1"},
    {"TabSheet_Config", "TabSheet2"},
    {"TabSheet_Config", "TabSheet3"},
    {"TabSheet_Config", "TabSheet6"},
    {"TabSheet_Config", "TabSheet4"},
    {"TabSheet_Config", "TabSheet5"},
};
static_assert(std::size(kPages) == std::size_t(FieldPage::Harmonics) + 1);

constexpr FieldPage kConfigTabs[] = {P::Measuring, P::Modul1, P::Modul2, P::LedMask, P::Demand, P::Harmonics};

bool within(std::span<const ConfigField> table, const ConfigField* f)
{
    return f >= table.data() && f < table.data() + table.size();
}

QString plainNumber(const FieldInfo& field, double value)
{
    if (field.type != FieldType::f32)
        return QString::number(static_cast<qint64>(value));
    return formatNumber(kPlainFloatFormat, value);
}

QString lampCaption(int bit, std::optional<Language> language)
{
    const char* key = errorFlagKey(bit);
    return key ? shownText(key, language).trimmed() : shownText("Review.Bit", language).arg(bit);
}

/// The lamps of `listed` bits, each with its state in `mask`: "+ L1 letörés, − L2 letörés". A bit
/// the group has no lamp for is named by its number.
QString lampStates(const ConfigField& field, quint32 mask, quint32 listed, std::optional<Language> language)
{
    QStringList states;
    for (int bit = 0; bit < 32; ++bit) {
        const quint32 b = quint32(1) << bit;
        if (!(listed & b))
            continue;
        const QString caption =
            (field.lamps & b) ? lampCaption(bit, language) : shownText("Review.Bit", language).arg(bit);
        states << ((mask & b) ? QStringLiteral("+ ") : QStringLiteral("\u2212 ")) + caption;
    }
    return states.join(QStringLiteral(", "));
}

quint32 maskOf(double stored)
{
    return static_cast<quint32>(static_cast<qint64>(stored));
}

/// The one place a stored value becomes the text the window shows; masks list the `listed` lamps.
QString valueText(const ConfigField* entry, const FieldInfo& info, std::size_t index, double stored,
                  quint32 listed, std::optional<Language> language)
{
    switch (entry ? entry->editor : E::None) {
    case E::Number:
        return formatPattern(stored / info.scale, QString::fromLatin1(entry->numberEditor(index).format),
                             QString(QLocale().decimalPoint()));
    case E::Choice:
    case E::ChoicePlus1: {
        const char* box = index < kMaxControls ? entry->controls[index] : nullptr;
        if (!box)
            break;
        const QStringList items = shownItems(box, language);
        const auto code = static_cast<qint64>(stored);
        const qint64 item = entry->editor == E::ChoicePlus1 ? code - 1 : code;
        if (item >= 0 && item < items.size())
            return items[qsizetype(item)].trimmed();
        break;
    }
    case E::Mask:
        return lampStates(*entry, maskOf(stored), listed, language);
    case E::None:
    case E::Composed:
        break;
    }
    return plainNumber(info, stored);
}

} // namespace

FieldPageKeys fieldPageKeys(FieldPage page)
{
    return kPages[std::size_t(page)];
}

std::span<const FieldPage> configTabs()
{
    return kConfigTabs;
}

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

const char* ConfigField::group(std::size_t index) const
{
    if (!shown(index))
        return nullptr;
    return groups[index] ? groups[index] : groups[0];
}

const ConfigField* findConfigField(std::span<const ConfigField> table, const char* field)
{
    for (const ConfigField& f : table)
        if (std::strcmp(f.field, field) == 0)
            return &f;
    return nullptr;
}

const ConfigField* configFieldOf(MemoryRecord record, const FieldInfo* field)
{
    if (!field || record == MemoryRecord::Ram1)
        return nullptr;
    return findConfigField(record == MemoryRecord::Ram2 ? ram2ConfigFields() : ram3ConfigFields(),
                           field->name);
}

const ConfigField* configFieldOf(const FieldChange& change)
{
    return configFieldOf(change.record, change.field);
}

QString fieldText(const char* key, std::optional<Language> language)
{
    QString text = shownText(key, language).trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

QString fieldCaption(MemoryRecord record, const FieldInfo& field, std::size_t index,
                     std::optional<Language> language)
{
    const ConfigField* entry = configFieldOf(record, &field);
    if (entry && entry->shown(index))
        return fieldText(entry->captions[index], language);
    return QString::fromLatin1(field.name);
}

QString fieldUnit(MemoryRecord record, const FieldInfo& field, std::size_t index)
{
    const ConfigField* entry = configFieldOf(record, &field);
    if (!entry || !entry->unit)
        return QString();
    return QString::fromUtf8(entry->currentUnit && index % 2 == 1 ? entry->currentUnit : entry->unit);
}

QString fieldValueText(MemoryRecord record, const FieldInfo& field, std::size_t index, double stored,
                       std::optional<Language> language)
{
    return valueText(configFieldOf(record, &field), field, index, stored, maskOf(stored), language);
}

ChangeTexts changeTexts(const FieldChange& change, std::optional<Language> language)
{
    ChangeTexts texts;
    if (!change.field)
        return texts;
    const ConfigField* entry = configFieldOf(change);
    // A mask's two sides name the same lamps: those that differ.
    const quint32 differing = maskOf(change.before) ^ maskOf(change.after);
    texts.caption = fieldCaption(change.record, *change.field, change.index, language);
    texts.before = valueText(entry, *change.field, change.index, change.before, differing, language);
    texts.after = valueText(entry, *change.field, change.index, change.after, differing, language);
    texts.unit = fieldUnit(change.record, *change.field, change.index);
    return texts;
}

} // namespace kvam
