#pragma once
// Persistent classes used by the persistence tests, and byte helpers.

#include "persist/VSClass.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing_persist {

using namespace norvane::persist;

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::initializer_list<int> values);
Bytes ascii(std::string_view text);
Bytes concat(std::initializer_list<Bytes> parts);
/// The stream of `object`: signature and root.
Bytes written(TBaseObject* object);
std::unique_ptr<TBaseObject> readBack(const Bytes& bytes);
/// A name in the name encoding.
Bytes name(std::string_view text);

/// One field of every stored kind from 5 to 36, and the owned kinds 3, 4 and 7.
class TAllKinds : public TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TAllKinds() = default;
    ~TAllKinds() override;

    std::string text;
    std::unique_ptr<TObject> strings;
    char* heap = nullptr;
    std::uint8_t colour = 0; // kind 9 over "red,green,blue"
    std::int32_t i32 = 0;
    std::int8_t i8 = 0;
    std::int16_t i16 = 0;
    std::int32_t long32 = 0;
    std::uint8_t u8 = 0;
    std::uint16_t u16 = 0;
    std::uint32_t u32 = 0;
    std::uint8_t flag = 0;
    std::uint8_t byteBool = 0;
    std::uint16_t wordBool = 0;
    std::uint32_t longBool = 0;
    char ch = 0;
    double dbl = 0;
    float sgl = 0;
    double real = 0;
    TExtended ext;
    std::array<std::uint8_t, 8> raw8{};
    double when = 0;
    double date = 0;
    double time = 0;
    std::uint8_t set1 = 0;
    std::uint16_t set2 = 0;
    std::uint32_t set4 = 0;
    std::uint64_t set8 = 0;
    std::array<std::uint8_t, 16> set16{};
    std::array<std::uint8_t, 32> set32{};
    TShortString shortText;
    TBaseObject* child = nullptr; // kind 3, raw owned pointer
    TObject* list = nullptr;      // kind 4, raw owned pointer
    bool raw0Present = false;     // reports the kind-6 property when set

    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override;
};

/// A named child with one text, for nesting.
class TLeaf : public TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    std::string FName;
    TBaseObject* FNext = nullptr; // kind 3, owned: builds deep chains
    ~TLeaf() override;
    void Assign(const TPersistent* source) override;
    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override;
};

/// A class that reports no properties at all.
class TEmpty : public TBaseObject
{
    NORVANE_DECLARE_CLASS
};

/// Counts live instances, to show what is destroyed and what is not.
class TCounted : public TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    static int alive;
    std::int32_t FValue = 0;
    TCounted() { ++alive; }
    ~TCounted() override { --alive; }
    void Assign(const TPersistent* source) override;
    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override;
};

/// Holds one list of any kind under the property `Items` (kind 4).
class TListHolder : public TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    std::unique_ptr<TObject> Items;
    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override;
};

} // namespace testing_persist
