#include "TestClasses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace testing_persist;

namespace {

/// The stream of a TAllKinds root whose simple section holds exactly `props`.
Bytes allKindsStream(const Bytes& props)
{
    return concat({ascii("TPF0"), name("TAllKinds"), name(""), props, bytesOf({0, 0})});
}

/// The stored bytes of the simple section of a written TAllKinds, without the Booleans that
/// are always written.
Bytes simpleSection(TAllKinds& object)
{
    const Bytes all = written(&object);
    const Bytes head = concat({ascii("TPF0"), name("TAllKinds"), name("")});
    Bytes section(all.begin() + static_cast<std::ptrdiff_t>(head.size()), all.end() - 2);
    // Remove the four Boolean properties wherever they are.
    for (const Bytes& b :
         {concat({name("Flag"), bytesOf({8})}), concat({name("ByteBool"), bytesOf({8})}),
          concat({name("WordBool"), bytesOf({8})}), concat({name("LongBool"), bytesOf({8})})}) {
        auto it = std::search(section.begin(), section.end(), b.begin(), b.end());
        if (it != section.end())
            section.erase(it, it + static_cast<std::ptrdiff_t>(b.size()));
    }
    return section;
}

std::unique_ptr<TAllKinds> readAllKinds(const Bytes& bytes)
{
    auto object = readBack(bytes);
    auto* typed = dynamic_cast<TAllKinds*>(object.get());
    if (!typed)
        return nullptr;
    object.release();
    return std::unique_ptr<TAllKinds>(typed);
}

} // namespace

TEST(ObjectStream, WritesIntegersInTheSmallestTag)
{
    struct Case
    {
        std::int32_t value;
        Bytes encoded;
    };
    const Case cases[] = {
        {100, bytesOf({0x02, 0x64})},
        {3306, bytesOf({0x03, 0xEA, 0x0C})},
        {70000, bytesOf({0x04, 0x70, 0x11, 0x01, 0x00})},
        {127, bytesOf({0x02, 0x7F})},
        {128, bytesOf({0x03, 0x80, 0x00})},
        {-128, bytesOf({0x02, 0x80})},
        {-129, bytesOf({0x03, 0x7F, 0xFF})},
        {32767, bytesOf({0x03, 0xFF, 0x7F})},
        {32768, bytesOf({0x04, 0x00, 0x80, 0x00, 0x00})},
        {-32768, bytesOf({0x03, 0x00, 0x80})},
        {-32769, bytesOf({0x04, 0xFF, 0x7F, 0xFF, 0xFF})},
        {INT32_MIN, bytesOf({0x04, 0x00, 0x00, 0x00, 0x80})},
    };
    for (const auto& c : cases) {
        TAllKinds object;
        object.i32 = c.value;
        EXPECT_EQ(simpleSection(object), concat({name("I32"), c.encoded})) << c.value;
        auto back = readAllKinds(written(&object));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->i32, c.value);
    }
}

TEST(ObjectStream, ReadsEveryIntegerTagSignExtended)
{
    auto a = readAllKinds(allKindsStream(concat({name("I32"), bytesOf({0x02, 0xFF})})));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->i32, -1);
    auto b = readAllKinds(allKindsStream(concat({name("I32"), bytesOf({0x03, 0x00, 0x80})})));
    EXPECT_EQ(b->i32, -32768);
    auto c = readAllKinds(
        allKindsStream(concat({name("U32"), bytesOf({0x13, 1, 2, 3, 4, 5, 6, 7, 8})})));
    EXPECT_EQ(c->u32, 0x04030201u); // low 32 bits of a 64-bit value
    auto d = readAllKinds(allKindsStream(concat({name("U8"), bytesOf({0x03, 0x34, 0x12})})));
    EXPECT_EQ(d->u8, 0x34);
}

