#include "persist/VSClass.h"

#include <bit>
#include <cstring>

namespace norvane::persist {

NORVANE_DEFINE_CLASS(TObjReader, TObject)

namespace {

[[noreturn]] void invalidValue()
{
    throw ReadError("Invalid property value");
}

[[noreturn]] void readError()
{
    throw ReadError("Stream read error");
}

template <class T> T getLE(const std::uint8_t* in)
{
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        u = static_cast<U>(u | (static_cast<U>(in[i]) << (8 * i)));
    return static_cast<T>(u);
}

template <class T> void store(const PropRef& field, T value)
{
    std::memcpy(field.Bytes(sizeof(T)), &value, sizeof(T));
}

} // namespace

/// Counts nesting of objects and values, refusing what is deeper than kMaxObjectDepth.
class DepthGuard
{
public:
    explicit DepthGuard(TObjReader& reader) : m_reader(reader)
    {
        if (m_reader.m_depth >= kMaxObjectDepth)
            throw ReadError("Objects are nested too deeply");
        ++m_reader.m_depth;
    }
    ~DepthGuard() { --m_reader.m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    TObjReader& m_reader;
};

TObjReader::TObjReader(TStream& stream, std::size_t bufferSize)
    : m_stream(stream), m_buffer(bufferSize == 0 ? 1 : bufferSize)
{
    m_bufStart = m_stream.Position();
    m_streamSize = m_stream.Size();
}

TObjReader::~TObjReader()
{
    try {
        m_stream.Seek(position(), SeekOrigin::Begin);
    } catch (...) {
        // Positioning after the read is a courtesy; the reading itself already ended.
    }
}

// ---- buffered input ----

bool TObjReader::fill()
{
    m_bufStart += static_cast<std::int64_t>(m_bufEnd);
    m_bufPos = 0;
    m_bufEnd = m_stream.Read(m_buffer.data(), m_buffer.size());
    return m_bufEnd > 0;
}

void TObjReader::readBytes(void* data, std::size_t size)
{
    auto* out = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        if (m_bufPos == m_bufEnd && !fill())
            readError();
        const std::size_t n = std::min(size, m_bufEnd - m_bufPos);
        std::memcpy(out, m_buffer.data() + m_bufPos, n);
        m_bufPos += n;
        out += n;
        size -= n;
    }
}

std::uint8_t TObjReader::peekByte()
{
    if (m_bufPos == m_bufEnd && !fill())
        readError();
    return m_buffer[m_bufPos];
}

std::int64_t TObjReader::remaining()
{
    return std::max<std::int64_t>(0, m_streamSize - position());
}

void TObjReader::requireAvailable(std::int64_t size)
{
    // Length fields are checked against what the stream holds before anything is allocated.
    if (size < 0 || size > remaining())
        readError();
}

void TObjReader::seekTo(std::int64_t pos)
{
    if (pos >= m_bufStart && pos <= m_bufStart + static_cast<std::int64_t>(m_bufEnd)) {
        m_bufPos = static_cast<std::size_t>(pos - m_bufStart);
        return;
    }
    m_stream.Seek(pos, SeekOrigin::Begin);
    m_bufStart = pos;
    m_bufPos = 0;
    m_bufEnd = 0;
}

void TObjReader::skipBytes(std::int64_t size)
{
    requireAvailable(size);
    seekTo(position() + size);
}

// ---- values ----

void TObjReader::ReadSignature()
{
    std::array<std::uint8_t, 4> sig{};
    if (remaining() < static_cast<std::int64_t>(sig.size()))
        throw ReadError("Invalid stream format");
    readBytes(sig.data(), sig.size());
    if (sig != kStreamSignature)
        throw ReadError("Invalid stream format");
}

std::string TObjReader::ReadName()
{
    std::uint8_t len8 = 0;
    readBytes(&len8, 1);
    std::int64_t len = len8;
    if (len8 == 0xFF) {
        std::uint8_t raw[4];
        readBytes(raw, sizeof raw);
        len = getLE<std::int32_t>(raw);
    }
    requireAvailable(len);
    std::string name(static_cast<std::size_t>(len), '\0');
    readBytes(name.data(), name.size());
    return name;
}

TValueType TObjReader::NextValue()
{
    return static_cast<TValueType>(peekByte());
}

TValueType TObjReader::ReadValue()
{
    std::uint8_t tag = 0;
    readBytes(&tag, 1);
    return static_cast<TValueType>(tag);
}

std::int32_t TObjReader::ReadInteger()
{
    std::uint8_t raw[4];
    switch (ReadValue()) {
    case TValueType::vaInt8:
        readBytes(raw, 1);
        return getLE<std::int8_t>(raw);
    case TValueType::vaInt16:
        readBytes(raw, 2);
        return getLE<std::int16_t>(raw);
    case TValueType::vaInt32:
        readBytes(raw, 4);
        return getLE<std::int32_t>(raw);
    default:
        invalidValue();
    }
}

std::int64_t TObjReader::ReadInteger64()
{
    if (NextValue() != TValueType::vaInt64)
        return ReadInteger();
    ReadValue();
    std::uint8_t raw[8];
    readBytes(raw, sizeof raw);
    return getLE<std::int64_t>(raw);
}

std::string TObjReader::readRawString(TValueType tag)
{
    std::int64_t len = 0;
    if (tag == TValueType::vaString) {
        std::uint8_t len8 = 0;
        readBytes(&len8, 1);
        len = len8;
    } else if (tag == TValueType::vaLString || tag == TValueType::vaUTF8String) {
        std::uint8_t raw[4];
        readBytes(raw, sizeof raw);
        len = getLE<std::int32_t>(raw);
        if (len < 0)
            invalidValue();
    } else if (tag == TValueType::vaWString) {
        std::uint8_t raw[4];
        readBytes(raw, sizeof raw);
        const std::int64_t units = getLE<std::int32_t>(raw);
        if (units < 0)
            invalidValue();
        requireAvailable(units * 2);
        std::u16string wide(static_cast<std::size_t>(units), u'\0');
        for (char16_t& unit : wide) {
            readBytes(raw, 2);
            unit = getLE<std::uint16_t>(raw);
        }
        return Utf16ToUtf8(wide);
    } else {
        invalidValue();
    }
    requireAvailable(len);
    std::string text(static_cast<std::size_t>(len), '\0');
    readBytes(text.data(), text.size());
    return text;
}

std::string TObjReader::ReadString()
{
    const TValueType tag = ReadValue();
    std::string text = readRawString(tag);
    // Short and long strings hold code-page bytes: UTF-8 when they are valid UTF-8,
    // Windows-1252 otherwise.
    if ((tag == TValueType::vaString || tag == TValueType::vaLString) && !IsValidUtf8(text))
        return Cp1252ToUtf8(text);
    return text;
}

bool TObjReader::ReadBoolean()
{
    return ReadValue() == TValueType::vaTrue;
}

TExtended TObjReader::readExtended()
{
    if (NextValue() != TValueType::vaExtended)
        return TExtended::FromInt64(ReadInteger64());
    ReadValue();
    TExtended value;
    readBytes(value.bytes.data(), value.bytes.size());
    return value;
}

double TObjReader::ReadFloat()
{
    return readExtended().ToDouble();
}

float TObjReader::ReadSingle()
{
    if (NextValue() != TValueType::vaSingle)
        return static_cast<float>(ReadInteger64());
    ReadValue();
    std::uint8_t raw[4];
    readBytes(raw, sizeof raw);
    return std::bit_cast<float>(getLE<std::uint32_t>(raw));
}

double TObjReader::ReadDate()
{
    if (NextValue() != TValueType::vaDate)
        return static_cast<double>(ReadInteger64());
    ReadValue();
    std::uint8_t raw[8];
    readBytes(raw, sizeof raw);
    return std::bit_cast<double>(getLE<std::uint64_t>(raw));
}

void TObjReader::SkipValue()
{
    skipValue(0);
}

void TObjReader::skipValue(int depth)
{
    if (depth >= kMaxObjectDepth)
        throw ReadError("Values are nested too deeply");
    std::uint8_t raw[4];
    switch (ReadValue()) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
        return;
    case TValueType::vaList:
        while (NextValue() != TValueType::vaNull)
            skipValue(depth + 1);
        ReadValue();
        return;
    case TValueType::vaInt8:
        return skipBytes(1);
    case TValueType::vaInt16:
        return skipBytes(2);
    case TValueType::vaInt32:
    case TValueType::vaSingle:
        return skipBytes(4);
    case TValueType::vaExtended:
        return skipBytes(10);
    case TValueType::vaDate:
    case TValueType::vaInt64:
        return skipBytes(8);
    case TValueType::vaString:
        readBytes(raw, 1);
        return skipBytes(raw[0]);
    case TValueType::vaBinary:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
        readBytes(raw, 4);
        return skipBytes(getLE<std::int32_t>(raw));
    case TValueType::vaWString:
        readBytes(raw, 4);
        return skipBytes(std::int64_t{getLE<std::int32_t>(raw)} * 2);
    default:
        invalidValue();
    }
}

