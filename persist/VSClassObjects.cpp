#include "persist/VSClass.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace norvane::persist {

bool TClassInfo::InheritsFrom(const TClassInfo& other) const
{
    for (const TClassInfo* c = this; c; c = c->parent) {
        if (c == &other)
            return true;
    }
    return false;
}

std::unique_ptr<TBaseObject> TClassInfo::Create() const
{
    if (!create)
        throw Error("Class " + std::string(name) + " cannot be created by name");
    return std::unique_ptr<TBaseObject>(create());
}

const TClassInfo& TObject::StaticClass()
{
    static const TClassInfo info{"TObject", nullptr, nullptr};
    return info;
}

const TClassInfo& TObject::ClassType() const
{
    return StaticClass();
}

NORVANE_DEFINE_CLASS(TPersistent, TObject)
NORVANE_DEFINE_CLASS(TBaseObject, TPersistent)

void TPersistent::Assign(const TPersistent* source)
{
    if (!source)
        throw ConversionError("Cannot assign a nil to a " + std::string(ClassName()));
    source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* destination) const
{
    assignError(destination);
}

void TPersistent::assignError(const TPersistent* destination) const
{
    throw ConversionError("Cannot assign a " + std::string(ClassName()) + " to a " +
                          std::string(destination ? destination->ClassName() : "nil"));
}

void TBaseObject::BeforeWrite(TObjWriter&) {}
void TBaseObject::AfterWrite(TObjWriter&) {}
void TBaseObject::BeforeRead(TObjReader&) {}
void TBaseObject::AfterRead(TObjReader&) {}

bool TBaseObject::FreeProperty(const PropRef& field, std::string_view, TPropKind kind, bool,
                               std::string_view, TObject*)
{
    switch (kind) {
    case TPropKind::Component:
    case TPropKind::Collection:
    case TPropKind::Object:
    case TPropKind::List:
    case TPropKind::StringList:
        field.FreeObject();
        break;
    case TPropKind::HeapText:
        StrDispose(field.HeapText());
        break;
    default:
        break;
    }
    return true;
}

void TBaseObject::EnumProperties(TPropOp, TObject*, const TPropProc&) {}

void TBaseObject::ReleaseOwned()
{
    EnumProperties(TPropOp::poFree, nullptr,
                   [this](const PropRef& field, std::string_view name, TPropKind kind, bool hasData,
                          std::string_view extra, TObject* context) {
                       return FreeProperty(field, name, kind, hasData, extra, context);
                   });
}

// ---- field references ----

void PropRef::require(Type t) const
{
    if (m_type != t)
        throw Error("Property field does not match its storage kind");
}

void* PropRef::Bytes(std::size_t size) const
{
    if (size == 0 && m_type == Type::None)
        return nullptr;
    require(Type::Bytes);
    if (m_size != size)
        throw Error("Property field of " + std::to_string(m_size) +
                    " bytes does not match its storage kind of " + std::to_string(size) + " bytes");
    return m_ptr;
}

std::string& PropRef::String() const
{
    require(Type::String);
    return *static_cast<std::string*>(m_ptr);
}

char*& PropRef::HeapText() const
{
    require(Type::HeapText);
    return *static_cast<char**>(m_ptr);
}

TObject* PropRef::Object() const
{
    require(Type::Object);
    return m_get(m_ptr);
}

bool PropRef::SetObject(TObject* value) const
{
    require(Type::Object);
    return m_set(m_ptr, value);
}

void PropRef::FreeObject() const
{
    require(Type::Object);
    // The field is null before the object dies, so nothing can reach it half-destroyed.
    delete m_release(m_ptr);
}

// ---- class registry ----

namespace {

struct NameLess
{
    static char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
    bool operator()(std::string_view a, std::string_view b) const
    {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return upper(x) < upper(y); });
    }
};

std::map<std::string_view, TClass, NameLess>& registry()
{
    static std::map<std::string_view, TClass, NameLess> classes;
    return classes;
}

} // namespace