TEST(ObjectStream, WritesUnsigned32BitValuesFrom2To31AsInt64)
{
    TAllKinds object;
    object.u32 = 0x80000000u;
    EXPECT_EQ(simpleSection(object),
              concat({name("U32"), bytesOf({0x13, 0, 0, 0, 0x80, 0, 0, 0, 0})}));
    EXPECT_EQ(readAllKinds(written(&object))->u32, 0x80000000u);
    object.u32 = 0xFFFFFFFFu;
    EXPECT_EQ(readAllKinds(written(&object))->u32, 0xFFFFFFFFu);
    object.u32 = 0x7FFFFFFFu;
    EXPECT_EQ(simpleSection(object),
              concat({name("U32"), bytesOf({0x04, 0xFF, 0xFF, 0xFF, 0x7F})}));
}

TEST(ObjectStream, NameLengthSwitchesToFiveBytesAt255)
{
    EXPECT_EQ(name(std::string(254, 'n')).size(), 255u);
    TMemoryStream s254;
    {
        TObjWriter w(s254);
        w.WriteName(std::string(254, 'n'));
    }
    ASSERT_EQ(s254.Bytes().size(), 255u);
    EXPECT_EQ(s254.Bytes()[0], 254);

    TMemoryStream s255;
    {
        TObjWriter w(s255);
        w.WriteName(std::string(255, 'n'));
    }
    ASSERT_EQ(s255.Bytes().size(), 260u);
    EXPECT_EQ(Bytes(s255.Bytes().begin(), s255.Bytes().begin() + 5),
              bytesOf({0xFF, 0xFF, 0x00, 0x00, 0x00}));

    TMemoryStream s300;
    {
        TObjWriter w(s300);
        w.WriteName(std::string(300, 'n'));
    }
    EXPECT_EQ(Bytes(s300.Bytes().begin(), s300.Bytes().begin() + 5),
              bytesOf({0xFF, 0x2C, 0x01, 0x00, 0x00}));
    s300.SetPosition(0);
    TObjReader r(s300);
    EXPECT_EQ(r.ReadName(), std::string(300, 'n'));
}

TEST(ObjectStream, ChoosesTheStringTagByContentAndLength)
{
    struct Case
    {
        std::string text;
        Bytes head;
    };
    const Case cases[] = {
        {"dbhost", bytesOf({0x06, 0x06})},
        {std::string(255, 'x'), bytesOf({0x06, 0xFF})},
        {std::string(256, 'x'), bytesOf({0x0C, 0x00, 0x01, 0x00, 0x00})},
        {std::string(300, 'x'), bytesOf({0x0C, 0x2C, 0x01, 0x00, 0x00})},
        {"café", bytesOf({0x14, 0x05, 0x00, 0x00, 0x00})},
        {"сервер", bytesOf({0x14, 0x0C, 0x00, 0x00, 0x00})},
        {"\xE9", bytesOf({0x14, 0x01, 0x00, 0x00, 0x00})}, // not UTF-8: kept byte for byte
    };
    for (const auto& c : cases) {
        TAllKinds object;
        object.text = c.text;
        EXPECT_EQ(simpleSection(object), concat({name("Text"), c.head, ascii(c.text)})) << c.text;
        EXPECT_EQ(readAllKinds(written(&object))->text, c.text);
    }
}

TEST(ObjectStream, ReadsCodePageUtf8AndUtf16Strings)
{
    struct Case
    {
        Bytes value;
        std::string text;
    };
    const Case cases[] = {
        {bytesOf({0x06, 0x05, 'c', 'a', 'f', 0xC3, 0xA9}), "café"}, // valid UTF-8 kept
        {bytesOf({0x06, 0x04, 'c', 'a', 'f', 0xE9}), "café"},       // Windows-1252
        {bytesOf({0x0C, 0x02, 0, 0, 0, 0x80, 'x'}), "€x"},
        {bytesOf({0x14, 0x02, 0, 0, 0, 0xC3, 0xA9}), "é"},
        {bytesOf({0x12, 0x02, 0, 0, 0, 0x21, 0x04, 0x42, 0x00}), "СB"}, // UTF-16LE
        {bytesOf({0x06, 0x00}), ""},
    };
    for (const auto& c : cases) {
        auto back = readAllKinds(allKindsStream(concat({name("Text"), c.value})));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->text, c.text);
    }
}