// ---- objects ----

std::unique_ptr<TBaseObject> TObjReader::ReadObjectOrNil()
{
    if (NextValue() == TValueType::vaNull) {
        ReadValue();
        return nullptr;
    }
    return ReadObject();
}

std::unique_ptr<TBaseObject> TObjReader::ReadObject()
{
    DepthGuard guard(*this);
    const std::string className = ReadName();
    const TClassInfo& cls = FindClass(className);
    if (!cls.create)
        throw ReadError("Class " + className + " cannot be read from a stream");
    ReadName();
    std::unique_ptr<TBaseObject> object = cls.Create();
    object->BeforeRead(*this);
    readProperties(*object);
    object->AfterRead(*this);
    return object;
}

void TObjReader::readProperties(TBaseObject& object)
{
    // A nested object is read from inside the enclosing object's ReadProp: keep that
    // object's reading state so its loop does not mistake the property for an unknown one.
    const Section outer = m_section;
    const bool outerConsumed = m_consumed;
    const TPropProc handler = [this](const PropRef& f, std::string_view n, TPropKind k, bool h,
                                     std::string_view e,
                                     TObject* c) { return ReadProp(f, n, k, h, e, c); };
    m_section = Section::Simple;
    while (NextValue() != TValueType::vaNull) {
        m_pending = ReadName();
        m_consumed = false;
        object.EnumProperties(TPropOp::poRead, this, handler);
        // A name the object does not declare: skip its value so reading stays in step.
        if (!m_consumed)
            SkipValue();
        m_pending.clear();
    }
    ReadValue();
    m_section = Section::Nested;
    while (NextValue() != TValueType::vaNull) {
        m_pending = PeekObjectName();
        m_consumed = false;
        object.EnumProperties(TPropOp::poRead, this, handler);
        if (!m_consumed)
            SkipObject();
        m_pending.clear();
    }
    ReadValue();
    m_section = outer;
    m_consumed = outerConsumed;
}

