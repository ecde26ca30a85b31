#pragma once
/// Persistent objects, the class registry, the object stream and the persistent lists.
///
/// A persistent class describes its stored fields by overriding `EnumProperties`, which reports
/// every field with its name, storage kind and has-data flag to a handler. The same report
/// drives writing (`TObjWriter`), reading (`TObjReader`) and releasing owned values.

#include "persist/Error.h"
#include "persist/VSPub.h"

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace norvane::persist {

class TObject;
class TBaseObject;
class TObjWriter;
class TObjReader;

/// What a class is: its name, its parent and, for persistent classes, how to create one.
struct TClassInfo
{
    std::string_view name;
    const TClassInfo* parent = nullptr;
    /// The virtual constructor; null for classes a stream cannot create.
    TBaseObject* (*create)() = nullptr;

    bool InheritsFrom(const TClassInfo& other) const;
    /// A new object of this class; throws when the class cannot be created by name.
    std::unique_ptr<TBaseObject> Create() const;
};
using TClass = const TClassInfo*;

namespace detail {
template <class T> constexpr TBaseObject* (*creatorFor())()
{
    if constexpr (std::derived_from<T, TBaseObject> && std::is_default_constructible_v<T> &&
                  !std::is_abstract_v<T>)
        return +[]() -> TBaseObject* { return new T(); };
    else
        return nullptr;
}
} // namespace detail

/// Declares the class metadata members; pair with NORVANE_DEFINE_CLASS in the source file.
#define NORVANE_DECLARE_CLASS                                                                      \
public:                                                                                            \
    static const ::norvane::persist::TClassInfo& StaticClass();                                    \
    const ::norvane::persist::TClassInfo& ClassType() const override;                              \
                                                                                                   \
private:

#define NORVANE_DEFINE_CLASS(Name, Parent)                                                         \
    const ::norvane::persist::TClassInfo& Name::StaticClass()                                      \
    {                                                                                              \
        static const ::norvane::persist::TClassInfo info{                                          \
            #Name, &Parent::StaticClass(), ::norvane::persist::detail::creatorFor<Name>()};        \
        return info;                                                                               \
    }                                                                                              \
    const ::norvane::persist::TClassInfo& Name::ClassType() const                                  \
    {                                                                                              \
        return StaticClass();                                                                      \
    }

/// Root of every class of the library: identity objects with run-time class information.
class TObject
{
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    static const TClassInfo& StaticClass();
    virtual const TClassInfo& ClassType() const;
    std::string_view ClassName() const { return ClassType().name; }
    bool InheritsFrom(const TClassInfo& cls) const { return ClassType().InheritsFrom(cls); }
};

/// An object that can be copied into another of a compatible class.
class TPersistent : public TObject
{
    NORVANE_DECLARE_CLASS
public:
    /// Copies `source` into this object; a null or unsupported source fails with
    /// "Cannot assign a %s to a %s" and leaves this object unchanged.
    virtual void Assign(const TPersistent* source);

protected:
    virtual void AssignTo(TPersistent* destination) const;
    [[noreturn]] void assignError(const TPersistent* destination) const;
};

/// Operation passed through a property enumeration.
enum class TPropOp : std::uint8_t
{
    poFree = 2,
    poWrite = 3,
    poRead = 4
};

/// Storage kind of a property: what its field holds and how it is stored.
enum class TPropKind : std::uint8_t
{
    None = 0,      ///< skipped
    Component = 1, ///< platform component (never stored)
    Collection = 2,
    Object = 3,     ///< owned nested TBaseObject
    List = 4,       ///< owned list, stored through a TListContainer
    String = 5,     ///< std::string
    Raw0 = 6,       ///< a value of 0 bytes
    StringList = 7, ///< owned string list; its texts are the value
    HeapText = 8,   ///< owned NUL-terminated heap text (char*)
    Enum = 9,       ///< 1-byte enumeration stored by name; extra lists the names
    Int32 = 10,
    Int8 = 11,
    Int16 = 12,
    LongInt = 13, ///< same as Int32
    UInt8 = 14,
    UInt16 = 15,
    UInt32 = 16,
    Bool = 17,     ///< 1 byte, 0 or 1
    ByteBool = 18, ///< 1 byte, true reads back as all bits set
    WordBool = 19,
    LongBool = 20,
    Char = 21,
    Double = 22,
    Single = 23,
    Real = 24, ///< same as Double
    Extended = 25,
    Raw8 = 26,
    DateTime = 27,
    Date = 28,
    Time = 29,
    Set1 = 30,
    Set2 = 31,
    Set4 = 32,
    Set8 = 33,
    Set16 = 34,
    Set32 = 35,
    ShortString = 36,
};
inline constexpr int kMaxPropKind = 36;

/// Size in bytes of the raw value of the binary kinds (Raw0, Raw8 and the sets).
constexpr std::size_t binarySize(TPropKind kind)
{
    switch (kind) {
    case TPropKind::Raw0:
        return 0;
    case TPropKind::Raw8:
        return 8;
    default:
        return std::size_t{1} << (static_cast<int>(kind) - static_cast<int>(TPropKind::Set1));
    }
}

/// A 10-byte x87 extended-precision real, kept as its little-endian bytes.
struct TExtended
{
    std::array<std::uint8_t, 10> bytes{};

    static TExtended FromDouble(double value);
    static TExtended FromInt64(std::int64_t value);
    double ToDouble() const;
    friend bool operator==(const TExtended&, const TExtended&) = default;
};
static_assert(sizeof(TExtended) == 10);

/// A short text of at most 255 bytes with its length byte in front.
struct TShortString
{
    std::uint8_t length = 0;
    std::array<char, 255> chars{};

    std::string str() const { return std::string(chars.data(), length); }
    /// Takes at most the first 255 bytes of `text`.
    void assign(std::string_view text);
};
static_assert(sizeof(TShortString) == 256);

/// A reference to the field that holds a property's value, so handlers can read or replace it.
/// Plain values (numbers, Booleans, sets, reals) are raw bytes of a known size; texts, heap
/// texts and object references keep their type. An object field accepts only objects of its
/// declared class; a `std::unique_ptr` field destroys the value it replaces.
class PropRef
{
public:
    enum class Type
    {
        None,
        Bytes,
        String,
        HeapText,
        Object
    };

    PropRef() = default;
    template <class T>
    requires(std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>) PropRef(T* field)
        : m_type(Type::Bytes), m_ptr(field), m_size(sizeof(T))
    {
    }
    PropRef(std::string* field) : m_type(Type::String), m_ptr(field) {}
    PropRef(char** field) : m_type(Type::HeapText), m_ptr(field) {}
    template <class T>
    requires std::derived_from<T, TObject> PropRef(T** field)
        : m_type(Type::Object), m_ptr(field), m_get(&rawGet<T>), m_set(&rawSet<T>),
          m_release(&rawRelease<T>)
    {
    }
    template <class T>
    requires std::derived_from<T, TObject> PropRef(std::unique_ptr<T>* field)
        : m_type(Type::Object), m_ptr(field), m_get(&uniqueGet<T>), m_set(&uniqueSet<T>),
          m_release(&uniqueRelease<T>)
    {
    }

    Type type() const { return m_type; }
    /// The raw value; throws when the field is not a plain value of exactly `size` bytes.
    void* Bytes(std::size_t size) const;
    std::string& String() const;
    char*& HeapText() const;
    TObject* Object() const;
    /// Replaces the reference; false (field unchanged) when `value` is not of the field's class.
    bool SetObject(TObject* value) const;
    /// Destroys the referenced object and nulls the field.
    void FreeObject() const;

private:
    void require(Type t) const;

    template <class T> static TObject* rawGet(void* p) { return *static_cast<T**>(p); }
    template <class T> static bool rawSet(void* p, TObject* value)
    {
        T* typed = dynamic_cast<T*>(value);
        if (value && !typed)
            return false;
        *static_cast<T**>(p) = typed;
        return true;
    }
    template <class T> static TObject* rawRelease(void* p)
    {
        T* old = *static_cast<T**>(p);
        *static_cast<T**>(p) = nullptr;
        return old;
    }
    template <class T> static TObject* uniqueRelease(void* p)
    {
        return static_cast<std::unique_ptr<T>*>(p)->release();
    }
    template <class T> static TObject* uniqueGet(void* p)
    {
        return static_cast<std::unique_ptr<T>*>(p)->get();
    }
    template <class T> static bool uniqueSet(void* p, TObject* value)
    {
        T* typed = dynamic_cast<T*>(value);
        if (value && !typed)
            return false;
        auto* field = static_cast<std::unique_ptr<T>*>(p);
        if (field->get() != typed)
            field->reset(typed);
        return true;
    }

    Type m_type = Type::None;
    void* m_ptr = nullptr;
    std::size_t m_size = 0;
    TObject* (*m_get)(void*) = nullptr;
    bool (*m_set)(void*, TObject*) = nullptr;
    TObject* (*m_release)(void*) = nullptr;
};

/// The property handler: field, name, kind, has-data, extra (kind 9: the ","-separated names),
/// and the context given to `EnumProperties`. The result is ignored by `EnumProperties`.
using TPropProc = std::function<bool(const PropRef& field, std::string_view name, TPropKind kind,
                                     bool hasData, std::string_view extra, TObject* context)>;

/// Root of every object that can be stored in an object stream.
///
/// C++ cannot run a virtual enumeration from a base destructor, so a class that keeps owned
/// values in raw pointer fields calls `ReleaseOwned()` in its own destructor; owned values in
/// `std::unique_ptr` fields release themselves.
class TBaseObject : public TPersistent
{
    NORVANE_DECLARE_CLASS
public:
    TBaseObject() = default;

    virtual void BeforeWrite(TObjWriter& writer);
    virtual void AfterWrite(TObjWriter& writer);
    virtual void BeforeRead(TObjReader& reader);
    virtual void AfterRead(TObjReader& reader);
    /// The handler used for `poFree`: destroys owned objects and heap texts.
    virtual bool FreeProperty(const PropRef& field, std::string_view name, TPropKind kind,
                              bool hasData, std::string_view extra, TObject* context);
    /// Reports the stored properties: ancestors' first, then the class's own in fixed order.
    virtual void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc);

    /// Releases every owned value through `EnumProperties(poFree, ...)`.
    void ReleaseOwned();
};

/// Registers classes and their ancestors up to `TPersistent`.
void RegisterClasses(std::initializer_list<TClass> classes);
void UnRegisterClasses(std::initializer_list<TClass> classes);
/// The registered class of that name (A-Z compare without case); "Class %s not found" if none.
const TClassInfo& FindClass(std::string_view name);
/// Like FindClass, but null for an unknown name.
TClass GetClass(std::string_view name);

} // namespace norvane::persist

#include "persist/VSClassFiles.h"
#include "persist/VSClassLists.h"
#include "persist/VSClassStream.h"
