#pragma once
/// Compact storage of one row's raw values: one byte block per row.

#include "Field.h"
#include "persist/LargeBlock.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace norvane::db {

/// Large blocks that fetched rows are packed into, so that a cached row costs no heap header
/// of its own. Rows that point into an arena keep it alive through `RowArena::Ptr` holders.
class RowArena
{
public:
    using Ptr = std::shared_ptr<RowArena>;

    /// Space for `size` bytes, aligned to 2 (the low pointer bit marks arena rows).
    unsigned char* allocate(std::size_t size);

private:
    std::vector<LargeBlock> m_chunks;
    unsigned char* m_next = nullptr;
    std::size_t m_left = 0;
    std::size_t m_lastChunk = 0;
};

/// One row as a single byte block: the block's length, then per column a length prefix (0 for
/// NULL, otherwise length + 1, variable-length encoded) followed by the bytes. Values are
/// decoded on demand. The block is either owned (edited rows) or lives in a `RowArena`
/// (fetched rows); a copy is always owned.
class PackedRow
{
public:
    PackedRow() = default;
    ~PackedRow();
    PackedRow(const PackedRow& other);
    PackedRow& operator=(const PackedRow& other);
    PackedRow(PackedRow&& other) noexcept : m_bits(other.m_bits) { other.m_bits = 0; }
    PackedRow& operator=(PackedRow&& other) noexcept;

    /// Packs `count` values given as pointers and lengths (null pointer = NULL), into the arena
    /// when one is given.
    static PackedRow fromArrays(const char* const* values, const unsigned long* lengths, int count,
                                RowArena* arena = nullptr);
    static PackedRow fromValues(const std::vector<RawValue>& values);

    bool isEmpty() const { return m_bits == 0; }
    /// The value of column `index` without copying; nullopt for NULL or a missing column.
    std::optional<QByteArrayView> view(int index) const;
    RawValue value(int index) const;
    /// The values of the first `count` columns in place, in one pass over the block.
    void views(int count, std::vector<std::optional<QByteArrayView>>& out) const;
    std::vector<RawValue> values(int count) const;
    std::size_t byteSize() const;

private:
    const unsigned char* data() const
    {
        return reinterpret_cast<const unsigned char*>(m_bits & ~std::uintptr_t(1));
    }
    void release();

    std::uintptr_t m_bits = 0; ///< block address; low bit set when it lives in an arena
};

} // namespace norvane::db
