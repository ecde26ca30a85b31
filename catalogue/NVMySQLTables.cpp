// The table catalogue: table entries, their column and index definitions, and reading them
// with "DESCRIBE".
#include "catalogue/NVMySQLObject.h"
#include "catalogue/TypedListCopy.h"

#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

#include <utility>
#include <vector>

namespace norvane::catalogue {

using persist::PropRef;
using persist::TPropKind;

namespace {

/// Removes and destroys every entry; nothing outside the table keeps column or index entries.
void destroyEntries(persist::TStoredStrList& list)
{
    for (int i = list.Count() - 1; i >= 0; --i) {
        std::unique_ptr<persist::TBaseObject> old(list.GetItem(i));
        list.Delete(i);
    }
}

} // namespace

// ---- TNVFieldDef ----

NORVANE_DEFINE_CLASS(TNVFieldDef, persist::TBaseObject)

void TNVFieldDef::Assign(const persist::TPersistent* source)
{
    const auto* other = dynamic_cast<const TNVFieldDef*>(source);
    if (!other) {
        TBaseObject::Assign(source);
        return;
    }
    FName = other->FName;
    FPrecision = other->FPrecision;
    FFieldNo = other->FFieldNo;
    FSize = other->FSize;
    FInternalCalcField = other->FInternalCalcField;
    FDataType = other->FDataType;
    DataTypeName = other->DataTypeName;
    FAttributes = other->FAttributes;
}

void TNVFieldDef::EnumProperties(persist::TPropOp op, persist::TObject* context,
                                 const persist::TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FName), "FName", TPropKind::String, !FName.empty(), {}, context);
    proc(PropRef(&FPrecision), "FPrecision", TPropKind::Int32, FPrecision != 0, {}, context);
    proc(PropRef(&FFieldNo), "FFieldNo", TPropKind::Int32, FFieldNo != 0, {}, context);
    proc(PropRef(&FSize), "FSize", TPropKind::Int32, FSize != 0, {}, context);
    proc(PropRef(&FInternalCalcField), "FInternalCalcField", TPropKind::Bool, true, {}, context);
    proc(PropRef(&FDataType), "FDataType", TPropKind::UInt8, FDataType != 0, {}, context);
    proc(PropRef(&DataTypeName), "DataTypeName", TPropKind::String, !DataTypeName.empty(), {},
         context);
    proc(PropRef(&FAttributes), "FAttributes", TPropKind::Set1, FAttributes != 0, {}, context);
}

// ---- TNVIndexDef ----

NORVANE_DEFINE_CLASS(TNVIndexDef, persist::TBaseObject)

void TNVIndexDef::Assign(const persist::TPersistent* source)
{
    const auto* other = dynamic_cast<const TNVIndexDef*>(source);
    if (!other) {
        TBaseObject::Assign(source);
        return;
    }
    FName = other->FName;
    FSource = other->FSource;
    FFieldExpression = other->FFieldExpression;
    FDescFields = other->FDescFields;
    FCaseInsFields = other->FCaseInsFields;
    FOptions = other->FOptions;
    FGroupingLevel = other->FGroupingLevel;
}

void TNVIndexDef::EnumProperties(persist::TPropOp op, persist::TObject* context,
                                 const persist::TPropProc& proc)
{
    TBaseObject::EnumProperties(op, context, proc);
    proc(PropRef(&FName), "FName", TPropKind::String, !FName.empty(), {}, context);
    proc(PropRef(&FSource), "FSource", TPropKind::String, !FSource.empty(), {}, context);
    proc(PropRef(&FFieldExpression), "FFieldExpression", TPropKind::String,
         !FFieldExpression.empty(), {}, context);
    proc(PropRef(&FDescFields), "FDescFields", TPropKind::String, !FDescFields.empty(), {},
         context);
    proc(PropRef(&FCaseInsFields), "FCaseInsFields", TPropKind::String, !FCaseInsFields.empty(), {},
         context);
    proc(PropRef(&FOptions), "FOptions", TPropKind::Set1, FOptions != 0, {}, context);
    proc(PropRef(&FGroupingLevel), "FGroupingLevel", TPropKind::Int32, FGroupingLevel != 0, {},
         context);
}

// ---- column and index lists ----

NORVANE_DEFINE_CLASS(TNVFieldDefs, persist::TStoredStrList)
NORVANE_DEFINE_CLASS(TNVIndexDefs, persist::TStoredStrList)

