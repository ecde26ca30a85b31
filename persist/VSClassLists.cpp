#include "persist/VSClass.h"

namespace norvane::persist {

namespace {

[[noreturn]] void indexError(int index)
{
    throw ListIndexError("List index out of bounds (" + std::to_string(index) + ")");
}

/// A copy of `object` made through its class's constructor and `Assign`; null stays null.
std::unique_ptr<TBaseObject> cloneItem(const TObject* object)
{
    if (!object)
        return nullptr;
    const auto* item = dynamic_cast<const TBaseObject*>(object);
    if (!item)
        throw ConversionError("Cannot assign a " + std::string(object->ClassName()) +
                              " to a TBaseObject");
    auto copy = item->ClassType().Create();
    copy->Assign(item);
    return copy;
}

} // namespace

namespace rtl {

NORVANE_DEFINE_CLASS(TList, TObject)
NORVANE_DEFINE_CLASS(TStringList, TPersistent)

TList::~TList()
{
    if (!m_ownsObjects)
        return;
    while (!m_items.empty()) {
        TObject* item = m_items.back();
        m_items.pop_back();
        delete item;
    }
}

void TList::checkIndex(int index, int limit) const
{
    if (index < 0 || index >= limit)
        indexError(index);
}

int TList::Add(TObject* item)
{
    m_items.push_back(item);
    return Count() - 1;
}

void TList::Insert(int index, TObject* item)
{
    checkIndex(index, Count() + 1);
    m_items.insert(m_items.begin() + index, item);
}

void TList::Delete(int index)
{
    checkIndex(index, Count());
    m_items.erase(m_items.begin() + index);
}

TObject* TList::Items(int index) const
{
    checkIndex(index, Count());
    return m_items[static_cast<std::size_t>(index)];
}

void TList::SetItems(int index, TObject* item)
{
    checkIndex(index, Count());
    m_items[static_cast<std::size_t>(index)] = item;
}

int TList::IndexOf(const TObject* item) const
{
    for (int i = 0; i < Count(); ++i) {
        if (m_items[static_cast<std::size_t>(i)] == item)
            return i;
    }
    return -1;
}

TStringList::~TStringList()
{
    if (!m_ownsObjects)
        return;
    while (!m_entries.empty()) {
        TObject* object = m_entries.back().object;
        m_entries.pop_back();
        delete object;
    }
}

void TStringList::checkIndex(int index, int limit) const
{
    if (index < 0 || index >= limit)
        indexError(index);
}

int TStringList::AddObject(std::string_view text, TObject* object)
{
    m_entries.push_back({std::string(text), object});
    return Count() - 1;
}

void TStringList::InsertObject(int index, std::string_view text, TObject* object)
{
    checkIndex(index, Count() + 1);
    m_entries.insert(m_entries.begin() + index, Entry{std::string(text), object});
}

void TStringList::Delete(int index)
{
    checkIndex(index, Count());
    m_entries.erase(m_entries.begin() + index);
}

const std::string& TStringList::Strings(int index) const
{
    checkIndex(index, Count());
    return m_entries[static_cast<std::size_t>(index)].text;
}

void TStringList::SetStrings(int index, std::string_view text)
{
    checkIndex(index, Count());
    m_entries[static_cast<std::size_t>(index)].text = std::string(text);
}

TObject* TStringList::Objects(int index) const
{
    checkIndex(index, Count());
    return m_entries[static_cast<std::size_t>(index)].object;
}

void TStringList::SetObjects(int index, TObject* object)
{
    checkIndex(index, Count());
    m_entries[static_cast<std::size_t>(index)].object = object;
}

int TStringList::IndexOf(std::string_view text) const
{
    for (int i = 0; i < Count(); ++i) {
        if (SameText(m_entries[static_cast<std::size_t>(i)].text, text))
            return i;
    }
    return -1;
}

std::string TStringList::Text() const
{
    std::string text;
    for (const Entry& e : m_entries) {
        text += e.text;
        text += '\n';
    }
    return text;
}

void TStringList::Assign(const TPersistent* source)
{
    const auto* other = dynamic_cast<const TStringList*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    // Copies first, so a refused object leaves this list as it was.
    std::vector<Entry> entries;
    std::vector<std::unique_ptr<TBaseObject>> copies;
    for (const Entry& e : other->m_entries) {
        TObject* object = e.object;
        if (m_ownsObjects && object) {
            copies.push_back(cloneItem(object));
            object = copies.back().get();
        }
        entries.push_back({e.text, object});
    }
    m_entries.swap(entries);
    // The entries own the copies from here on; an owning list destroys the objects it held.
    for (auto& copy : copies)
        static_cast<void>(copy.release());
    if (m_ownsObjects) {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            delete it->object;
    }
}

} // namespace rtl

NORVANE_DEFINE_CLASS(TStringList, rtl::TStringList)
NORVANE_DEFINE_CLASS(TStack, rtl::TList)

TObject* TStack::Pop()
{
    TObject* top = Peek();
    Delete(Count() - 1);
    return top;
}

TObject* TStack::Peek() const
{
    return Items(Count() - 1);
}

std::uint8_t ClassifyList(const TObject* list)
{
    if (!list)
        return lkNone;
    if (list->InheritsFrom(TStoredStrList::StaticClass()))
        return lkStoredStrList;
    if (list->InheritsFrom(TStringList::StaticClass()))
        return lkLibStringList;
    if (list->InheritsFrom(rtl::TStringList::StaticClass()))
        return lkStringList;
    if (list->InheritsFrom(TStack::StaticClass()))
        return lkStack;
    if (list->InheritsFrom(rtl::TList::StaticClass()))
        return lkList;
    return lkOther;
}

std::unique_ptr<TObject> CreateList(int code)
{
    switch (code & 0x7F) {
    case lkStoredStrList:
        return std::make_unique<TStoredStrList>();
    case lkLibStringList:
        return std::make_unique<TStringList>();
    case lkStringList: {
        // Whatever a stream puts into a list it creates must have an owner.
        auto list = std::make_unique<rtl::TStringList>();
        list->SetOwnsObjects(true);
        return list;
    }
    case lkStack: {
        auto list = std::make_unique<TStack>();
        list->SetOwnsObjects(true);
        return list;
    }
    case lkList: {
        auto list = std::make_unique<rtl::TList>();
        list->SetOwnsObjects(true);
        return list;
    }
    default:
        return nullptr;
    }
}

rtl::TStringList* StringsOf(TObject* list)
{
    switch (ClassifyList(list)) {
    case lkStoredStrList:
        return &static_cast<TStoredStrList*>(list)->List();
    case lkLibStringList:
    case lkStringList:
        return static_cast<rtl::TStringList*>(list);
    default:
        return nullptr;
    }
}

// ---- TStoredStrList ----

NORVANE_DEFINE_CLASS(TStoredStrList, TBaseObject)

TStoredStrList::TStoredStrList() : m_list(std::make_unique<TStringList>()) {}

TStoredStrList::~TStoredStrList() = default;

TStringList& TStoredStrList::inner() const
{
    if (!m_list)
        throw Error("The list of " + std::string(ClassName()) + " has been released");
    return *m_list;
}

TBaseObject* TStoredStrList::GetItem(int index) const
{
    return dynamic_cast<TBaseObject*>(inner().Objects(index));
}

void TStoredStrList::SetItem(int index, TBaseObject* item)
{
    inner().SetObjects(index, item);
}

int TStoredStrList::AddObject(std::string_view key, TBaseObject* item)
{
    return inner().AddObject(key, item);
}

void TStoredStrList::InsertObject(int index, std::string_view key, TBaseObject* item)
{
    inner().InsertObject(index, key, item);
}

int TStoredStrList::AddObject(std::string_view key, std::unique_ptr<TBaseObject> item)
{
    const int index = AddObject(key, item.get());
    static_cast<void>(item.release()); // the list owns it now
    return index;
}

void TStoredStrList::InsertObject(int index, std::string_view key,
                                  std::unique_ptr<TBaseObject> item)
{
    InsertObject(index, key, item.get());
    static_cast<void>(item.release()); // the list owns it now
}

int TStoredStrList::IndexOf(std::string_view key) const
{
    return inner().IndexOf(key);
}

void TStoredStrList::Assign(const TPersistent* source)
{
    if (source == this)
        return;
    if (const auto* other = dynamic_cast<const TStoredStrList*>(source)) {
        // Deep copy: two lists must never own the same items.
        std::vector<std::pair<std::string, std::unique_ptr<TBaseObject>>> copies;
        copies.reserve(static_cast<std::size_t>(other->Count()));
        for (int i = 0; i < other->Count(); ++i)
            copies.emplace_back(other->Keys(i), cloneItem(other->List().Objects(i)));
        // The list owns its items: the ones it held before go with the assignment.
        for (int i = Count() - 1; i >= 0; --i) {
            std::unique_ptr<TObject> previous(inner().Objects(i));
            Delete(i);
        }
        for (auto& [key, item] : copies)
            AddObject(key, std::move(item));
        return;
    }
    if (dynamic_cast<const rtl::TStringList*>(source)) {
        inner().Assign(source);
        return;
    }
    TBaseObject::Assign(source);
}

void TStoredStrList::AssignTo(TPersistent* destination) const
{
    if (!destination)
        assignError(destination);
    destination->Assign(&inner());
}

void TStoredStrList::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&m_list), "List", TPropKind::List, m_list != nullptr, {}, context);
}

