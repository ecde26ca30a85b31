#pragma once
/// Streams: the abstract stream, a memory stream, and file streams with range editing.
/// Included through VSClass.h.

#include "persist/VSClass.h"

namespace norvane::persist {

enum class SeekOrigin
{
    Begin,
    Current,
    End
};

/// Open modes of the file streams.
inline constexpr std::uint16_t fmCreate = 0xFFFF;
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareCompat = 0x0000;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;
/// High byte 0x80: open with the low 15 bits if the file exists, create it otherwise.
inline constexpr std::uint16_t fmOpenOrCreate = 0x8000;

/// A sequence of bytes with a position.
class TStream : public TObject
{
    NORVANE_DECLARE_CLASS
public:
    /// Reads up to `count` bytes; returns how many were read (0 at the end).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    /// Writes up to `count` bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Begin); }
    /// Reads exactly `count` bytes or fails with "Stream read error".
    void ReadBuffer(void* buffer, std::size_t count);
    /// Writes exactly `count` bytes or fails with "Stream write error".
    void WriteBuffer(const void* buffer, std::size_t count);
};

/// A stream held in memory.
class TMemoryStream : public TStream
{
    NORVANE_DECLARE_CLASS
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : m_data(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(m_data.size()); }
    void SetSize(std::int64_t size) override;

    const std::vector<std::uint8_t>& Bytes() const { return m_data; }

private:
    std::vector<std::uint8_t> m_data;
    std::int64_t m_pos = 0;
};

namespace rtl {

/// A file stream over a POSIX descriptor. Sharing modes are accepted and not enforced: the
/// platform has no mandatory locks.
class TFileStream : public TStream
{
    NORVANE_DECLARE_CLASS
public:
    /// Opens `fileName` with a mode (fmCreate creates or empties the file); fails with the
    /// file-creation or file-open error naming the path and the system's reason.
    TFileStream(const std::string& fileName, std::uint16_t mode);
    /// Takes over an open descriptor.
    TFileStream(int fd, std::string fileName);
    ~TFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

    const std::string& FileName() const { return m_fileName; }
    /// Forces the written data to the disk.
    void Flush();
    /// Closes the descriptor now, reporting a failure (a delayed write error).
    void Close();

private:
    int m_fd = -1;
    std::string m_fileName;
};

} // namespace rtl

/// The library's file stream: the 0x80xx open-or-create mode and editing of byte ranges.
class TFileStream : public rtl::TFileStream
{
    NORVANE_DECLARE_CLASS
public:
    TFileStream(const std::string& fileName, std::uint16_t mode);

    /// Removes `count` bytes at `offset`, moving the rest down.
    virtual void DeleteRange(std::int64_t offset, std::int64_t count);
    /// Opens a gap of `count` bytes at `offset`, moving the rest up; the gap keeps old bytes.
    virtual void InsertGap(std::int64_t offset, std::int64_t count);
    /// Cuts the file at the current position.
    virtual void Truncate();

private:
    static std::uint16_t resolveMode(const std::string& fileName, std::uint16_t mode);
};

} // namespace norvane::persist
