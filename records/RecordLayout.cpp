#include "records/RecordLayout.h"

#include "records/Records.h"

namespace kvam {

namespace {

constexpr RecordLayout kLayouts[] = {
    {"Net", net::kSize, net::kFields},
    {"State", state::kSize, state::kFields},
    {"Version", version::kSize, version::kFields},
    {"EP", ep::kSize, ep::kFields},
    {"Harmonics", harmonics::kSize, harmonics::kFields},
    {"Caldata", caldata::kSize, caldata::kFields},
    {"RAM1", ram1::kSize, ram1::kFields},
    {"RAM2", ram2::kSize, ram2::kFields},
    {"RAM3", ram3::kSize, ram3::kFields},
};

} // namespace

std::string_view fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::u8:
        return "u8";
    case FieldType::i8:
        return "i8";
    case FieldType::u16:
        return "u16";
    case FieldType::i16:
        return "i16";
    case FieldType::u32:
        return "u32";
    case FieldType::i32:
        return "i32";
    case FieldType::i64:
        return "i64";
    case FieldType::f32:
        return "f32";
    case FieldType::raw:
        return "raw";
    }
    return "?";
}

const FieldInfo* RecordLayout::field(std::string_view fieldName) const
{
    for (const FieldInfo& f : fields)
        if (fieldName == f.name)
            return &f;
    return nullptr;
}

std::span<const RecordLayout> recordLayouts()
{
    return kLayouts;
}

const RecordLayout* findRecordLayout(std::string_view name)
{
    for (const RecordLayout& r : kLayouts)
        if (name == r.name)
            return &r;
    return nullptr;
}

} // namespace kvam
