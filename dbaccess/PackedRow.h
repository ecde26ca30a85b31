#pragma once
/// Compact storage of one row's raw values: one heap block per row.

#include "Field.h"

#include <QByteArrayView>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace norvane::db {

/// One row as a single byte block: the block's length, then per column a length prefix (0 for
/// NULL, otherwise length + 1, variable-length encoded) followed by the bytes. Values are
/// decoded on demand; a cached row costs its data plus a few bytes per column.
class PackedRow
{
public:
    PackedRow() = default;
    PackedRow(const PackedRow& other);
    PackedRow& operator=(const PackedRow& other);
    PackedRow(PackedRow&&) noexcept = default;
    PackedRow& operator=(PackedRow&&) noexcept = default;

    /// Packs `count` values given as pointers and lengths (null pointer = NULL).
    static PackedRow fromArrays(const char* const* values, const unsigned long* lengths,
                                int count);
    static PackedRow fromValues(const std::vector<RawValue>& values);

    bool isEmpty() const { return !m_data; }
    /// The value of column `index` without copying; nullopt for NULL or a missing column.
    std::optional<QByteArrayView> view(int index) const;
    RawValue value(int index) const;
    std::vector<RawValue> values(int count) const;
    std::size_t byteSize() const;

private:
    std::unique_ptr<unsigned char[]> m_data;
};

} // namespace norvane::db