TEST(ObjectStream, RoundTripsEveryKind)
{
    TAllKinds object;
    object.text = "Grüße";
    auto strings = std::make_unique<TStringList>();
    strings->Add("one");
    strings->Add("два");
    object.strings = std::move(strings);
    StrAppend(object.heap, {"heap text"});
    object.colour = 2;
    object.i32 = -123456;
    object.i8 = -5;
    object.i16 = -300;
    object.long32 = 99999;
    object.u8 = 250;
    object.u16 = 65000;
    object.u32 = 4000000000u;
    object.flag = 1;
    object.byteBool = 7;
    object.wordBool = 2;
    object.longBool = 0x100;
    object.ch = 'Q';
    object.dbl = 3.141592653589793;
    object.sgl = 1.5f;
    object.real = -2.5e-300;
    object.ext = TExtended::FromDouble(6.02214076e23);
    object.raw8 = {1, 2, 3, 4, 5, 6, 7, 8};
    object.when = 45000.75;
    object.date = 45000;
    object.time = 0.5;
    object.set1 = 0x81;
    object.set2 = 0x8001;
    object.set4 = 0xDEADBEEF;
    object.set8 = 0x0123456789ABCDEFull;
    object.set16.fill(0x5A);
    object.set32.fill(0xA5);
    object.shortText.assign("short one");
    object.raw0Present = true;
    auto* leaf = new TLeaf;
    leaf->FName = "child";
    object.child = leaf;
    auto* stack = new TStack;
    stack->SetOwnsObjects(true);
    auto* item = new TLeaf;
    item->FName = "in stack";
    stack->Push(item);
    object.list = stack;

    const Bytes stream = written(&object);
    auto back = readAllKinds(stream);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text, object.text);
    auto* backStrings = dynamic_cast<TStringList*>(back->strings.get());
    ASSERT_NE(backStrings, nullptr);
    ASSERT_EQ(backStrings->Count(), 2);
    EXPECT_EQ(backStrings->Strings(1), "два");
    EXPECT_STREQ(back->heap, "heap text");
    EXPECT_EQ(back->colour, 2);
    EXPECT_EQ(back->i32, object.i32);
    EXPECT_EQ(back->i8, object.i8);
    EXPECT_EQ(back->i16, object.i16);
    EXPECT_EQ(back->long32, object.long32);
    EXPECT_EQ(back->u8, object.u8);
    EXPECT_EQ(back->u16, object.u16);
    EXPECT_EQ(back->u32, object.u32);
    EXPECT_EQ(back->flag, 1);
    EXPECT_EQ(back->byteBool, 0xFF); // true reads back as all bits set
    EXPECT_EQ(back->wordBool, 0xFFFF);
    EXPECT_EQ(back->longBool, 0xFFFFFFFFu);
    EXPECT_EQ(back->ch, 'Q');
    EXPECT_EQ(back->dbl, object.dbl);
    EXPECT_EQ(back->sgl, object.sgl);
    EXPECT_EQ(back->real, object.real);
    EXPECT_EQ(back->ext, object.ext);
    EXPECT_EQ(back->raw8, object.raw8);
    EXPECT_EQ(back->when, object.when);
    EXPECT_EQ(back->date, object.date);
    EXPECT_EQ(back->time, object.time);
    EXPECT_EQ(back->set1, object.set1);
    EXPECT_EQ(back->set2, object.set2);
    EXPECT_EQ(back->set4, object.set4);
    EXPECT_EQ(back->set8, object.set8);
    EXPECT_EQ(back->set16, object.set16);
    EXPECT_EQ(back->set32, object.set32);
    EXPECT_EQ(back->shortText.str(), "short one");
    auto* backLeaf = dynamic_cast<TLeaf*>(back->child);
    ASSERT_NE(backLeaf, nullptr);
    EXPECT_EQ(backLeaf->FName, "child");
    auto* backStack = dynamic_cast<TStack*>(back->list);
    ASSERT_NE(backStack, nullptr);
    ASSERT_EQ(backStack->Count(), 1);
    EXPECT_EQ(dynamic_cast<TLeaf*>(backStack->Items(0))->FName, "in stack");
    // Writing what was read gives the same bytes (Raw0 is reported on request only).
    back->raw0Present = true;
    EXPECT_EQ(written(back.get()), stream);
}

