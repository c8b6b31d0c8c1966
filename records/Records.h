#pragma once

#include "records/Field.h"

#include <cstddef>
#include <iterator>

// Every record the meter sends or takes, one table per record. Offsets count from the first
// payload byte of the frame; multi-byte values are little-endian; f32 is an IEEE 754 single.
//
// A row is X(name, offset, type, count, scale):
//   name   the field as the record table calls it; bytes the table leaves unnamed are Unused<offset>
//          in the answers and Carried<offset> in the memory records (they travel back untouched)
//   type   u8 i8 u16 i16 u32 i32 i64 f32, or raw where the table gives no number type
//   count  elements of an array (1 for a single value)
//   scale  stored = value × scale, for the values the program shows or edits scaled; 1 otherwise
//
// Each table generates, in the record's namespace (net, state, ..., ram3):
//   kSize          the record's size in bytes
//   Record         the record as a type: its images are RecordImage<Record>, and its fields fit
//                  those images only
//   <name>         a typed Field for get(image, field, index) and set(image, field, index, value)
//   kFields        the rows as FieldInfo data, in table order
// Rows stand in offset order and cover every byte of their record once (tests/tst_records.cpp).

// Read_Net answer: 45 floats of measurements, named by the controls showing them; powers arrive
// in W, VAr and VA and are shown in kW, kVAr and kVA.
#define KVAM_NET_FIELDS(X)                                                                                   \
    X(L12urms, 0, f32, 1, 1.0)                                                                               \
    X(L23urms, 4, f32, 1, 1.0)                                                                               \
    X(L13urms, 8, f32, 1, 1.0)                                                                               \
    X(L1urms, 12, f32, 1, 1.0)                                                                               \
    X(L2urms, 16, f32, 1, 1.0)                                                                               \
    X(L3urms, 20, f32, 1, 1.0)                                                                               \
    X(L1irms, 24, f32, 1, 1.0)                                                                               \
    X(L2irms, 28, f32, 1, 1.0)                                                                               \
    X(L3irms, 32, f32, 1, 1.0)                                                                               \
    X(Unused36, 36, f32, 1, 1.0)                                                                             \
    X(L1p, 40, f32, 1, 1000.0)                                                                               \
    X(L2p, 44, f32, 1, 1000.0)                                                                               \
    X(L3p, 48, f32, 1, 1000.0)                                                                               \
    X(L1q, 52, f32, 1, 1000.0)                                                                               \
    X(L2q, 56, f32, 1, 1000.0)                                                                               \
    X(L3q, 60, f32, 1, 1000.0)                                                                               \
    X(L1s, 64, f32, 1, 1000.0)                                                                               \
    X(L2s, 68, f32, 1, 1000.0)                                                                               \
    X(L3s, 72, f32, 1, 1000.0)                                                                               \
    X(L1pf, 76, f32, 1, 1.0)                                                                                 \
    X(L2pf, 80, f32, 1, 1.0)                                                                                 \
    X(L3pf, 84, f32, 1, 1.0)                                                                                 \
    X(L1fi, 88, f32, 1, 1.0)                                                                                 \
    X(L2fi, 92, f32, 1, 1.0)                                                                                 \
    X(L3fi, 96, f32, 1, 1.0)                                                                                 \
    X(Sump, 100, f32, 1, 1000.0)                                                                             \
    X(Sumq, 104, f32, 1, 1000.0)                                                                             \
    X(Sums, 108, f32, 1, 1000.0)                                                                             \
    X(Sumpf, 112, f32, 1, 1.0)                                                                               \
    X(Unused116, 116, f32, 1, 1.0)                                                                           \
    X(L1f, 120, f32, 1, 1.0)                                                                                 \
    X(L2f, 124, f32, 1, 1.0)                                                                                 \
    X(L3f, 128, f32, 1, 1.0)                                                                                 \
    X(L12fi, 132, f32, 1, 1.0)                                                                               \
    X(L13fi, 136, f32, 1, 1.0)                                                                               \
    X(Unused140, 140, f32, 4, 1.0)                                                                           \
    X(L1uthd, 156, f32, 1, 1.0)                                                                              \
    X(L2uthd, 160, f32, 1, 1.0)                                                                              \
    X(L3uthd, 164, f32, 1, 1.0)                                                                              \
    X(L1ithd, 168, f32, 1, 1.0)                                                                              \
    X(L2ithd, 172, f32, 1, 1.0)                                                                              \
    X(L3ithd, 176, f32, 1, 1.0)

