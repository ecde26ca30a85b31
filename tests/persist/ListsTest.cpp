#include "TestClasses.h"

#include <gtest/gtest.h>

using namespace testing_persist;

namespace {

TLeaf* leaf(const std::string& n)
{
    auto* l = new TLeaf;
    l->FName = n;
    return l;
}

std::string leafName(TObject* object)
{
    auto* l = dynamic_cast<TLeaf*>(object);
    return l ? l->FName : std::string("<null>");
}

} // namespace

TEST(StringListStorage, NullObjectsAreOmittedAndReadBackAsNull)
{
    TListHolder holder;
    auto list = std::make_unique<TStringList>();
    list->AddObject("a", leaf("A"));
    list->AddObject("b", nullptr);
    list->AddObject("c", leaf("C"));
    holder.Items = std::move(list);

    const Bytes stream = written(&holder);
    const Bytes objectNames = concat({name("TLeaf"), name("Object_0")});
    EXPECT_NE(std::search(stream.begin(), stream.end(), objectNames.begin(), objectNames.end()),
              stream.end());
    const Bytes missing = name("Object_1");
    EXPECT_EQ(std::search(stream.begin(), stream.end(), missing.begin(), missing.end()),
              stream.end());
    const Bytes count = concat({name("ListCount"), bytesOf({0x02, 0x03})});
    EXPECT_NE(std::search(stream.begin(), stream.end(), count.begin(), count.end()), stream.end());

    auto back = readBack(stream);
    auto* h = dynamic_cast<TListHolder*>(back.get());
    ASSERT_NE(h, nullptr);
    auto* l = dynamic_cast<TStringList*>(h->Items.get());
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(l->Count(), 3);
    EXPECT_EQ(l->Strings(1), "b");
    EXPECT_EQ(leafName(l->Objects(0)), "A");
    EXPECT_EQ(l->Objects(1), nullptr);
    EXPECT_EQ(leafName(l->Objects(2)), "C");
}

TEST(ListStorage, TListAndStackDropNullItemsAndShorten)
{
    for (bool stack : {false, true}) {
        TListHolder holder;
        std::unique_ptr<rtl::TList> list =
            stack ? std::make_unique<TStack>() : std::make_unique<rtl::TList>();
        list->SetOwnsObjects(true);
        list->Add(leaf("x"));
        list->Add(nullptr);
        list->Add(leaf("y"));
        holder.Items = std::move(list);

        auto back = readBack(written(&holder));
        auto* h = dynamic_cast<TListHolder*>(back.get());
        ASSERT_NE(h, nullptr);
        auto* l = dynamic_cast<rtl::TList*>(h->Items.get());
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(ClassifyList(l), stack ? lkStack : lkList);
        ASSERT_EQ(l->Count(), 2);
        EXPECT_EQ(leafName(l->Items(0)), "x");
        EXPECT_EQ(leafName(l->Items(1)), "y");
    }
}

TEST(ListStorage, ClassifiesAndCreatesEveryListKind)
{
    TStoredStrList stored;
    TStringList lib;
    rtl::TStringList plain;
    TStack stack;
    rtl::TList list;
    TLeaf other;
    EXPECT_EQ(ClassifyList(&stored), lkStoredStrList);
    EXPECT_EQ(ClassifyList(&lib), lkLibStringList);
    EXPECT_EQ(ClassifyList(&plain), lkStringList);
    EXPECT_EQ(ClassifyList(&stack), lkStack);
    EXPECT_EQ(ClassifyList(&list), lkList);
    EXPECT_EQ(ClassifyList(&other), lkOther);
    EXPECT_EQ(ClassifyList(nullptr), lkNone);
    for (int code = 0; code <= 4; ++code)
        EXPECT_EQ(ClassifyList(CreateList(code).get()), code);
    EXPECT_EQ(ClassifyList(CreateList(0x81).get()), lkLibStringList); // low 7 bits
    EXPECT_EQ(CreateList(5), nullptr);
    EXPECT_EQ(CreateList(6), nullptr);
    EXPECT_EQ(CreateList(100), nullptr);
}