// ---- TListContainer ----

NORVANE_DEFINE_CLASS(TListContainer, TBaseObject)

TListContainer::~TListContainer()
{
    m_list = nullptr;
    m_strings = nullptr;
}

void TListContainer::SetList(TObject* list)
{
    const std::uint8_t code = ClassifyList(list);
    if (code > lkList)
        throw WriteError("A list of class " + std::string(list ? list->ClassName() : "nil") +
                         " cannot be stored");
    m_ownedList.reset();
    m_list = list;
    m_listType = code;
    m_strings = StringsOf(list);
    m_listCount = m_strings ? m_strings->Count() : static_cast<rtl::TList*>(list)->Count();
}

std::unique_ptr<TObject> TListContainer::TakeList()
{
    m_list = nullptr;
    m_strings = nullptr;
    return std::move(m_ownedList);
}

void TListContainer::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&m_listType), "ListType", TPropKind::UInt8, true, {}, context);
    proc(PropRef(&m_listCount), "ListCount", TPropKind::Int32, true, {}, context);
    if (op == TPropOp::poWrite) {
        proc(PropRef(&m_list), "Strings", TPropKind::StringList, true, {}, context);
        if (!m_list)
            return;
        for (int i = 0; i < m_listCount; ++i) {
            TObject* entry =
                m_strings ? m_strings->Objects(i) : static_cast<rtl::TList*>(m_list)->Items(i);
            auto* item = dynamic_cast<TBaseObject*>(entry);
            if (entry && !item)
                throw WriteError("Object_" + std::to_string(i) + " of class " +
                                 std::string(entry->ClassName()) + " cannot be stored");
            proc(PropRef(&item), "Object_" + std::to_string(i), TPropKind::Object, item != nullptr,
                 {}, context);
        }
        return;
    }
    // Reading and releasing work on the list read from the stream, which the container owns
    // until the reader takes it.
    proc(PropRef(&m_ownedList), "Strings", TPropKind::StringList, true, {}, context);
    m_list = m_ownedList.get();
    m_strings = StringsOf(m_list);
    if (op == TPropOp::poRead && m_list)
        readObjects(context, proc);
}