// Read_State answer: error words and the I/O bits.
#define KVAM_STATE_FIELDS(X)                                                                                 \
    X(StaticErrors, 0, u32, 1, 1.0)                                                                          \
    X(DynamicErrors, 4, u32, 1, 1.0)                                                                         \
    X(ErrorMask, 8, u32, 1, 1.0)                                                                             \
    X(Unused12, 12, u8, 1, 1.0)                                                                              \
    X(IoBits, 13, u8, 1, 1.0)                                                                                \
    X(Unused14, 14, raw, 2, 1.0)

// Read_Version answer: firmware version and date, date of manufacture, factory number; named by
// the controls showing them (the three version numbers share Programversion).
#define KVAM_VERSION_FIELDS(X)                                                                               \
    X(ProgramversionMajor, 0, u8, 1, 1.0)                                                                    \
    X(ProgramversionMinor, 1, u8, 1, 1.0)                                                                    \
    X(ProgramversionBuild, 2, u16, 1, 1.0)                                                                   \
    X(Programdate, 4, raw, 12, 1.0)                                                                          \
    X(Gyartaseve, 16, u8, 1, 1.0)                                                                            \
    X(Gyartashonapja, 17, u8, 1, 1.0)                                                                        \
    X(Gyartasiszam, 18, u32, 1, 1.0)

// Read_EPdata answer: demand bookkeeping, named by the controls showing it. The elapsed time
// counts tenths.
#define KVAM_EP_FIELDS(X)                                                                                    \
    X(Unused0, 0, raw, 8, 1.0)                                                                               \
    X(EPprevious, 8, u32, 1, 1.0)                                                                            \
    X(EPestimated, 12, u32, 1, 1.0)                                                                          \
    X(EPenabled, 16, u32, 1, 1.0)                                                                            \
    X(EPcurrent, 20, u32, 1, 1.0)                                                                            \
    X(EPtimeelapsed, 24, u16, 1, 10.0)                                                                       \
    X(Unused26, 26, raw, 6, 1.0)

// Read_Harmonics answer: channel code (0..5: L1 U, L2 U, L3 U, L1 I, L2 I, L3 I), its THD in
// percent (at an odd offset) and 20 amplitudes in tenths of a percent.
#define KVAM_HARMONICS_FIELDS(X)                                                                             \
    X(Channel, 0, u8, 1, 1.0)                                                                                \
    X(THD, 1, f32, 1, 1.0)                                                                                   \
    X(Amplitude, 5, u16, 20, 10.0)

// Read_Caldata answer: per channel (L1 U, L1 I, L2 U, L2 I, L3 U, L3 I) the raw AD rms, the
// nominal rms value (V or A) and the AD average.
#define KVAM_CALDATA_FIELDS(X)                                                                               \
    X(ADrms, 0, u16, 6, 1.0)                                                                                 \
    X(UIrms, 12, f32, 6, 1.0)                                                                                \
    X(Average, 36, i16, 6, 1.0)

// RAM1: the energy counters (L1, L2, L3, sum) in Wh and VArh, shown in kWh and kVArh.
#define KVAM_RAM1_FIELDS(X)                                                                                  \
    X(RecordHead, 0, u8, 2, 1.0)                                                                             \
    X(EPplus, 2, i64, 4, 1000.0)                                                                             \
    X(EPminus, 34, i64, 4, 1000.0)                                                                           \
    X(EQplus, 66, i64, 4, 1000.0)                                                                            \
    X(EQminus, 98, i64, 4, 1000.0)                                                                           \
    X(EnergyAux, 130, u32, 12, 1.0)                                                                          \
    X(Carried178, 178, u8, 34, 1.0)

