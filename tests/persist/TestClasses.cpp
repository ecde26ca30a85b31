#include "TestClasses.h"

namespace testing_persist {

Bytes bytesOf(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

Bytes ascii(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes name(std::string_view text)
{
    Bytes out;
    if (text.size() < 255) {
        out.push_back(static_cast<std::uint8_t>(text.size()));
    } else {
        out.push_back(0xFF);
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(text.size() >> (8 * i)));
    }
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

Bytes written(TBaseObject* object)
{
    TMemoryStream stream;
    WriteObjectToStream(stream, object);
    return stream.Bytes();
}

std::unique_ptr<TBaseObject> readBack(const Bytes& bytes)
{
    TMemoryStream stream(bytes);
    return ReadObjectFromStream(stream);
}

NORVANE_DEFINE_CLASS(TAllKinds, TBaseObject)
NORVANE_DEFINE_CLASS(TLeaf, TBaseObject)
NORVANE_DEFINE_CLASS(TEmpty, TBaseObject)
NORVANE_DEFINE_CLASS(TCounted, TBaseObject)
NORVANE_DEFINE_CLASS(TListHolder, TBaseObject)

int TCounted::alive = 0;

TAllKinds::~TAllKinds()
{
    ReleaseOwned();
}

void TAllKinds::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    auto nonZero = [](const auto& v) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        for (std::size_t i = 0; i < sizeof(v); ++i) {
            if (p[i] != 0)
                return true;
        }
        return false;
    };
    proc(PropRef(&child), "Child", TPropKind::Object, child != nullptr, {}, context);
    proc(PropRef(&list), "List", TPropKind::List, list != nullptr, {}, context);
    proc(PropRef(&text), "Text", TPropKind::String, !text.empty(), {}, context);
    if (raw0Present)
        proc(PropRef(), "Raw0", TPropKind::Raw0, true, {}, context);
    proc(PropRef(&strings), "Strings", TPropKind::StringList, strings != nullptr, {}, context);
    proc(PropRef(&heap), "Heap", TPropKind::HeapText, heap != nullptr, {}, context);
    proc(PropRef(&colour), "Colour", TPropKind::Enum, colour != 0, "red,green,blue", context);
    proc(PropRef(&i32), "I32", TPropKind::Int32, i32 != 0, {}, context);
    proc(PropRef(&i8), "I8", TPropKind::Int8, i8 != 0, {}, context);
    proc(PropRef(&i16), "I16", TPropKind::Int16, i16 != 0, {}, context);
    proc(PropRef(&long32), "Long32", TPropKind::LongInt, long32 != 0, {}, context);
    proc(PropRef(&u8), "U8", TPropKind::UInt8, u8 != 0, {}, context);
    proc(PropRef(&u16), "U16", TPropKind::UInt16, u16 != 0, {}, context);
    proc(PropRef(&u32), "U32", TPropKind::UInt32, u32 != 0, {}, context);
    proc(PropRef(&flag), "Flag", TPropKind::Bool, true, {}, context);
    proc(PropRef(&byteBool), "ByteBool", TPropKind::ByteBool, true, {}, context);
    proc(PropRef(&wordBool), "WordBool", TPropKind::WordBool, true, {}, context);
    proc(PropRef(&longBool), "LongBool", TPropKind::LongBool, true, {}, context);
    proc(PropRef(&ch), "Ch", TPropKind::Char, ch != 0, {}, context);
    proc(PropRef(&dbl), "Dbl", TPropKind::Double, dbl != 0, {}, context);
    proc(PropRef(&sgl), "Sgl", TPropKind::Single, sgl != 0, {}, context);
    proc(PropRef(&real), "Real", TPropKind::Real, real != 0, {}, context);
    proc(PropRef(&ext), "Ext", TPropKind::Extended, nonZero(ext), {}, context);
    proc(PropRef(&raw8), "Raw8", TPropKind::Raw8, nonZero(raw8), {}, context);
    proc(PropRef(&when), "When", TPropKind::DateTime, when != 0, {}, context);
    proc(PropRef(&date), "Date", TPropKind::Date, date != 0, {}, context);
    proc(PropRef(&time), "Time", TPropKind::Time, time != 0, {}, context);
    proc(PropRef(&set1), "Set1", TPropKind::Set1, set1 != 0, {}, context);
    proc(PropRef(&set2), "Set2", TPropKind::Set2, set2 != 0, {}, context);
    proc(PropRef(&set4), "Set4", TPropKind::Set4, set4 != 0, {}, context);
    proc(PropRef(&set8), "Set8", TPropKind::Set8, set8 != 0, {}, context);
    proc(PropRef(&set16), "Set16", TPropKind::Set16, nonZero(set16), {}, context);
    proc(PropRef(&set32), "Set32", TPropKind::Set32, nonZero(set32), {}, context);
    proc(PropRef(&shortText), "Short", TPropKind::ShortString, shortText.length != 0, {}, context);
}

TLeaf::~TLeaf()
{
    ReleaseOwned();
}

void TLeaf::Assign(const TPersistent* source)
{
    if (const auto* other = dynamic_cast<const TLeaf*>(source)) {
        FName = other->FName;
        return;
    }
    TBaseObject::Assign(source);
}

void TLeaf::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FName), "FName", TPropKind::String, !FName.empty(), {}, context);
    proc(PropRef(&FNext), "FNext", TPropKind::Object, FNext != nullptr, {}, context);
}

void TCounted::Assign(const TPersistent* source)
{
    if (const auto* other = dynamic_cast<const TCounted*>(source)) {
        FValue = other->FValue;
        return;
    }
    TBaseObject::Assign(source);
}

void TCounted::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FValue), "FValue", TPropKind::Int32, FValue != 0, {}, context);
}

void TListHolder::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&Items), "Items", TPropKind::List, Items != nullptr, {}, context);
}

namespace {
struct Registration
{
    Registration()
    {
        RegisterClasses({&TAllKinds::StaticClass(), &TLeaf::StaticClass(), &TEmpty::StaticClass(),
                         &TCounted::StaticClass(), &TListHolder::StaticClass()});
    }
};
const Registration registration;
} // namespace

} // namespace testing_persist
