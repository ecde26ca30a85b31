#include "TestClasses.h"

#include <gtest/gtest.h>

using namespace testing_persist;

namespace {

/// The message of the error that reading `bytes` raises; empty when reading succeeds.
std::string readFailure(const Bytes& bytes)
{
    try {
        readBack(bytes);
    } catch (const norvane::Error& e) {
        return e.what();
    }
    return {};
}

Bytes leafStream(const Bytes& simple, const Bytes& nested = {})
{
    return concat(
        {ascii("TPF0"), name("TLeaf"), name(""), simple, bytesOf({0}), nested, bytesOf({0})});
}

Bytes sampleStream()
{
    TLeaf root;
    root.FName = "root";
    auto* next = new TLeaf;
    next->FName = "next";
    root.FNext = next;
    return written(&root);
}

} // namespace

TEST(StreamErrors, WrongOrShortSignatureIsInvalidStreamFormat)
{
    EXPECT_EQ(readFailure(ascii("TPF1\0")), "Invalid stream format");
    EXPECT_EQ(readFailure(ascii("TP")), "Invalid stream format");
    EXPECT_EQ(readFailure(Bytes{}), "Invalid stream format");
}

TEST(StreamErrors, EveryTruncationIsAStreamReadError)
{
    const Bytes full = sampleStream();
    for (std::size_t n = 4; n < full.size(); ++n) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(readFailure(cut), "Stream read error") << "cut at " << n;
    }
    EXPECT_EQ(readFailure(full), "");
}

TEST(StreamErrors, UnexpectedTagsAreInvalidPropertyValues)
{
    struct Case
    {
        const char* what;
        Bytes props;
    };
    const Case cases[] = {
        {"string where an integer is due", concat({name("FValue"), bytesOf({0x06, 1, 'x'})})},
        {"integer where a string is due", concat({name("FName"), bytesOf({0x02, 1})})},
        {"unknown tag", concat({name("Unknown"), bytesOf({0x07, 1, 'x'})})},
        {"negative long string", concat({name("FName"), bytesOf({0x0C, 0xFF, 0xFF, 0xFF, 0xFF})})},
        {"collection", concat({name("Unknown"), bytesOf({0x0E})})},
    };
    for (const auto& c : cases) {
        const Bytes stream = concat({ascii("TPF0"), name(c.what[0] == 's' ? "TCounted" : "TLeaf"),
                                     name(""), c.props, bytesOf({0, 0})});
        EXPECT_EQ(readFailure(stream), "Invalid property value") << c.what;
    }
}

TEST(StreamErrors, UnknownClassIsClassNotFound)
{
    EXPECT_EQ(readFailure(concat({ascii("TPF0"), name("TMystery"), name(""), bytesOf({0, 0})})),
              "Class TMystery not found");
}

TEST(StreamErrors, ClassesThatAreNotPersistentObjectsAreRefused)
{
    EXPECT_EQ(readFailure(concat({ascii("TPF0"), name("TPersistent"), name(""), bytesOf({0, 0})})),
              "Class TPersistent cannot be read from a stream");
}

TEST(StreamRecovery, UnknownPropertiesAreSkippedByTheirTag)
{
    const Bytes unknownValues = concat({
        name("Int8"),
        bytesOf({0x02, 1}),
        name("Int16"),
        bytesOf({0x03, 1, 2}),
        name("Int32"),
        bytesOf({0x04, 1, 2, 3, 4}),
        name("Int64"),
        bytesOf({0x13, 1, 2, 3, 4, 5, 6, 7, 8}),
        name("Ext"),
        bytesOf({0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}),
        name("Short"),
        bytesOf({0x06, 3}),
        ascii("abc"),
        name("Long"),
        bytesOf({0x0C, 2, 0, 0, 0}),
        ascii("de"),
        name("Utf8"),
        bytesOf({0x14, 1, 0, 0, 0, 'f'}),
        name("Wide"),
        bytesOf({0x12, 1, 0, 0, 0, 'g', 0}),
        name("Bin"),
        bytesOf({0x0A, 1, 0, 0, 0, 9}),
        name("Single"),
        bytesOf({0x0F, 0, 0, 0x80, 0x3F}),
        name("Date"),
        bytesOf({0x11, 0, 0, 0, 0, 0, 0, 0, 0}),
        name("True"),
        bytesOf({0x09}),
        name("False"),
        bytesOf({0x08}),
        name("Nil"),
        bytesOf({0x00}),
        name("List"),
        bytesOf({0x01, 0x02, 1, 0x01, 0x06, 1, 'x', 0x00, 0x00}),
    });
    const Bytes stream =
        leafStream(concat({unknownValues, name("FName"), bytesOf({0x06, 2}), ascii("ok")}));
    auto back = readBack(stream);
    auto* leaf = dynamic_cast<TLeaf*>(back.get());
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->FName, "ok");
}