// RAM2: the user configuration. Four-element arrays hold outputs 1 to 4; six-element ones the
// channels L1 U, L1 I, L2 U, L2 I, L3 U, L3 I. Zajzar is stored as percent / 100, the mA values in
// µA, MB01Timeout in hundredths and MB01Delay in thousandths of a second, MaxEP in thousandths.
#define KVAM_RAM2_FIELDS(X)                                                                                  \
    X(RecordHead, 0, u8, 2, 1.0)                                                                             \
    X(Ratio, 2, f32, 6, 1.0)                                                                                 \
    X(Fazistolas, 26, f32, 3, 1.0)                                                                           \
    X(Zajzar, 38, f32, 1, 0.01)                                                                              \
    X(DoutLowLimit, 42, f32, 4, 1.0)                                                                         \
    X(DoutHighLimit, 58, f32, 4, 1.0)                                                                        \
    X(DoutHysteresis, 74, f32, 4, 1.0)                                                                       \
    X(AnValueFrom, 90, f32, 4, 1.0)                                                                          \
    X(AnValueTo, 106, f32, 4, 1.0)                                                                           \
    X(PWMScale, 122, f32, 4, 1.0)                                                                            \
    X(DoutErrormask1, 138, u32, 4, 1.0)                                                                      \
    X(LedErrorMask, 154, u32, 1, 1.0)                                                                        \
    X(MaxEP, 158, u32, 4, 1000.0)                                                                            \
    X(IntegrationLength, 174, u16, 1, 1.0)                                                                   \
    X(Elrendezes, 176, u16, 1, 1.0)                                                                          \
    X(DinPolarity, 178, u16, 1, 1.0)                                                                         \
    X(Energy_sampletime, 180, u16, 1, 1.0)                                                                   \
    X(DoutImpEgyenertek, 182, u16, 4, 1.0)                                                                   \
    X(DoutImpSzelesseg, 190, u16, 4, 1.0)                                                                    \
    X(DoutImpSzunet, 198, u16, 4, 1.0)                                                                       \
    X(PWMFrommA, 206, u16, 4, 1000.0)                                                                        \
    X(PWMTomA, 214, u16, 4, 1000.0)                                                                          \
    X(PWMErrormA, 222, u16, 4, 1000.0)                                                                       \
    X(AnAssigned, 230, u16, 4, 1.0)                                                                          \
    X(PWMFrom, 238, u16, 4, 1.0)                                                                             \
    X(PWMTo, 246, u16, 4, 1.0)                                                                               \
    X(PWMError, 254, u16, 4, 1.0)                                                                            \
    X(PWMMin, 262, u16, 4, 1.0)                                                                              \
    X(PWMMax, 270, u16, 4, 1.0)                                                                              \
    X(MB01Timeout, 278, u16, 1, 100.0)                                                                       \
    X(DoutFunction, 280, u8, 4, 1.0)                                                                         \
    X(DoutPolarity, 284, u8, 4, 1.0)                                                                         \
    X(DoutAssign, 288, u8, 4, 1.0)                                                                           \
    X(DoutLimitType, 292, u8, 4, 1.0)                                                                        \
    X(MB01Type, 296, u8, 1, 1.0)                                                                             \
    X(MB01Addr, 297, u8, 1, 1.0)                                                                             \
    X(MB01Baud, 298, u8, 1, 1.0)                                                                             \
    X(MB01Parity, 299, u8, 1, 1.0)                                                                           \
    X(MB01Stopbits, 300, u8, 1, 1.0)                                                                         \
    X(MB01Delay, 301, u8, 1, 1000.0)                                                                         \
    X(PWMType, 302, u8, 4, 1.0)                                                                              \
    X(PWMMode, 306, u8, 4, 1.0)                                                                              \
    X(Carried310, 310, u8, 1, 1.0)                                                                           \
    X(HarmEnabled, 311, u8, 1, 1.0)                                                                          \
    X(Carried312, 312, u8, 2, 1.0)

