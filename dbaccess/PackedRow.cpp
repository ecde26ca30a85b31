#include "PackedRow.h"

#include <algorithm>
#include <cstring>

namespace norvane::db {

namespace {

std::size_t varintSize(std::uint64_t v)
{
    std::size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

unsigned char* putVarint(unsigned char* p, std::uint64_t v)
{
    while (v >= 0x80) {
        *p++ = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    return p;
}

const unsigned char* getVarint(const unsigned char* p, std::uint64_t& v)
{
    v = 0;
    int shift = 0;
    while (*p & 0x80) {
        v |= static_cast<std::uint64_t>(*p++ & 0x7f) << shift;
        shift += 7;
    }
    v |= static_cast<std::uint64_t>(*p++) << shift;
    return p;
}

} // namespace

unsigned char* RowArena::allocate(std::size_t size)
{
    // Chunks double from a small one up to blocks of huge pages: a result takes at most about
    // twice its size, whatever its size, and a large one costs a fault per 2 MiB.
    constexpr std::size_t kFirstChunk = std::size_t(64) * 1024;
    constexpr std::size_t kLargestChunk = std::size_t(2) << 20;
    size = (size + 1) & ~std::size_t(1);
    if (size > m_left) {
        const std::size_t grown =
            m_chunks.empty() ? kFirstChunk : std::min(2 * m_lastChunk, kLargestChunk);
        std::size_t chunk = std::max(grown, size);
        m_chunks.push_back(allocateLargeBlock(chunk));
        m_next = m_chunks.back().get();
        m_left = chunk;
        m_lastChunk = std::min(chunk, kLargestChunk);
    }
    unsigned char* p = m_next;
    m_next += size;
    m_left -= size;
    return p;
}

PackedRow::~PackedRow()
{
    release();
}

void PackedRow::release()
{
    if (m_bits && !(m_bits & 1))
        delete[] reinterpret_cast<unsigned char*>(m_bits);
    m_bits = 0;
}

PackedRow& PackedRow::operator=(PackedRow&& other) noexcept
{
    if (this != &other) {
        release();
        m_bits = other.m_bits;
        other.m_bits = 0;
    }
    return *this;
}

PackedRow PackedRow::fromArrays(const char* const* values, const unsigned long* lengths, int count,
                                RowArena* arena)
{
    std::size_t payload = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t tag = values[i] ? std::uint64_t(lengths[i]) + 1 : 0;
        payload += varintSize(tag) + (values[i] ? lengths[i] : 0);
    }
    PackedRow row;
    const std::size_t total = varintSize(payload) + payload;
    unsigned char* block = nullptr;
    if (arena) {
        block = arena->allocate(total);
        row.m_bits = reinterpret_cast<std::uintptr_t>(block) | 1;
    } else {
        block = new unsigned char[total];
        row.m_bits = reinterpret_cast<std::uintptr_t>(block);
    }
    unsigned char* p = putVarint(block, payload);
    for (int i = 0; i < count; ++i) {
        if (!values[i]) {
            *p++ = 0;
            continue;
        }
        p = putVarint(p, std::uint64_t(lengths[i]) + 1);
        if (lengths[i])
            std::memcpy(p, values[i], lengths[i]);
        p += lengths[i];
    }
    return row;
}

PackedRow PackedRow::fromValues(const std::vector<RawValue>& values)
{
    std::vector<const char*> ptrs(values.size());
    std::vector<unsigned long> lengths(values.size());
    static const char empty = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i]) {
            ptrs[i] = values[i]->isEmpty() ? &empty : values[i]->constData();
            lengths[i] = static_cast<unsigned long>(values[i]->size());
        } else {
            ptrs[i] = nullptr;
            lengths[i] = 0;
        }
    }
    return fromArrays(ptrs.data(), lengths.data(), static_cast<int>(values.size()));
}

std::size_t PackedRow::byteSize() const
{
    if (!m_bits)
        return 0;
    std::uint64_t payload = 0;
    const unsigned char* p = getVarint(data(), payload);
    return static_cast<std::size_t>(p - data()) + payload;
}

PackedRow::PackedRow(const PackedRow& other)
{
    *this = other;
}

PackedRow& PackedRow::operator=(const PackedRow& other)
{
    if (this == &other)
        return *this;
    release();
    if (!other.m_bits)
        return *this;
    const std::size_t n = other.byteSize();
    auto* copy = new unsigned char[n];
    std::memcpy(copy, other.data(), n);
    m_bits = reinterpret_cast<std::uintptr_t>(copy);
    return *this;
}

std::optional<QByteArrayView> PackedRow::view(int index) const
{
    if (!m_bits || index < 0)
        return std::nullopt;
    std::uint64_t payload = 0;
    const unsigned char* p = getVarint(data(), payload);
    const unsigned char* end = p + payload;
    for (int i = 0; p < end; ++i) {
        std::uint64_t tag = 0;
        p = getVarint(p, tag);
        const std::size_t len = tag ? static_cast<std::size_t>(tag - 1) : 0;
        if (i == index) {
            if (!tag)
                return std::nullopt;
            return QByteArrayView(reinterpret_cast<const char*>(p), static_cast<qsizetype>(len));
        }
        p += len;
    }
    return std::nullopt;
}

RawValue PackedRow::value(int index) const
{
    const auto v = view(index);
    if (!v)
        return std::nullopt;
    return v->toByteArray();
}

void PackedRow::views(int count, std::vector<std::optional<QByteArrayView>>& out) const
{
    out.assign(static_cast<std::size_t>(std::max(count, 0)), std::nullopt);
    if (!m_bits)
        return;
    std::uint64_t payload = 0;
    const unsigned char* p = getVarint(data(), payload);
    const unsigned char* end = p + payload;
    for (int i = 0; p < end && i < count; ++i) {
        std::uint64_t tag = 0;
        p = getVarint(p, tag);
        const std::size_t len = tag ? static_cast<std::size_t>(tag - 1) : 0;
        if (tag)
            out[static_cast<std::size_t>(i)] =
                QByteArrayView(reinterpret_cast<const char*>(p), static_cast<qsizetype>(len));
        p += len;
    }
}

std::vector<RawValue> PackedRow::values(int count) const
{
    std::vector<std::optional<QByteArrayView>> held;
    views(count, held);
    std::vector<RawValue> out(held.size());
    for (std::size_t i = 0; i < held.size(); ++i)
        if (held[i])
            out[i] = held[i]->toByteArray();
    return out;
}

} // namespace norvane::db