void RegisterClasses(std::initializer_list<TClass> classes)
{
    auto& reg = registry();
    for (TClass cls : classes) {
        for (TClass c = cls; c; c = c->parent) {
            const auto it = reg.find(c->name);
            if (it != reg.end()) {
                if (it->second != c)
                    throw FilerError("A class named " + std::string(c->name) + " already exists");
                break;
            }
            reg.emplace(c->name, c);
            if (c == &TPersistent::StaticClass())
                break;
        }
    }
}

void UnRegisterClasses(std::initializer_list<TClass> classes)
{
    auto& reg = registry();
    for (TClass cls : classes) {
        const auto it = reg.find(cls->name);
        if (it != reg.end() && it->second == cls)
            reg.erase(it);
    }
}

TClass GetClass(std::string_view name)
{
    const auto& reg = registry();
    const auto it = reg.find(name);
    return it == reg.end() ? nullptr : it->second;
}

const TClassInfo& FindClass(std::string_view name)
{
    TClass cls = GetClass(name);
    if (!cls)
        throw ClassNotFoundError("Class " + std::string(name) + " not found");
    return *cls;
}

// ---- value types ----

void TShortString::assign(std::string_view text)
{
    length = static_cast<std::uint8_t>(std::min<std::size_t>(text.size(), chars.size()));
    chars.fill('\0');
    std::memcpy(chars.data(), text.data(), length);
}

namespace {

TExtended packExtended(bool negative, int exponent, std::uint64_t mantissa)
{
    TExtended e;
    for (int i = 0; i < 8; ++i)
        e.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mantissa >> (8 * i));
    const auto se = static_cast<std::uint16_t>((negative ? 0x8000 : 0) | (exponent & 0x7FFF));
    e.bytes[8] = static_cast<std::uint8_t>(se & 0xFF);
    e.bytes[9] = static_cast<std::uint8_t>(se >> 8);
    return e;
}

/// An extended value from a non-zero magnitude `m` times two to the power `exp2`.
TExtended normalised(bool negative, std::uint64_t m, int exp2)
{
    const int shift = std::countl_zero(m);
    m <<= shift;
    int exponent = exp2 + 63 - shift + 16383;
    if (exponent <= 0) {
        // Below the normal range: a denormal keeps the exponent field 0.
        const int down = 1 - exponent;
        m = down >= 64 ? 0 : m >> down;
        exponent = 0;
    }
    return packExtended(negative, exponent, m);
}

} // namespace

TExtended TExtended::FromDouble(double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int exp = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
    if (exp == 0x7FF)
        return packExtended(negative, 0x7FFF, (std::uint64_t{1} << 63) | (frac << 11));
    if (exp == 0) {
        if (frac == 0)
            return packExtended(negative, 0, 0);
        return normalised(negative, frac, -1074);
    }
    return packExtended(negative, exp - 1023 + 16383, (std::uint64_t{1} << 63) | (frac << 11));
}

TExtended TExtended::FromInt64(std::int64_t value)
{
    if (value == 0)
        return packExtended(false, 0, 0);
    const bool negative = value < 0;
    const std::uint64_t m =
        negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    return normalised(negative, m, 0);
}

double TExtended::ToDouble() const
{
    std::uint64_t m = 0;
    for (int i = 7; i >= 0; --i)
        m = (m << 8) | bytes[static_cast<std::size_t>(i)];
    const int se = bytes[8] | (bytes[9] << 8);
    const bool negative = (se & 0x8000) != 0;
    const int exponent = se & 0x7FFF;
    double result = 0;
    if (exponent == 0x7FFF) {
        result = (m << 1) == 0 ? HUGE_VAL : std::numeric_limits<double>::quiet_NaN();
    } else if (m != 0) {
        const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        result = std::ldexp(static_cast<double>(m), e);
    }
    return negative ? -result : result;
}

} // namespace norvane::persist