// RAM3: factory data and calibration constants. Six-element arrays hold the channels L1 U, L1 I,
// L2 U, L2 I, L3 U, L3 I; the analog-output calibration points are stored in µA.
#define KVAM_RAM3_FIELDS(X)                                                                                  \
    X(RecordHead, 0, u8, 2, 1.0)                                                                             \
    X(GyartasiEv, 2, u8, 1, 1.0)                                                                             \
    X(GyartasiHo, 3, u8, 1, 1.0)                                                                             \
    X(Gyartasiszam, 4, u32, 1, 1.0)                                                                          \
    X(Modulconfig, 8, u16, 1, 1.0)                                                                           \
    X(PWMPoint1mA, 10, u16, 4, 1000.0)                                                                       \
    X(PWMPoint2mA, 18, u16, 4, 1000.0)                                                                       \
    X(Adhist, 26, i16, 1, 1.0)                                                                               \
    X(Offset, 28, i16, 6, 1.0)                                                                               \
    X(ADrms, 40, u16, 6, 1.0)                                                                                \
    X(Calrms, 52, f32, 6, 1.0)                                                                               \
    X(RMSCoeff, 76, f32, 6, 1.0)                                                                             \
    X(TeljCoeff, 100, f32, 3, 1.0)                                                                           \
    X(Delay, 112, f32, 6, 1.0)                                                                               \
    X(TimeBaseCorrection, 136, f32, 4, 1.0)                                                                  \
    X(Carried152, 152, u8, 2, 1.0)

#define KVAM_RECORD_FIELD(name, offset, type, count, scale)                                                  \
    inline constexpr ::kvam::Field<Record, ::kvam::FieldType::type> name{offset, count, #name, scale};
#define KVAM_RECORD_FIELD_INFO(name, offset, type, count, scale)                                             \
    ::kvam::FieldInfo{#name, offset, ::kvam::FieldType::type, count, scale},
#define KVAM_RECORD(ns, size, FIELDS)                                                                        \
    namespace ns {                                                                                           \
    inline constexpr std::size_t kSize = size;                                                               \
    /** The record as a type: its images and fields are its own. */                                          \
    struct Record                                                                                            \
    {                                                                                                        \
        static constexpr std::size_t kSize = size;                                                           \
    };                                                                                                       \
    FIELDS(KVAM_RECORD_FIELD)                                                                                \
    inline constexpr ::kvam::FieldInfo kFields[] = {FIELDS(KVAM_RECORD_FIELD_INFO)};                         \
    }

namespace kvam {

KVAM_RECORD(net, 180, KVAM_NET_FIELDS)
KVAM_RECORD(state, 16, KVAM_STATE_FIELDS)
KVAM_RECORD(version, 22, KVAM_VERSION_FIELDS)
KVAM_RECORD(ep, 32, KVAM_EP_FIELDS)
KVAM_RECORD(harmonics, 45, KVAM_HARMONICS_FIELDS)
KVAM_RECORD(caldata, 48, KVAM_CALDATA_FIELDS)
KVAM_RECORD(ram1, 212, KVAM_RAM1_FIELDS)
KVAM_RECORD(ram2, 314, KVAM_RAM2_FIELDS)
KVAM_RECORD(ram3, 154, KVAM_RAM3_FIELDS)

/// The answer records as byte images.
using NetRecord = RecordImage<net::Record>;             ///< Read_Net
using StateRecord = RecordImage<state::Record>;         ///< Read_State
using VersionRecord = RecordImage<version::Record>;     ///< Read_Version
using EpRecord = RecordImage<ep::Record>;               ///< Read_EPdata
using HarmonicsRecord = RecordImage<harmonics::Record>; ///< Read_Harmonics
using CaldataRecord = RecordImage<caldata::Record>;     ///< Read_Caldata

/// The meter's memory records, byte for byte the payloads of the RAM reads and writes.
using Ram1Image = RecordImage<ram1::Record>;
using Ram2Image = RecordImage<ram2::Record>;
using Ram3Image = RecordImage<ram3::Record>;

} // namespace kvam

#undef KVAM_RECORD
#undef KVAM_RECORD_FIELD
#undef KVAM_RECORD_FIELD_INFO