TEST(ObjectStream, StoresEachKindWithItsDocumentedTag)
{
    struct Case
    {
        const char* what;
        std::function<void(TAllKinds&)> set;
        Bytes stored;
    };
    const Case cases[] = {
        {"enum", [](TAllKinds& o) { o.colour = 1; },
         concat({name("Colour"), bytesOf({0x06, 5}), ascii("green")})},
        {"int8", [](TAllKinds& o) { o.i8 = -1; }, concat({name("I8"), bytesOf({0x02, 0xFF})})},
        {"uint16", [](TAllKinds& o) { o.u16 = 0xFFFF; },
         concat({name("U16"), bytesOf({0x04, 0xFF, 0xFF, 0, 0})})},
        {"char", [](TAllKinds& o) { o.ch = 'z'; }, concat({name("Ch"), bytesOf({0x06, 1, 'z'})})},
        {"double", [](TAllKinds& o) { o.dbl = 1.0; },
         concat({name("Dbl"), bytesOf({0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})})},
        {"single", [](TAllKinds& o) { o.sgl = 1.0f; },
         concat({name("Sgl"), bytesOf({0x0F, 0, 0, 0x80, 0x3F})})},
        {"date", [](TAllKinds& o) { o.when = 2.0; },
         concat({name("When"), bytesOf({0x11, 0, 0, 0, 0, 0, 0, 0, 0x40})})},
        {"set2", [](TAllKinds& o) { o.set2 = 0x0102; },
         concat({name("Set2"), bytesOf({0x0A, 2, 0, 0, 0, 0x02, 0x01})})},
        {"raw0", [](TAllKinds& o) { o.raw0Present = true; },
         concat({name("Raw0"), bytesOf({0x0A, 0, 0, 0, 0})})},
        {"strings", [](TAllKinds& o) {
             auto l = std::make_unique<rtl::TStringList>();
             l->Add("a");
             o.strings = std::move(l);
         },
         concat({name("Strings"), bytesOf({0x01, 0x02, 0x02, 0x06, 1, 'a', 0x00})})},
        {"stack as strings", [](TAllKinds& o) { o.strings = std::make_unique<TStack>(); },
         concat({name("Strings"), bytesOf({0x01, 0x02, 0x03, 0x00})})},
    };
    for (const auto& c : cases) {
        TAllKinds object;
        c.set(object);
        EXPECT_EQ(simpleSection(object), c.stored) << c.what;
    }
}

TEST(ObjectStream, EnumNameOutsideTheListReadsAsTheNameCount)
{
    auto back =
        readAllKinds(allKindsStream(concat({name("Colour"), bytesOf({0x06, 4}), ascii("pink")})));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->colour, 3);
    auto exact =
        readAllKinds(allKindsStream(concat({name("Colour"), bytesOf({0x06, 4}), ascii("BLUE")})));
    EXPECT_EQ(exact->colour, 3); // names compare byte for byte
}

TEST(ObjectStream, ReadsNumbersStoredAsIntegersIntoReals)
{
    auto back = readAllKinds(allKindsStream(
        concat({name("Dbl"), bytesOf({0x02, 7}), name("Sgl"), bytesOf({0x03, 0x00, 0x01}),
                name("When"), bytesOf({0x13, 0, 0, 0, 0, 1, 0, 0, 0})})));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->dbl, 7.0);
    EXPECT_EQ(back->sgl, 256.0f);
    EXPECT_EQ(back->when, 4294967296.0);
}

TEST(ObjectStream, ExtendedConversionKeepsDoublesExactly)
{
    for (double v : {0.0, -0.0, 1.0, -1.5, 1e-310, 1.7976931348623157e308, 5e-324, 123456.789}) {
        EXPECT_EQ(TExtended::FromDouble(v).ToDouble(), v) << v;
        EXPECT_EQ(std::signbit(TExtended::FromDouble(v).ToDouble()), std::signbit(v));
    }
    EXPECT_TRUE(std::isinf(TExtended::FromDouble(HUGE_VAL).ToDouble()));
    EXPECT_TRUE(std::isnan(TExtended::FromDouble(std::nan("")).ToDouble()));
    EXPECT_EQ(TExtended::FromInt64(-42).ToDouble(), -42.0);
    EXPECT_EQ(TExtended::FromInt64(INT64_MIN).ToDouble(), -9223372036854775808.0);
    EXPECT_EQ(TExtended::FromInt64(3).bytes, TExtended::FromDouble(3.0).bytes);
}

