#pragma once
/// The SQL console's history: the statements it ran, oldest first, at most `MaxCount`.

#include "persist/VSClass.h"

#include <QStringList>

#include <cstdint>
#include <memory>

namespace norvane::catalogue {

/// One remembered statement: its lines as the console held them.
class TNVQuery : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TNVQuery();

    /// The statement text, one entry per console line (UTF-8).
    persist::rtl::TStringList& SQL() { return *FSQL; }
    const persist::rtl::TStringList& SQL() const { return *FSQL; }
    QStringList Lines() const;
    void SetLines(const QStringList& lines);

    /// From another `TNVQuery`: its lines. Other sources fail without change.
    void Assign(const persist::TPersistent* source) override;
    void EnumProperties(persist::TPropOp op, persist::TObject* context,
                        const persist::TPropProc& proc) override;

private:
    std::unique_ptr<persist::rtl::TStringList> FSQL;
};

/// The history list: appending beyond `MaxCount` drops the oldest entry, and every append moves
/// the cursor `ItemIndex` to the new entry. The console keeps the cursor in range.
class TNVQueryList : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    static constexpr std::int32_t kDefaultMaxCount = 100;

    TNVQueryList() = default;

    std::int32_t MaxCount = kDefaultMaxCount;
    std::int32_t ItemIndex = 0;

    /// Appends `item` (owned from now on), drops and destroys the oldest entries beyond
    /// `MaxCount`, and points the cursor at the new entry. Returns the new entry's index.
    using TStoredStrList::AddObject;
    int AddObject(std::string_view key, persist::TBaseObject* item) override;
    /// Records a statement: a new entry with these lines under an empty key.
    void Record(const QStringList& lines);

    /// The entry at `index`; "List index out of bounds (%d)" outside the list.
    TNVQuery* Queries(int index) const;
};

/// The process's one history, created by the main window at start-up and kept until exit.
extern std::unique_ptr<TNVQueryList> QueryHistory;

} // namespace norvane::catalogue
