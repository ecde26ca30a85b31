#include "persist/VSClass.h"

#include <bit>
#include <climits>
#include <cstring>

namespace norvane::persist {

NORVANE_DEFINE_CLASS(TObjWriter, TObject)

namespace {

template <class T> void putLE(std::uint8_t* out, T value)
{
    using U = std::make_unsigned_t<T>;
    const auto u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

template <class T> T loadField(const PropRef& field)
{
    T value;
    std::memcpy(&value, field.Bytes(sizeof(T)), sizeof(T));
    return value;
}

} // namespace

TObjWriter::TObjWriter(TStream& stream, std::size_t bufferSize)
    : m_stream(stream), m_buffer(bufferSize == 0 ? 1 : bufferSize)
{
}

TObjWriter::~TObjWriter()
{
    try {
        FlushBuffer();
    } catch (...) {
        // A destructor cannot report; WriteObjectToStream flushes explicitly before this.
    }
}

void TObjWriter::FlushBuffer()
{
    const std::size_t n = m_used;
    m_used = 0;
    if (n > 0)
        m_stream.WriteBuffer(m_buffer.data(), n);
}

void TObjWriter::writeBytes(const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (m_used == m_buffer.size())
            FlushBuffer();
        const std::size_t n = std::min(size, m_buffer.size() - m_used);
        std::memcpy(m_buffer.data() + m_used, p, n);
        m_used += n;
        p += n;
        size -= n;
    }
}

void TObjWriter::WriteSignature()
{
    writeBytes(kStreamSignature.data(), kStreamSignature.size());
}

void TObjWriter::WriteValue(TValueType value)
{
    const auto b = static_cast<std::uint8_t>(value);
    writeBytes(&b, 1);
}

void TObjWriter::WriteName(std::string_view name)
{
    if (name.size() > static_cast<std::size_t>(INT32_MAX))
        throw WriteError("Name too long to store");
    if (name.size() < 255) {
        const auto len = static_cast<std::uint8_t>(name.size());
        writeBytes(&len, 1);
    } else {
        std::uint8_t head[5] = {0xFF};
        putLE(head + 1, static_cast<std::int32_t>(name.size()));
        writeBytes(head, sizeof head);
    }
    writeBytes(name.data(), name.size());
}

void TObjWriter::WriteInteger(std::int32_t value)
{
    std::uint8_t out[5];
    if (value >= -128 && value <= 127) {
        out[0] = static_cast<std::uint8_t>(TValueType::vaInt8);
        putLE(out + 1, static_cast<std::int8_t>(value));
        writeBytes(out, 2);
    } else if (value >= -32768 && value <= 32767) {
        out[0] = static_cast<std::uint8_t>(TValueType::vaInt16);
        putLE(out + 1, static_cast<std::int16_t>(value));
        writeBytes(out, 3);
    } else {
        out[0] = static_cast<std::uint8_t>(TValueType::vaInt32);
        putLE(out + 1, value);
        writeBytes(out, 5);
    }
}

void TObjWriter::WriteInteger64(std::int64_t value)
{
    if (value >= INT32_MIN && value <= INT32_MAX) {
        WriteInteger(static_cast<std::int32_t>(value));
        return;
    }
    std::uint8_t out[9];
    out[0] = static_cast<std::uint8_t>(TValueType::vaInt64);
    putLE(out + 1, value);
    writeBytes(out, sizeof out);
}

void TObjWriter::WriteString(std::string_view text)
{
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        throw WriteError("Text too long to store");
    std::uint8_t head[5];
    if (IsAscii(text) && text.size() <= 255) {
        head[0] = static_cast<std::uint8_t>(TValueType::vaString);
        head[1] = static_cast<std::uint8_t>(text.size());
        writeBytes(head, 2);
    } else {
        // Text that is not plain ASCII is stored as UTF-8, byte for byte.
        head[0] = static_cast<std::uint8_t>(IsAscii(text) ? TValueType::vaLString
                                                          : TValueType::vaUTF8String);
        putLE(head + 1, static_cast<std::int32_t>(text.size()));
        writeBytes(head, sizeof head);
    }
    writeBytes(text.data(), text.size());
}

void TObjWriter::WriteBoolean(bool value)
{
    WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TObjWriter::WriteBinary(const void* data, std::size_t size)
{
    std::uint8_t head[5];
    head[0] = static_cast<std::uint8_t>(TValueType::vaBinary);
    putLE(head + 1, static_cast<std::int32_t>(size));
    writeBytes(head, sizeof head);
    writeBytes(data, size);
}

void TObjWriter::WriteExtended(const TExtended& value)
{
    WriteValue(TValueType::vaExtended);
    writeBytes(value.bytes.data(), value.bytes.size());
}

void TObjWriter::WriteSingle(float value)
{
    std::uint8_t out[5];
    out[0] = static_cast<std::uint8_t>(TValueType::vaSingle);
    putLE(out + 1, std::bit_cast<std::uint32_t>(value));
    writeBytes(out, sizeof out);
}

void TObjWriter::WriteDate(double value)
{
    std::uint8_t out[9];
    out[0] = static_cast<std::uint8_t>(TValueType::vaDate);
    putLE(out + 1, std::bit_cast<std::uint64_t>(value));
    writeBytes(out, sizeof out);
}

void TObjWriter::WriteStrings(TObject* list)
{
    WriteValue(TValueType::vaList);
    WriteInteger(ClassifyList(list));
    if (const rtl::TStringList* strings = StringsOf(list)) {
        for (int i = 0; i < strings->Count(); ++i)
            WriteString(strings->Strings(i));
    }
    WriteValue(TValueType::vaNull);
}

void TObjWriter::WriteObject(TBaseObject* object, std::string_view name)
{
    if (!object) {
        WriteValue(TValueType::vaNull);
        return;
    }
    if (m_depth >= kMaxObjectDepth)
        throw WriteError("Objects are nested too deeply to store");
    ++m_depth;
    WriteName(object->ClassName());
    WriteName(name);
    object->BeforeWrite(*this);
    object->EnumProperties(TPropOp::poWrite, this,
                           [this](const PropRef& f, std::string_view n, TPropKind k, bool h,
                                  std::string_view e,
                                  TObject* c) { return WriteSimpleProp(f, n, k, h, e, c); });
    WriteValue(TValueType::vaNull);
    object->EnumProperties(TPropOp::poWrite, this,
                           [this](const PropRef& f, std::string_view n, TPropKind k, bool h,
                                  std::string_view e,
                                  TObject* c) { return WriteObjectProp(f, n, k, h, e, c); });
    WriteValue(TValueType::vaNull);
    object->AfterWrite(*this);
    --m_depth;
}

bool TObjWriter::WriteSimpleProp(const PropRef& field, std::string_view name, TPropKind kind,
                                 bool hasData, std::string_view extra, TObject*)
{
    if (!hasData || static_cast<int>(kind) <= static_cast<int>(TPropKind::List) ||
        static_cast<int>(kind) > kMaxPropKind)
        return true;
    WriteName(name);
    writeSimpleValue(field, name, kind, extra);
    return true;
}

void TObjWriter::writeSimpleValue(const PropRef& field, std::string_view name, TPropKind kind,
                                  std::string_view extra)
{
    switch (kind) {
    case TPropKind::String:
        WriteString(field.String());
        break;
    case TPropKind::StringList:
        WriteStrings(field.Object());
        break;
    case TPropKind::HeapText: {
        const char* text = field.HeapText();
        WriteString(std::string_view(text ? text : ""));
        break;
    }
    case TPropKind::Enum:
        WriteString(GetField(extra, ",", loadField<std::uint8_t>(field)));
        break;
    case TPropKind::Int32:
    case TPropKind::LongInt:
        WriteInteger(loadField<std::int32_t>(field));
        break;
    case TPropKind::Int8:
        WriteInteger(loadField<std::int8_t>(field));
        break;
    case TPropKind::Int16:
        WriteInteger(loadField<std::int16_t>(field));
        break;
    case TPropKind::UInt8:
        WriteInteger(loadField<std::uint8_t>(field));
        break;
    case TPropKind::UInt16:
        WriteInteger(loadField<std::uint16_t>(field));
        break;
    case TPropKind::UInt32:
        WriteInteger64(loadField<std::uint32_t>(field));
        break;
    case TPropKind::Bool:
    case TPropKind::ByteBool:
        WriteBoolean(loadField<std::uint8_t>(field) != 0);
        break;
    case TPropKind::WordBool:
        WriteBoolean(loadField<std::uint16_t>(field) != 0);
        break;
    case TPropKind::LongBool:
        WriteBoolean(loadField<std::uint32_t>(field) != 0);
        break;
    case TPropKind::Char: {
        const char c = loadField<char>(field);
        WriteString(std::string_view(&c, 1));
        break;
    }
    case TPropKind::Double:
    case TPropKind::Real:
        WriteExtended(TExtended::FromDouble(loadField<double>(field)));
        break;
    case TPropKind::Single:
        WriteSingle(loadField<float>(field));
        break;
    case TPropKind::Extended:
        WriteExtended(loadField<TExtended>(field));
        break;
    case TPropKind::DateTime:
    case TPropKind::Date:
    case TPropKind::Time:
        WriteDate(loadField<double>(field));
        break;
    case TPropKind::ShortString:
        WriteString(loadField<TShortString>(field).str());
        break;
    case TPropKind::Raw0:
    case TPropKind::Raw8:
    case TPropKind::Set1:
    case TPropKind::Set2:
    case TPropKind::Set4:
    case TPropKind::Set8:
    case TPropKind::Set16:
    case TPropKind::Set32: {
        const std::size_t size = binarySize(kind);
        WriteBinary(field.Bytes(size), size);
        break;
    }
    default:
        throw WriteError("Property " + std::string(name) + " has no storable kind");
    }
}

bool TObjWriter::WriteObjectProp(const PropRef& field, std::string_view name, TPropKind kind,
                                 bool hasData, std::string_view, TObject*)
{
    if (!hasData)
        return true;
    switch (kind) {
    case TPropKind::Object: {
        // A null reference would write the byte 00 and end the nested section early.
        TObject* value = field.Object();
        if (!value)
            break;
        auto* object = dynamic_cast<TBaseObject*>(value);
        if (!object)
            throw WriteError("Property " + std::string(name) + " of class " +
                             std::string(value->ClassName()) + " cannot be stored");
        WriteObject(object, name);
        break;
    }
    case TPropKind::List: {
        if (!field.Object())
            break;
        TListContainer container;
        container.SetList(field.Object());
        WriteObject(&container, name);
        break;
    }
    case TPropKind::Component:
    case TPropKind::Collection:
        throw WriteError("Property " + std::string(name) +
                         ": components and collections cannot be stored");
    default:
        break;
    }
    return true;
}

void WriteObjectToStream(TStream& stream, TBaseObject* object)
{
    TObjWriter writer(stream);
    writer.WriteSignature();
    writer.WriteObject(object, {});
    writer.FlushBuffer();
}

} // namespace norvane::persist
