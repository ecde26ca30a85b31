#pragma once
/// Lists: the platform-style list and string list, the library's owning string list and stack,
/// the persistent keyed list `TStoredStrList` and the stream wrapper `TListContainer`.
/// Included through VSClass.h.

#include "persist/VSClass.h"

namespace norvane::persist {

namespace rtl {

/// A list of object references. A list the object reader creates owns its items.
class TList : public TObject
{
    NORVANE_DECLARE_CLASS
public:
    TList() = default;
    ~TList() override;

    int Count() const { return static_cast<int>(m_items.size()); }
    int Add(TObject* item);
    void Insert(int index, TObject* item);
    void Delete(int index);
    void Clear() { m_items.clear(); }
    TObject* Items(int index) const;
    void SetItems(int index, TObject* item);
    int IndexOf(const TObject* item) const;

    bool OwnsObjects() const { return m_ownsObjects; }
    /// When set, destroying the list destroys its items (last first); removal never does.
    void SetOwnsObjects(bool owns) { m_ownsObjects = owns; }

protected:
    void checkIndex(int index, int limit) const;

private:
    std::vector<TObject*> m_items;
    bool m_ownsObjects = false;
};

/// An ordered, unsorted list of texts, each with an object reference; texts compare without
/// regard to case.
class TStringList : public TPersistent
{
    NORVANE_DECLARE_CLASS
public:
    TStringList() = default;
    ~TStringList() override;

    int Count() const { return static_cast<int>(m_entries.size()); }
    int Add(std::string_view text) { return AddObject(text, nullptr); }
    int AddObject(std::string_view text, TObject* object);
    void InsertObject(int index, std::string_view text, TObject* object);
    void Delete(int index);
    void Clear() { m_entries.clear(); }
    const std::string& Strings(int index) const;
    void SetStrings(int index, std::string_view text);
    TObject* Objects(int index) const;
    void SetObjects(int index, TObject* object);
    int IndexOf(std::string_view text) const;
    /// The texts, each followed by a line feed.
    std::string Text() const;

    bool OwnsObjects() const { return m_ownsObjects; }
    /// When set, destroying the list destroys its objects (last first); removal never does.
    void SetOwnsObjects(bool owns) { m_ownsObjects = owns; }

    /// From another string list: its texts and objects. A list that owns its objects never
    /// shares them: it takes copies of persistent objects, refuses other objects, and destroys
    /// the objects it held before.
    void Assign(const TPersistent* source) override;

protected:
    void checkIndex(int index, int limit) const;

private:
    struct Entry
    {
        std::string text;
        TObject* object = nullptr;
    };
    std::vector<Entry> m_entries;
    bool m_ownsObjects = false;
};

} // namespace rtl

/// The library's string list: owns the objects of its entries.
class TStringList : public rtl::TStringList
{
    NORVANE_DECLARE_CLASS
public:
    TStringList() { SetOwnsObjects(true); }
};

/// The library's stack: a list kind of its own for storage.
class TStack : public rtl::TList
{
    NORVANE_DECLARE_CLASS
public:
    void Push(TObject* item) { Add(item); }
    TObject* Pop();
    TObject* Peek() const;
};

/// List-kind codes of `ClassifyList`.
enum ListKind : std::uint8_t
{
    lkStoredStrList = 0,
    lkLibStringList = 1,
    lkStringList = 2,
    lkStack = 3,
    lkList = 4,
    lkOther = 5,
    lkNone = 6,
};
/// The list-kind code of an object.
std::uint8_t ClassifyList(const TObject* list);
/// A new empty list of the code (low 7 bits); null for codes without a list class.
std::unique_ptr<TObject> CreateList(int code);
/// The texts-and-objects list inside a list of code 0, 1 or 2; null otherwise.
rtl::TStringList* StringsOf(TObject* list);

/// A persistent, owning list of `TBaseObject` items under text keys, in insertion order.
/// Removing entries never destroys their items; destroying the list destroys them all.
class TStoredStrList : public TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TStoredStrList();
    ~TStoredStrList() override;

    int Count() const { return inner().Count(); }
    virtual TBaseObject* GetItem(int index) const;
    virtual void SetItem(int index, TBaseObject* item);
    virtual int AddObject(std::string_view key, TBaseObject* item);
    virtual void InsertObject(int index, std::string_view key, TBaseObject* item);
    /// The list takes `item`; should adding fail, `item` is destroyed, never leaked.
    int AddObject(std::string_view key, std::unique_ptr<TBaseObject> item);
    void InsertObject(int index, std::string_view key, std::unique_ptr<TBaseObject> item);
    void Delete(int index) { inner().Delete(index); }
    void Clear() { inner().Clear(); }
    /// Index of the first key equal to `key` without regard to case (Unicode letters of the
    /// Latin, Greek and Cyrillic scripts fold too), or -1.
    int IndexOf(std::string_view key) const;
    const std::string& Keys(int index) const { return inner().Strings(index); }
    /// The inner list of keys and items.
    TStringList& List() { return inner(); }
    const TStringList& List() const { return inner(); }

    /// From another stored list: deep copies of its items (made by class and `Assign`), the
    /// items held before destroyed; from a string list: its keys and copies of its objects.
    /// Fails without change otherwise.
    void Assign(const TPersistent* source) override;
    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override;

protected:
    void AssignTo(TPersistent* destination) const override;
    TStringList& inner() const;

private:
    std::unique_ptr<TStringList> m_list;
};

/// Wraps a list for storage: its kind, its count, its texts and its objects Object_0, ...
class TListContainer : public TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TListContainer() = default;
    ~TListContainer() override;

    /// Wraps `list` (not owned), which must be one of the list kinds 0 to 4.
    void SetList(TObject* list);
    TObject* List() const { return m_list; }
    std::uint8_t ListType() const { return m_listType; }
    std::int32_t ListCount() const { return m_listCount; }
    /// Hands over a list that was read into the container (null when none was).
    std::unique_ptr<TObject> TakeList();

    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override;

private:
    void readObjects(TObject* context, const TPropProc& proc);
    void attach(int index, std::unique_ptr<TBaseObject> item);

    std::uint8_t m_listType = 0;
    std::int32_t m_listCount = 0;
    TObject* m_list = nullptr;
    std::unique_ptr<TObject> m_ownedList; ///< a list read from a stream, until taken
    rtl::TStringList* m_strings = nullptr;
};

} // namespace norvane::persist