TNVFieldDef* TNVFieldDefs::Items(int index) const
{
    return dynamic_cast<TNVFieldDef*>(GetItem(index));
}

void TNVFieldDefs::Assign(const persist::TPersistent* source)
{
    if (const auto* other = dynamic_cast<const TNVFieldDefs*>(source)) {
        detail::copyTypedList<TNVFieldDefs, TNVFieldDef>(
            *this, *other, [](const TNVFieldDef& d) { return d.FName; });
        return;
    }
    TStoredStrList::Assign(source);
}

TNVIndexDef* TNVIndexDefs::Items(int index) const
{
    return dynamic_cast<TNVIndexDef*>(GetItem(index));
}

void TNVIndexDefs::Assign(const persist::TPersistent* source)
{
    if (const auto* other = dynamic_cast<const TNVIndexDefs*>(source)) {
        detail::copyTypedList<TNVIndexDefs, TNVIndexDef>(
            *this, *other, [](const TNVIndexDef& d) { return d.FName; });
        return;
    }
    TStoredStrList::Assign(source);
}

// ---- tables and views ----

NORVANE_DEFINE_CLASS(TCustomNVTable, persist::TBaseObject)
NORVANE_DEFINE_CLASS(TNVTable, TCustomNVTable)
NORVANE_DEFINE_CLASS(TNVView, TCustomNVTable)
NORVANE_DEFINE_CLASS(TNVTables, persist::TStoredStrList)
NORVANE_DEFINE_CLASS(TNVViews, persist::TStoredStrList)

TCustomNVTable::TCustomNVTable()
    : FieldDefs(std::make_unique<TNVFieldDefs>()), IndexDefs(std::make_unique<TNVIndexDefs>())
{
}

TCustomNVTable::~TCustomNVTable() = default;

bool TCustomNVTable::LoadFieldDefs()
{
    if (!FieldDefs)
        FieldDefs = std::make_unique<TNVFieldDefs>();
    if (!IndexDefs)
        IndexDefs = std::make_unique<TNVIndexDefs>();
    if (!DataBase || !DataBase->Query)
        throw Error("The table " + Name + " belongs to no connected database");
    db::SqlSource& query = *DataBase->Query;
    // Quoted as an identifier: names with blanks, reserved words (`order`) or backticks
    // must reach the server as the one name they are. Qualified with the table's database, not
    // the session's current one, which a USE in the console may have changed.
    QString quoted = db::Connection::quoteIdentifier(QString::fromStdString(Name));
    if (!DataBase->FDataBase.empty())
        quoted = db::Connection::quoteIdentifier(QString::fromStdString(DataBase->FDataBase)) +
                 QLatin1Char('.') + quoted;
    query.close();
    query.setUserStatements(false);
    query.clearSql();
    query.addSql(QStringLiteral("DESCRIBE %1").arg(quoted));
    query.open();

    destroyEntries(*FieldDefs);
    auto primaryKey = std::make_unique<TNVIndexDef>();
    db::Field& fieldColumn = query.fieldByName(QStringLiteral("FIELD"));
    db::Field& typeColumn = query.fieldByName(QStringLiteral("TYPE"));
    db::Field& keyColumn = query.fieldByName(QStringLiteral("KEY"));
    while (!query.eof()) {
        auto def = std::make_unique<TNVFieldDef>();
        def->FName = fieldColumn.asString().toStdString();
        def->DataTypeName = typeColumn.asString().toStdString();
        const std::string key = def->FName;
        FieldDefs->AddObject(key, std::move(def));
        // Only the primary key counts; unique ("UNI") and multiple ("MUL") keys do not.
        if (keyColumn.asString() == QLatin1String("PRI")) {
            if (!primaryKey->FFieldExpression.empty())
                primaryKey->FFieldExpression += ';';
            primaryKey->FFieldExpression += key;
        }
        query.next();
    }
    query.close();

    destroyEntries(*IndexDefs);
    const std::string primaryKeyName = primaryKey->FName;
    IndexDefs->AddObject(primaryKeyName, std::move(primaryKey));
    return FieldDefs->Count() > 0;
}

TNVTable* TNVTables::Items(int index) const
{
    return dynamic_cast<TNVTable*>(GetItem(index));
}

TNVView* TNVViews::Items(int index) const
{
    return dynamic_cast<TNVView*>(GetItem(index));
}

} // namespace norvane::catalogue