void TListContainer::readObjects(TObject* context, const TPropProc& proc)
{
    auto report = [&](int i) {
        TBaseObject* item = nullptr;
        proc(PropRef(&item), "Object_" + std::to_string(i), TPropKind::Object, true, {}, context);
        if (item)
            attach(i, std::unique_ptr<TBaseObject>(item));
    };
    // The reader waits for one name; a stored ListCount can be huge, so report only that one.
    if (const auto* reader = dynamic_cast<const TObjReader*>(context)) {
        const std::string& pending = reader->PendingName();
        constexpr std::string_view prefix = "Object_";
        if (pending.size() <= prefix.size() || pending.size() > prefix.size() + 10 ||
            !SameName(pending.substr(0, prefix.size()), prefix))
            return;
        std::int64_t index = 0;
        for (char c : std::string_view(pending).substr(prefix.size())) {
            if (c < '0' || c > '9')
                return;
            index = index * 10 + (c - '0');
        }
        // "Object_01" is not the name of entry 1: names must match as formatted.
        if (index < m_listCount && SameName(pending, "Object_" + std::to_string(index)))
            report(static_cast<int>(index));
        return;
    }
    for (int i = 0; i < m_listCount; ++i)
        report(i);
}

void TListContainer::attach(int index, std::unique_ptr<TBaseObject> item)
{
    if (m_strings) {
        if (index >= m_strings->Count())
            indexError(index);
        delete m_strings->Objects(index);
        m_strings->SetObjects(index, item.release());
        return;
    }
    auto* list = dynamic_cast<rtl::TList*>(m_list);
    if (!list)
        throw ReadError("Invalid property value");
    if (list->Count() < m_listCount) {
        list->Add(item.release());
    } else {
        delete list->Items(index);
        list->SetItems(index, item.release());
    }
}

namespace {

struct Registration
{
    Registration()
    {
        RegisterClasses({&TListContainer::StaticClass(), &TStoredStrList::StaticClass()});
    }
    ~Registration()
    {
        UnRegisterClasses({&TListContainer::StaticClass(), &TStoredStrList::StaticClass()});
    }
};
const Registration registration;

} // namespace

} // namespace norvane::persist