void TObjReader::SkipObject()
{
    DepthGuard guard(*this);
    ReadName();
    ReadName();
    while (NextValue() != TValueType::vaNull) {
        ReadName();
        SkipValue();
    }
    ReadValue();
    while (NextValue() != TValueType::vaNull)
        SkipObject();
    ReadValue();
}

std::string TObjReader::PeekObjectName()
{
    const std::int64_t start = position();
    ReadName();
    std::string name = ReadName();
    seekTo(start);
    return name;
}

bool TObjReader::ReadProp(const PropRef& field, std::string_view name, TPropKind kind, bool,
                          std::string_view extra, TObject*)
{
    if (m_consumed || m_pending.empty() || !SameName(name, m_pending))
        return true;
    const int k = static_cast<int>(kind);
    // Values belong to the simple section and objects to the nested one; a name that matches
    // in the wrong section is treated as unknown so the stream stays in step.
    if (m_section == Section::Simple &&
        (k < static_cast<int>(TPropKind::String) || k > kMaxPropKind))
        return true;
    if (m_section == Section::Nested && (k < 1 || k > static_cast<int>(TPropKind::List)))
        return true;
    m_consumed = true;
    m_pending.clear();
    if (kind == TPropKind::Component || kind == TPropKind::Collection)
        throw ReadError("Property " + std::string(name) +
                        ": components and collections cannot be read");
    if (kind == TPropKind::Object || kind == TPropKind::List || kind == TPropKind::StringList)
        field.FreeObject();
    if (m_section == Section::Nested)
        readNestedValue(field, kind);
    else
        readSimpleValue(field, kind, extra);
    return false;
}