TEST(ObjectStream, ShortTextIsCutTo255OnReading)
{
    auto back = readAllKinds(allKindsStream(
        concat({name("Short"), bytesOf({0x0C, 0x2C, 0x01, 0, 0}), ascii(std::string(300, 's'))})));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->shortText.length, 255);
    EXPECT_EQ(back->shortText.str(), std::string(255, 's'));
}

TEST(ObjectStream, HeapTextIsAppendedToTheFieldsText)
{
    TMemoryStream stream(allKindsStream(concat({name("Heap"), bytesOf({0x06, 2}), ascii("cd")})));
    TObjReader reader(stream);
    reader.ReadSignature();
    auto object = reader.ReadObject();
    auto* all = dynamic_cast<TAllKinds*>(object.get());
    ASSERT_NE(all, nullptr);
    EXPECT_STREQ(all->heap, "cd");
    // A second value for the same heap text appends.
    auto twice =
        readAllKinds(allKindsStream(concat({name("Heap"), bytesOf({0x06, 2}), ascii("ab"),
                                            name("HEAP"), bytesOf({0x06, 2}), ascii("cd")})));
    EXPECT_STREQ(twice->heap, "abcd");
}

TEST(ObjectStream, MatchesNamesWithoutCaseAndInAnyOrder)
{
    auto back = readAllKinds(
        allKindsStream(concat({name("u8"), bytesOf({0x02, 9}), name("TEXT"),
                               bytesOf({0x06, 1, 'x'}), name("i32"), bytesOf({0x02, 4})})));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->u8, 9);
    EXPECT_EQ(back->text, "x");
    EXPECT_EQ(back->i32, 4);
}

TEST(ObjectStream, PropertiesWithoutDataAreAbsentAndKeepConstructorValues)
{
    TAllKinds object;
    const Bytes stream = written(&object);
    const Bytes expected =
        allKindsStream(concat({name("Flag"), bytesOf({8}), name("ByteBool"), bytesOf({8}),
                               name("WordBool"), bytesOf({8}), name("LongBool"), bytesOf({8})}));
    EXPECT_EQ(stream, expected);
}

TEST(ObjectStream, NullRootIsSignatureAndZero)
{
    EXPECT_EQ(written(nullptr), bytesOf({0x54, 0x50, 0x46, 0x30, 0x00}));
    EXPECT_EQ(readBack(bytesOf({0x54, 0x50, 0x46, 0x30, 0x00})), nullptr);
}

TEST(ObjectStream, ClassWithoutPropertiesIsItsNameAndTwoEmptySections)
{
    TEmpty empty;
    const Bytes expected = concat({ascii("TPF0"), name("TEmpty"), name(""), bytesOf({0, 0})});
    EXPECT_EQ(written(&empty), expected);
    auto back = readBack(expected);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->ClassName(), "TEmpty");
}

TEST(ObjectStream, NestedObjectsUseThePropertyNameAsObjectName)
{
    TLeaf root;
    root.FName = "r";
    auto* next = new TLeaf;
    next->FName = "n";
    root.FNext = next;
    const Bytes expected =
        concat({ascii("TPF0"), name("TLeaf"), name(""), name("FName"), bytesOf({6, 1, 'r', 0}),
                name("TLeaf"), name("FNext"), name("FName"), bytesOf({6, 1, 'n', 0, 0, 0})});
    EXPECT_EQ(written(&root), expected);
    auto back = readBack(expected);
    auto* leaf = dynamic_cast<TLeaf*>(back.get());
    ASSERT_NE(leaf, nullptr);
    ASSERT_NE(leaf->FNext, nullptr);
    EXPECT_EQ(static_cast<TLeaf*>(leaf->FNext)->FName, "n");
}

TEST(ObjectStream, WriterFlushesThroughItsBufferInBlocks)
{
    TAllKinds object;
    object.text = std::string(10000, 'b');
    const Bytes stream = written(&object);
    auto back = readAllKinds(stream);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text, object.text);
}
