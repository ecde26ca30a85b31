#include "persist/VSClass.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane::persist {

NORVANE_DEFINE_CLASS(TStream, TObject)
NORVANE_DEFINE_CLASS(TMemoryStream, TStream)

namespace {

std::string systemReason(int err)
{
    return std::strerror(err);
}

[[noreturn]] void ioError(const std::string& what, const std::string& fileName)
{
    const int err = errno;
    throw InOutError(what + " \"" + fileName + "\". " + systemReason(err));
}

} // namespace

std::int64_t TStream::Size()
{
    const std::int64_t pos = Seek(0, SeekOrigin::Current);
    const std::int64_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Begin);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::size_t count)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const std::size_t n = Read(p, count);
        if (n == 0)
            throw ReadError("Stream read error");
        p += n;
        count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, std::size_t count)
{
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (count > 0) {
        const std::size_t n = Write(p, count);
        if (n == 0)
            throw WriteError("Stream write error");
        p += n;
        count -= n;
    }
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    const auto size = static_cast<std::int64_t>(m_data.size());
    if (m_pos >= size)
        return 0;
    const auto n = static_cast<std::size_t>(
        std::min<std::int64_t>(size - m_pos, static_cast<std::int64_t>(count)));
    std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += static_cast<std::int64_t>(n);
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count)
{
    const auto end = static_cast<std::size_t>(m_pos) + count;
    if (end > m_data.size())
        m_data.resize(end);
    if (count > 0)
        std::memcpy(m_data.data() + m_pos, buffer, count);
    m_pos = static_cast<std::int64_t>(end);
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin)
{
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current)
        base = m_pos;
    else if (origin == SeekOrigin::End)
        base = Size();
    const std::int64_t pos = base + offset;
    if (pos < 0)
        throw InOutError("Invalid stream position");
    m_pos = pos;
    return m_pos;
}

void TMemoryStream::SetSize(std::int64_t size)
{
    if (size < 0)
        throw InOutError("Invalid stream size");
    m_data.resize(static_cast<std::size_t>(size));
    m_pos = std::min(m_pos, size);
}

namespace rtl {

NORVANE_DEFINE_CLASS(TFileStream, TStream)

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : m_fileName(fileName)
{
    if (mode == fmCreate) {
        m_fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            const int err = errno;
            throw FileCreateError("Cannot create file \"" + fileName + "\". " + systemReason(err));
        }
        return;
    }
    int flags = O_RDONLY;
    if ((mode & 3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags = O_RDWR;
    m_fd = ::open(fileName.c_str(), flags | O_CLOEXEC);
    if (m_fd < 0) {
        const int err = errno;
        throw FileOpenError("Cannot open file \"" + fileName + "\". " + systemReason(err));
    }
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        throw FileOpenError("Cannot open file \"" + fileName + "\". " + systemReason(EISDIR));
    }
}

TFileStream::TFileStream(int fd, std::string fileName) : m_fd(fd), m_fileName(std::move(fileName))
{
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, count);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count)
{
    for (;;) {
        const ssize_t n = ::write(m_fd, buffer, count);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin)
{
    int whence = SEEK_SET;
    if (origin == SeekOrigin::Current)
        whence = SEEK_CUR;
    else if (origin == SeekOrigin::End)
        whence = SEEK_END;
    const off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (pos < 0)
        ioError("Cannot seek in", m_fileName);
    return pos;
}

void TFileStream::SetSize(std::int64_t size)
{
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        ioError("Cannot resize", m_fileName);
    if (Position() > size)
        Seek(size, SeekOrigin::Begin);
}

void TFileStream::Flush()
{
    if (::fsync(m_fd) != 0)
        ioError("Cannot write", m_fileName);
}

void TFileStream::Close()
{
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && ::close(fd) != 0)
        ioError("Cannot write", m_fileName);
}

} // namespace rtl

NORVANE_DEFINE_CLASS(TFileStream, rtl::TFileStream)

std::uint16_t TFileStream::resolveMode(const std::string& fileName, std::uint16_t mode)
{
    if ((mode & 0xFF00) != fmOpenOrCreate)
        return mode;
    return ::access(fileName.c_str(), F_OK) == 0 ? static_cast<std::uint16_t>(mode & 0x7FFF)
                                                 : fmCreate;
}

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode)
    : rtl::TFileStream(fileName, resolveMode(fileName, mode))
{
}

namespace {
constexpr std::int64_t kChunk = 16384;
}

void TFileStream::DeleteRange(std::int64_t offset, std::int64_t count)
{
    const std::int64_t saved = Position();
    const std::int64_t size = Size();
    offset = std::clamp<std::int64_t>(offset, 0, size);
    count = std::clamp<std::int64_t>(count, 0, size - offset);
    std::int64_t rest = size - offset - count;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunk));
    std::int64_t to = offset;
    while (rest > 0) {
        const std::int64_t n = std::min(rest, kChunk);
        Seek(to + count, SeekOrigin::Begin);
        ReadBuffer(chunk.data(), static_cast<std::size_t>(n));
        Seek(to, SeekOrigin::Begin);
        WriteBuffer(chunk.data(), static_cast<std::size_t>(n));
        to += n;
        rest -= n;
    }
    Seek(to, SeekOrigin::Begin);
    Truncate();
    if (saved <= to)
        Seek(saved, SeekOrigin::Begin);
}

void TFileStream::InsertGap(std::int64_t offset, std::int64_t count)
{
    const std::int64_t saved = Position();
    const std::int64_t size = Size();
    if (offset < 0 || count <= 0) {
        if (offset < 0 || count < 0)
            throw InOutError("Invalid range in \"" + FileName() + "\"");
        return;
    }
    if (offset >= size) {
        SetSize(offset + count);
    } else {
        std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunk));
        std::int64_t tail = size;
        while (tail > offset) {
            const std::int64_t n = std::min(tail - offset, kChunk);
            Seek(tail - n, SeekOrigin::Begin);
            ReadBuffer(chunk.data(), static_cast<std::size_t>(n));
            Seek(tail - n + count, SeekOrigin::Begin);
            WriteBuffer(chunk.data(), static_cast<std::size_t>(n));
            tail -= n;
        }
    }
    Seek(saved, SeekOrigin::Begin);
}

void TFileStream::Truncate()
{
    SetSize(Position());
}

} // namespace norvane::persist
