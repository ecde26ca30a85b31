#pragma once

#include "persist/LargeBlock.h"

#include <QByteArrayView>

#include <cstring>

namespace norvane::exporter {

/// The text a run builds before it goes to the file. Appending is an inlined copy into space
/// already there: writers append several pieces to every cell, and QByteArray's general append
/// (aliasing, detaching, growth policy) costs more than the copy itself.
class OutBuffer
{
public:
    void append(const char* p, qsizetype n)
    {
        if (n > m_capacity - m_size)
            grow(n);
        if (n > 0)
            std::memcpy(m_data.get() + m_size, p, static_cast<std::size_t>(n));
        m_size += n;
    }
    OutBuffer& operator+=(QByteArrayView v)
    {
        append(v.data(), v.size());
        return *this;
    }
    OutBuffer& operator+=(char c)
    {
        if (m_size == m_capacity)
            grow(1);
        m_data[static_cast<std::size_t>(m_size++)] = static_cast<unsigned char>(c);
        return *this;
    }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    QByteArrayView view() const { return {reinterpret_cast<const char*>(m_data.get()), m_size}; }
    void clear() { m_size = 0; }
    void reserve(qsizetype n)
    {
        if (n > m_capacity - m_size)
            grow(n);
    }

private:
    void grow(qsizetype n);

    LargeBlock m_data;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

} // namespace norvane::exporter