TEST(StreamRecovery, UnknownNestedObjectsAreSkippedByTheirLayout)
{
    const Bytes unknownChild =
        concat({name("TUnregistered"), name("Ghost"), name("P"), bytesOf({0x06, 1, 'p', 0}),
                name("TAlso"), name("Inner"), bytesOf({0, 0}), bytesOf({0})});
    const Bytes known =
        concat({name("TLeaf"), name("FNext"), name("FName"), bytesOf({0x06, 1, 'k', 0, 0})});
    auto back = readBack(leafStream(concat({name("FName"), bytesOf({0x06, 1, 'r'})}),
                                    concat({unknownChild, known})));
    auto* leaf = dynamic_cast<TLeaf*>(back.get());
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->FName, "r");
    ASSERT_NE(leaf->FNext, nullptr);
    EXPECT_EQ(static_cast<TLeaf*>(leaf->FNext)->FName, "k");
}

TEST(StreamRecovery, UnknownLastPropertyOfANestedObjectKeepsTheOuterInStep)
{
    // The nested object ends with a property it does not know; the outer object must still
    // take that nested object as read instead of skipping whatever follows it.
    const Bytes inner =
        concat({name("TLeaf"), name("FNext"), name("FName"), bytesOf({0x06, 1, 'k'}), name("Newer"),
                bytesOf({0x06, 1, 'x', 0, 0})});
    auto back = readBack(leafStream(concat({name("FName"), bytesOf({0x06, 1, 'r'})}), inner));
    auto* leaf = dynamic_cast<TLeaf*>(back.get());
    ASSERT_NE(leaf, nullptr);
    ASSERT_NE(leaf->FNext, nullptr);
    EXPECT_EQ(static_cast<TLeaf*>(leaf->FNext)->FName, "k");
}

TEST(StreamRecovery, ANameInTheWrongSectionIsSkippedNotMisread)
{
    // FNext is an object property: as a simple value it is unknown and skipped by its tag.
    auto back = readBack(leafStream(
        concat({name("FNext"), bytesOf({0x06, 1, 'x'}), name("FName"), bytesOf({0x06, 1, 'y'})})));
    auto* leaf = dynamic_cast<TLeaf*>(back.get());
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->FName, "y");
    EXPECT_EQ(leaf->FNext, nullptr);
}

TEST(StreamErrors, BinaryLengthMustMatchTheField)
{
    const Bytes props = concat({name("Set2"), bytesOf({0x0A, 3, 0, 0, 0, 1, 2, 3})});
    const Bytes stream =
        concat({ascii("TPF0"), name("TAllKinds"), name(""), props, bytesOf({0, 0})});
    EXPECT_EQ(readFailure(stream), "Invalid property value");
}

TEST(StreamErrors, LengthFieldsBeyondTheStreamFailWithoutAllocating)
{
    const Bytes hugeString =
        leafStream(concat({name("FName"), bytesOf({0x0C, 0xFF, 0xFF, 0xFF, 0x7F})}));
    EXPECT_EQ(readFailure(hugeString), "Stream read error");
    const Bytes hugeWide =
        leafStream(concat({name("FName"), bytesOf({0x12, 0xFF, 0xFF, 0xFF, 0x7F})}));
    EXPECT_EQ(readFailure(hugeWide), "Stream read error");
    const Bytes hugeName = concat({ascii("TPF0"), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x7F})});
    EXPECT_EQ(readFailure(hugeName), "Stream read error");
    const Bytes hugeSkip =
        leafStream(concat({name("Unknown"), bytesOf({0x0A, 0xFF, 0xFF, 0xFF, 0x7F})}));
    EXPECT_EQ(readFailure(hugeSkip), "Stream read error");
}

TEST(StreamErrors, DeepNestingIsRefusedBeforeTheStackRunsOut)
{
    // 10000 nested TLeaf objects would recurse 10000 levels.
    Bytes stream = ascii("TPF0");
    const int depth = 10000;
    for (int i = 0; i < depth; ++i) {
        const Bytes head = concat({name("TLeaf"), name(i == 0 ? "" : "FNext"), bytesOf({0})});
        stream.insert(stream.end(), head.begin(), head.end());
    }
    for (int i = 0; i < depth * 2; ++i)
        stream.push_back(0);
    EXPECT_EQ(readFailure(stream), "Objects are nested too deeply");

    Bytes lists = leafStream(concat({name("Unknown")}));
    lists.resize(lists.size() - 2);
    for (int i = 0; i < depth; ++i)
        lists.push_back(0x01);
    EXPECT_EQ(readFailure(lists), "Values are nested too deeply");
}

TEST(StreamErrors, WriterRefusesWhatTheReaderWouldRefuse)
{
    TLeaf root;
    TLeaf* tail = &root;
    for (int i = 0; i < kMaxObjectDepth; ++i) {
        auto* next = new TLeaf;
        tail->FNext = next;
        tail = next;
    }
    TMemoryStream stream;
    EXPECT_THROW(WriteObjectToStream(stream, &root), norvane::WriteError);

    TLeaf shallow;
    shallow.FNext = new TLeaf;
    auto back = readBack(written(&shallow));
    EXPECT_NE(back, nullptr);
}

