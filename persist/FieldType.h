#pragma once
/// The data type of a field, shared by the access layer that reads values and the export layer
/// that writes them, so that neither keeps a copy the other could drift from.

#include <cstdint>

namespace norvane {

/// A field's data type, in the names that grid and export code use.
enum class FieldType : std::uint8_t
{
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftLargeint,
    ftTimeStamp,
    ftFMTBcd,
};

} // namespace norvane