TEST(StoredStrList, StoresItsInnerListAsAStringListContainer)
{
    TStoredStrList list;
    list.AddObject("k1", leaf("one"));
    list.AddObject("k2", leaf("two"));
    const Bytes stream = written(&list);
    const Bytes type = concat({name("ListType"), bytesOf({0x02, 0x01})});
    EXPECT_NE(std::search(stream.begin(), stream.end(), type.begin(), type.end()), stream.end());
    auto back = readBack(stream);
    auto* l = dynamic_cast<TStoredStrList*>(back.get());
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(l->Count(), 2);
    EXPECT_EQ(l->Keys(1), "k2");
    EXPECT_EQ(leafName(l->GetItem(1)), "two");
    EXPECT_EQ(written(l), stream);
}

TEST(StoredStrList, DeleteAndClearNeverDestroyItems)
{
    TCounted::alive = 0;
    auto* kept = new TCounted;
    {
        TStoredStrList list;
        list.AddObject("a", kept);
        list.AddObject("b", new TCounted);
        list.Delete(0);
        EXPECT_EQ(TCounted::alive, 2);
        kept->FValue = 5; // still usable
        EXPECT_EQ(list.Count(), 1);
    }
    EXPECT_EQ(TCounted::alive, 1); // destroying the list destroyed only its own entry
    delete kept;
    EXPECT_EQ(TCounted::alive, 0);
}

TEST(StoredStrList, IndexOfIgnoresCaseAndFindsTheFirstKey)
{
    TStoredStrList list;
    list.AddObject("dbhost", nullptr);
    list.AddObject("other", nullptr);
    list.AddObject("DBHost", nullptr);
    list.AddObject("Сервер", nullptr);
    list.AddObject("Émile", nullptr);
    EXPECT_EQ(list.IndexOf("DBHOST"), 0);
    EXPECT_EQ(list.IndexOf("other"), 1);
    EXPECT_EQ(list.IndexOf("сервер"), 3);
    EXPECT_EQ(list.IndexOf("ÉMILE"), 4);
    EXPECT_EQ(list.IndexOf("émile"), 4);
    EXPECT_EQ(list.IndexOf("emile"), -1);
    EXPECT_EQ(list.IndexOf("missing"), -1);
}

TEST(StoredStrList, InsertsAndReportsIndexErrors)
{
    TStoredStrList list;
    list.AddObject("b", nullptr);
    list.InsertObject(0, "a", nullptr);
    list.InsertObject(list.Count(), "c", nullptr); // Count appends
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Keys(0), "a");
    EXPECT_EQ(list.Keys(2), "c");
    try {
        list.GetItem(3);
        FAIL() << "no error";
    } catch (const norvane::ListIndexError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_THROW(list.InsertObject(4, "x", nullptr), norvane::ListIndexError);
    EXPECT_THROW(list.Delete(-1), norvane::ListIndexError);
    EXPECT_THROW(list.SetItem(3, nullptr), norvane::ListIndexError);
}

TEST(StoredStrList, AssignFromAnotherStoredListCopiesDeeply)
{
    TStoredStrList source;
    source.AddObject("x", leaf("X"));
    source.AddObject("none", nullptr);
    TStoredStrList target;
    target.Assign(&source);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.Keys(0), "x");
    EXPECT_NE(target.GetItem(0), source.GetItem(0)); // never shared: both would destroy it
    EXPECT_EQ(leafName(target.GetItem(0)), "X");
    EXPECT_EQ(target.GetItem(1), nullptr);
}

TEST(StoredStrList, AssignFromAStringListTakesCopiesNotTheOwnedObjects)
{
    TStringList source; // owns its objects
    source.AddObject("k", leaf("v"));
    TStoredStrList target;
    target.Assign(&source);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Keys(0), "k");
    EXPECT_NE(target.GetItem(0), source.Objects(0));
    EXPECT_EQ(leafName(target.GetItem(0)), "v");
}