TEST(StreamErrors, HugeListCountNeitherHangsNorAllocates)
{
    // ListCount 2^31-1 with a TList: the objects that follow are matched by name only.
    const Bytes container = concat(
        {name("TListContainer"), name("Items"), name("ListType"), bytesOf({0x02, 0x04}),
         name("ListCount"), bytesOf({0x04, 0xFF, 0xFF, 0xFF, 0x7F}), name("Strings"),
         bytesOf({0x01, 0x02, 0x04, 0x00}), bytesOf({0}), name("TLeaf"), name("Object_2000000000"),
         name("FName"), bytesOf({0x06, 1, 'z', 0, 0}), bytesOf({0})});
    const Bytes stream = concat(
        {ascii("TPF0"), name("TListHolder"), name(""), bytesOf({0}), container, bytesOf({0})});
    auto back = readBack(stream);
    auto* holder = dynamic_cast<TListHolder*>(back.get());
    ASSERT_NE(holder, nullptr);
    auto* list = dynamic_cast<rtl::TList*>(holder->Items.get());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count(), 1);
}

TEST(StreamErrors, ObjectsForMissingStringEntriesAreRefused)
{
    // ListCount says 3 but the strings hold one entry: Object_2 has no entry to attach to.
    const Bytes container =
        concat({name("TListContainer"), name("Items"), name("ListType"), bytesOf({0x02, 0x01}),
                name("ListCount"), bytesOf({0x02, 0x03}), name("Strings"),
                bytesOf({0x01, 0x02, 0x01, 0x06, 1, 'a', 0x00}), bytesOf({0}), name("TLeaf"),
                name("Object_2"), bytesOf({0, 0}), bytesOf({0})});
    const Bytes stream = concat(
        {ascii("TPF0"), name("TListHolder"), name(""), bytesOf({0}), container, bytesOf({0})});
    EXPECT_EQ(readFailure(stream), "List index out of bounds (2)");
}

TEST(StreamErrors, ListPropertyMustHoldAListOfTheFieldsClass)
{
    // TStoredStrList keeps a library string list; a stored TList does not fit it.
    const Bytes container =
        concat({name("TListContainer"), name("List"), name("ListType"), bytesOf({0x02, 0x04}),
                name("ListCount"), bytesOf({0x02, 0x00}), name("Strings"),
                bytesOf({0x01, 0x02, 0x04, 0x00}), bytesOf({0, 0})});
    const Bytes stream = concat(
        {ascii("TPF0"), name("TStoredStrList"), name(""), bytesOf({0}), container, bytesOf({0})});
    EXPECT_EQ(readFailure(stream), "Invalid property value");

    const Bytes noList = concat({name("TListContainer"), name("List"), bytesOf({0, 0})});
    EXPECT_EQ(readFailure(concat({ascii("TPF0"), name("TStoredStrList"), name(""), bytesOf({0}),
                                  noList, bytesOf({0})})),
              "Invalid property value");
}

TEST(StreamErrors, DuplicateObjectsReplaceWithoutLeaking)
{
    TCounted::alive = 0;
    const Bytes counted = concat({name("TCounted"), name("Object_0"), bytesOf({0, 0})});
    const Bytes container =
        concat({name("TListContainer"), name("Items"), name("ListType"), bytesOf({0x02, 0x01}),
                name("ListCount"), bytesOf({0x02, 0x01}), name("Strings"),
                bytesOf({0x01, 0x02, 0x01, 0x06, 1, 'a', 0x00}), bytesOf({0}), counted, counted,
                bytesOf({0})});
    {
        auto back = readBack(concat(
            {ascii("TPF0"), name("TListHolder"), name(""), bytesOf({0}), container, bytesOf({0})}));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(TCounted::alive, 1);
    }
    EXPECT_EQ(TCounted::alive, 0);
}

TEST(StreamErrors, FailedReadDestroysEverythingItCreated)
{
    TCounted::alive = 0;
    const Bytes counted = concat({name("TCounted"), name("Object_0"), bytesOf({0, 0})});
    const Bytes container = concat(
        {name("TListContainer"), name("Items"), name("ListType"), bytesOf({0x02, 0x01}),
         name("ListCount"), bytesOf({0x02, 0x02}), name("Strings"),
         bytesOf({0x01, 0x02, 0x01, 0x06, 1, 'a', 0x06, 1, 'b', 0x00}), bytesOf({0}), counted});
    EXPECT_EQ(readFailure(
                  concat({ascii("TPF0"), name("TListHolder"), name(""), bytesOf({0}), container})),
              "Stream read error");
    EXPECT_EQ(TCounted::alive, 0);
}

TEST(StreamErrors, ComponentAndCollectionKindsAreRefusedClearly)
{
    class TWithComponent : public TBaseObject
    {
    public:
        TObject* component = nullptr;
        void EnumProperties(TPropOp, TObject* context, const TPropProc& proc) override
        {
            proc(PropRef(&component), "Comp", TPropKind::Component, true, {}, context);
        }
    };
    TWithComponent object;
    TLeaf dummy;
    object.component = &dummy;
    TMemoryStream stream;
    EXPECT_THROW(WriteObjectToStream(stream, &object), norvane::WriteError);
}