void TObjReader::readNestedValue(const PropRef& field, TPropKind kind)
{
    std::unique_ptr<TBaseObject> object = ReadObject();
    if (kind == TPropKind::Object) {
        if (!field.SetObject(object.get()))
            invalidValue();
        static_cast<void>(object.release()); // the field owns it now
        return;
    }
    auto* container = dynamic_cast<TListContainer*>(object.get());
    if (!container)
        invalidValue();
    std::unique_ptr<TObject> list = container->TakeList();
    if (!list || !field.SetObject(list.get()))
        invalidValue();
    static_cast<void>(list.release()); // the field owns it now
}

void TObjReader::readSimpleValue(const PropRef& field, TPropKind kind, std::string_view extra)
{
    switch (kind) {
    case TPropKind::String:
        field.String() = ReadString();
        break;
    case TPropKind::StringList: {
        if (ReadValue() != TValueType::vaList)
            invalidValue();
        std::unique_ptr<TObject> list = CreateList(ReadInteger());
        rtl::TStringList* strings = StringsOf(list.get());
        while (NextValue() != TValueType::vaNull) {
            std::string text = ReadString();
            if (strings)
                strings->Add(text);
        }
        ReadValue();
        if (!field.SetObject(list.get()))
            invalidValue();
        static_cast<void>(list.release()); // the field owns it now
        break;
    }
    case TPropKind::HeapText: {
        const std::string text = ReadString();
        StrAppend(field.HeapText(), {text});
        break;
    }
    case TPropKind::Enum: {
        const std::string text = ReadString();
        const std::ptrdiff_t count = FieldCount(extra, ",");
        std::ptrdiff_t index = count;
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            if (GetField(extra, ",", i) == text) {
                index = i;
                break;
            }
        }
        store(field, static_cast<std::uint8_t>(index));
        break;
    }
    case TPropKind::Int32:
    case TPropKind::LongInt:
        store(field, ReadInteger());
        break;
    case TPropKind::Int8:
    case TPropKind::UInt8:
        store(field, static_cast<std::uint8_t>(ReadInteger()));
        break;
    case TPropKind::Int16:
    case TPropKind::UInt16:
        store(field, static_cast<std::uint16_t>(ReadInteger()));
        break;
    case TPropKind::UInt32:
        store(field, static_cast<std::uint32_t>(ReadInteger64()));
        break;
    case TPropKind::Bool:
        store(field, static_cast<std::uint8_t>(ReadBoolean() ? 1 : 0));
        break;
    case TPropKind::ByteBool:
        store(field, static_cast<std::uint8_t>(ReadBoolean() ? 0xFF : 0));
        break;
    case TPropKind::WordBool:
        store(field, static_cast<std::uint16_t>(ReadBoolean() ? 0xFFFF : 0));
        break;
    case TPropKind::LongBool:
        store(field, static_cast<std::uint32_t>(ReadBoolean() ? 0xFFFFFFFFu : 0));
        break;
    case TPropKind::Char: {
        const TValueType tag = ReadValue();
        // One byte as stored: a character is not text that needs a code-page conversion.
        const std::string text = readRawString(tag);
        if (text.size() != 1)
            invalidValue();
        store(field, text[0]);
        break;
    }
    case TPropKind::Double:
    case TPropKind::Real:
        store(field, ReadFloat());
        break;
    case TPropKind::Single:
        store(field, ReadSingle());
        break;
    case TPropKind::Extended:
        store(field, readExtended());
        break;
    case TPropKind::DateTime:
    case TPropKind::Date:
    case TPropKind::Time:
        store(field, ReadDate());
        break;
    case TPropKind::ShortString: {
        TShortString value;
        value.assign(ReadString());
        store(field, value);
        break;
    }
    default: {
        const std::size_t size = binarySize(kind);
        if (ReadValue() != TValueType::vaBinary)
            invalidValue();
        std::uint8_t raw[4];
        readBytes(raw, sizeof raw);
        // A stored length that differs from the field's size is refused, never copied over it.
        if (getLE<std::int32_t>(raw) != static_cast<std::int32_t>(size))
            invalidValue();
        void* target = field.Bytes(size);
        if (size > 0)
            readBytes(target, size);
        break;
    }
    }
}

std::unique_ptr<TBaseObject> ReadObjectFromStream(TStream& stream)
{
    TObjReader reader(stream);
    reader.ReadSignature();
    return reader.ReadObjectOrNil();
}

} // namespace norvane::persist