TEST(StoredStrList, AssignDestroysTheItemsTheOwningListHeldBefore)
{
    // Each owning kind, assigned over while it holds items: the old items must not leak.
    TCounted::alive = 0;
    {
        TStoredStrList source;
        source.AddObject("new", new TCounted);
        TStoredStrList stored;
        stored.AddObject("old1", new TCounted);
        stored.AddObject("old2", new TCounted);
        TStringList strings;
        strings.AddObject("old", new TCounted);
        ASSERT_EQ(TCounted::alive, 4);
        stored.Assign(&source);
        strings.Assign(&source.List());
        EXPECT_EQ(TCounted::alive, 3); // the source's item and one copy in each target
        EXPECT_EQ(stored.Keys(0), "new");
        EXPECT_EQ(strings.Strings(0), "new");
    }
    EXPECT_EQ(TCounted::alive, 0);
}

TEST(StoredStrList, AssignThatCannotCopyLeavesTheTargetUnchanged)
{
    TStoredStrList source;
    source.AddObject("a", new TEmpty); // TEmpty cannot be assigned
    TStoredStrList target;
    target.AddObject("keep", nullptr);
    EXPECT_THROW(target.Assign(&source), norvane::ConversionError);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Keys(0), "keep");
}

TEST(PersistentObjects, AssignBetweenUnrelatedClassesNamesBoth)
{
    TLeaf leafObject;
    TEmpty empty;
    try {
        leafObject.Assign(&empty);
        FAIL() << "no error";
    } catch (const norvane::ConversionError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TEmpty to a TLeaf");
    }
    try {
        leafObject.Assign(nullptr);
        FAIL() << "no error";
    } catch (const norvane::ConversionError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a nil to a TLeaf");
    }
}

TEST(PersistentObjects, DestructionReleasesOwnedKinds)
{
    TCounted::alive = 0;
    {
        TAllKinds object; // null references: nothing to do
    }
    {
        TAllKinds object;
        object.child = new TCounted;
        auto* owned = new TStringList;
        owned->AddObject("c", new TCounted);
        object.strings.reset(owned);
        auto* list = new TStack;
        list->SetOwnsObjects(true);
        list->Add(new TCounted);
        object.list = list;
        StrAppend(object.heap, {"x"});
        EXPECT_EQ(TCounted::alive, 3);
    }
    EXPECT_EQ(TCounted::alive, 0);
}

TEST(ClassRegistry, FindsClassesWithoutCaseAndRegistersAncestors)
{
    EXPECT_EQ(&FindClass("tstoredstrlist"), &TStoredStrList::StaticClass());
    EXPECT_EQ(&FindClass("TBASEOBJECT"), &TBaseObject::StaticClass());
    EXPECT_EQ(&FindClass("TPersistent"), &TPersistent::StaticClass());
    EXPECT_EQ(FindClass("TPersistent").create, nullptr); // findable, never created
    EXPECT_EQ(GetClass("TObject"), nullptr);
    EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
    try {
        FindClass("TNoSuchClass");
        FAIL() << "no error";
    } catch (const norvane::ClassNotFoundError& e) {
        EXPECT_STREQ(e.what(), "Class TNoSuchClass not found");
    }
}

namespace {
class TImpostor : public TBaseObject
{
    NORVANE_DECLARE_CLASS
};
} // namespace

const TClassInfo& TImpostor::StaticClass()
{
    // Another class under a name that is already taken.
    static const TClassInfo info{"TLeaf", &TBaseObject::StaticClass(),
                                 detail::creatorFor<TImpostor>()};
    return info;
}
const TClassInfo& TImpostor::ClassType() const
{
    return StaticClass();
}

TEST(ClassRegistry, RefusesASecondClassUnderATakenName)
{
    try {
        RegisterClasses({&TImpostor::StaticClass()});
        FAIL() << "no error";
    } catch (const norvane::FilerError& e) {
        EXPECT_STREQ(e.what(), "A class named TLeaf already exists");
    }
    EXPECT_EQ(&FindClass("TLeaf"), &TLeaf::StaticClass());
    RegisterClasses({&TLeaf::StaticClass()}); // the same class again is fine
    UnRegisterClasses({&TEmpty::StaticClass()});
    EXPECT_EQ(GetClass("TEmpty"), nullptr);
    RegisterClasses({&TEmpty::StaticClass()});
    EXPECT_NE(GetClass("TEmpty"), nullptr);
}
