#include "catalogue/NVQueryLib.h"

namespace norvane::catalogue {

using namespace norvane::persist;

std::unique_ptr<TNVQueryList> QueryHistory;

NORVANE_DEFINE_CLASS(TNVQuery, TBaseObject)
NORVANE_DEFINE_CLASS(TNVQueryList, TStoredStrList)

TNVQuery::TNVQuery() : FSQL(std::make_unique<rtl::TStringList>()) {}

QStringList TNVQuery::Lines() const
{
    QStringList lines;
    lines.reserve(FSQL->Count());
    for (int i = 0; i < FSQL->Count(); ++i)
        lines << QString::fromStdString(FSQL->Strings(i));
    return lines;
}

void TNVQuery::SetLines(const QStringList& lines)
{
    FSQL->Clear();
    for (const QString& line : lines)
        FSQL->Add(line.toStdString());
}

void TNVQuery::Assign(const TPersistent* source)
{
    const auto* other = dynamic_cast<const TNVQuery*>(source);
    if (!other) {
        TBaseObject::Assign(source);
        return;
    }
    if (other == this)
        return;
    FSQL->Clear();
    for (int i = 0; i < other->FSQL->Count(); ++i)
        FSQL->Add(other->FSQL->Strings(i));
}

void TNVQuery::EnumProperties(TPropOp op, TObject* context, const TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FSQL), "FSQL", TPropKind::StringList, FSQL != nullptr, {}, context);
}

int TNVQueryList::AddObject(std::string_view key, TBaseObject* item)
{
    int index = TStoredStrList::AddObject(key, item);
    while (Count() > MaxCount && Count() > 1) {
        std::unique_ptr<TBaseObject> oldest(GetItem(0));
        Delete(0);
        --index;
    }
    ItemIndex = Count() - 1;
    return index;
}

void TNVQueryList::Record(const QStringList& lines)
{
    auto entry = std::make_unique<TNVQuery>();
    entry->SetLines(lines);
    AddObject({}, std::move(entry));
}

TNVQuery* TNVQueryList::Queries(int index) const
{
    return dynamic_cast<TNVQuery*>(GetItem(index));
}

} // namespace norvane::catalogue
