#pragma once
/// The object stream: signature "TPF0", then the root object as class name, object name,
/// simple properties and nested objects, values in a tagged little-endian encoding.
/// Included through VSClass.h.

#include "persist/VSClass.h"

namespace norvane::persist {

/// Tag bytes of stored values.
enum class TValueType : std::uint8_t
{
    vaNull = 0x00,
    vaList = 0x01,
    vaInt8 = 0x02,
    vaInt16 = 0x03,
    vaInt32 = 0x04,
    vaExtended = 0x05,
    vaString = 0x06,
    vaFalse = 0x08,
    vaTrue = 0x09,
    vaBinary = 0x0A,
    vaLString = 0x0C,
    vaCollection = 0x0E,
    vaSingle = 0x0F,
    vaDate = 0x11,
    vaWString = 0x12,
    vaInt64 = 0x13,
    vaUTF8String = 0x14,
};

inline constexpr std::array<std::uint8_t, 4> kStreamSignature = {0x54, 0x50, 0x46, 0x30};
/// Objects nested deeper than this are refused, when writing as when reading.
inline constexpr int kMaxObjectDepth = 64;

/// Writes objects and values to a stream through a buffer.
class TObjWriter : public TObject
{
    NORVANE_DECLARE_CLASS
public:
    explicit TObjWriter(TStream& stream, std::size_t bufferSize = 4096);
    /// Writes out what is still buffered; a failure there is lost, so call FlushBuffer first.
    ~TObjWriter() override;

    void WriteSignature();
    /// The object in the object layout under `name`; a null object is the byte 00.
    virtual void WriteObject(TBaseObject* object, std::string_view name);
    void WriteName(std::string_view name);
    bool WriteSimpleProp(const PropRef& field, std::string_view name, TPropKind kind, bool hasData,
                         std::string_view extra, TObject* context);
    bool WriteObjectProp(const PropRef& field, std::string_view name, TPropKind kind, bool hasData,
                         std::string_view extra, TObject* context);

    void WriteValue(TValueType value);
    void WriteInteger(std::int32_t value);
    void WriteInteger64(std::int64_t value);
    /// ASCII text as 06 (up to 255 bytes) or 0C; any other text as 14 with its bytes.
    void WriteString(std::string_view text);
    void WriteBoolean(bool value);
    void WriteBinary(const void* data, std::size_t size);
    void WriteExtended(const TExtended& value);
    void WriteSingle(float value);
    void WriteDate(double value);
    /// 01, the list-kind code, the texts of `list`, 00.
    void WriteStrings(TObject* list);
    /// Writes the buffer to the stream; fails with the stream's error.
    void FlushBuffer();

private:
    void writeBytes(const void* data, std::size_t size);
    void writeSimpleValue(const PropRef& field, std::string_view name, TPropKind kind,
                          std::string_view extra);

    TStream& m_stream;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    int m_depth = 0;
};

/// Reads objects and values from a stream through a buffer. It never reads past the stream,
/// never allocates more than the stream holds, and skips stored properties and nested objects
/// that the object does not declare.
class TObjReader : public TObject
{
    NORVANE_DECLARE_CLASS
public:
    explicit TObjReader(TStream& stream, std::size_t bufferSize = 4096);
    /// Leaves the stream positioned just after what was read.
    ~TObjReader() override;

    /// "Invalid stream format" unless the next four bytes are "TPF0".
    void ReadSignature();
    std::string ReadName();
    std::unique_ptr<TBaseObject> ReadObject();
    std::unique_ptr<TBaseObject> ReadObjectOrNil();
    /// The object name of the object that follows, without consuming it.
    std::string PeekObjectName();
    bool ReadProp(const PropRef& field, std::string_view name, TPropKind kind, bool hasData,
                  std::string_view extra, TObject* context);
    /// The name of the stored property waiting for its field (empty when none).
    const std::string& PendingName() const { return m_pending; }

    TValueType NextValue();
    TValueType ReadValue();
    std::int32_t ReadInteger();
    std::int64_t ReadInteger64();
    /// Text as UTF-8: 06/0C bytes (Windows-1252 when not valid UTF-8), 14, or 12 (UTF-16LE).
    std::string ReadString();
    bool ReadBoolean();
    double ReadFloat();
    float ReadSingle();
    double ReadDate();
    /// Skips one stored value by its tag.
    void SkipValue();
    /// Skips one object in the object layout without creating it.
    void SkipObject();

private:
    enum class Section
    {
        None,
        Simple,
        Nested
    };

    void readBytes(void* data, std::size_t size);
    void skipBytes(std::int64_t size);
    std::uint8_t peekByte();
    std::int64_t remaining();
    void requireAvailable(std::int64_t size);
    std::int64_t position() const { return m_bufStart + static_cast<std::int64_t>(m_bufPos); }
    void seekTo(std::int64_t pos);
    bool fill();
    std::string readRawString(TValueType tag);
    TExtended readExtended();
    void readSimpleValue(const PropRef& field, TPropKind kind, std::string_view extra);
    void readNestedValue(const PropRef& field, TPropKind kind);
    void readProperties(TBaseObject& object);
    void skipValue(int depth);
    friend class DepthGuard;

    TStream& m_stream;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_bufPos = 0;
    std::size_t m_bufEnd = 0;
    std::int64_t m_bufStart = 0;
    std::int64_t m_streamSize = 0;
    std::string m_pending;
    bool m_consumed = false; ///< the pending property's value has been read
    Section m_section = Section::None;
    int m_depth = 0;
};

/// Writes the signature and `object` (null: the byte 00) with an empty object name.
void WriteObjectToStream(TStream& stream, TBaseObject* object);
/// Checks the signature and reads the root object; null for the null marker.
std::unique_ptr<TBaseObject> ReadObjectFromStream(TStream& stream);

} // namespace norvane::persist
