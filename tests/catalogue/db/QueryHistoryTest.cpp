// The SQL history: capacity, cursor and entry copies.
#include "catalogue/NVQueryLib.h"

#include <gtest/gtest.h>

using norvane::catalogue::TNVQuery;
using norvane::catalogue::TNVQueryList;

namespace {

int g_destroyed = 0;

/// An entry that counts its destruction, to see which entries the list destroys.
class CountedQuery : public TNVQuery
{
public:
    ~CountedQuery() override { ++g_destroyed; }
};

QStringList statement(int n)
{
    return {QStringLiteral("SELECT %1").arg(n), QStringLiteral("FROM t")};
}

void record(TNVQueryList& list, int n)
{
    auto* entry = new CountedQuery;
    entry->SetLines(statement(n));
    list.AddObject({}, entry);
}

} // namespace

TEST(QueryHistory, StartsEmptyWithCursorZeroAndCapacityHundred)
{
    TNVQueryList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.ItemIndex, 0);
    EXPECT_EQ(list.MaxCount, 100);
}

TEST(QueryHistory, FirstRecordingPutsCursorOnIt)
{
    TNVQueryList list;
    list.Record(statement(1));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.ItemIndex, 0);
    EXPECT_EQ(list.Queries(0)->Lines(), statement(1));
    EXPECT_EQ(list.Keys(0), "");
}

TEST(QueryHistory, HundredAndFirstRecordingDropsAndDestroysOldest)
{
    g_destroyed = 0;
    {
        TNVQueryList list;
        for (int n = 1; n <= 100; ++n)
            record(list, n);
        EXPECT_EQ(list.Count(), 100);
        EXPECT_EQ(g_destroyed, 0);

        record(list, 101);
        ASSERT_EQ(list.Count(), 100);
        EXPECT_EQ(list.ItemIndex, 99);
        EXPECT_EQ(g_destroyed, 1) << "the dropped entry must be destroyed, once";
        EXPECT_EQ(list.Queries(0)->Lines(), statement(2));
        EXPECT_EQ(list.Queries(99)->Lines(), statement(101));

        for (int n = 102; n <= 250; ++n)
            record(list, n);
        EXPECT_EQ(list.Count(), 100);
        EXPECT_EQ(list.ItemIndex, 99);
        EXPECT_EQ(list.Queries(0)->Lines(), statement(151));
        EXPECT_EQ(g_destroyed, 150);
    }
    EXPECT_EQ(g_destroyed, 250) << "the list destroys the entries it still holds";
}

TEST(QueryHistory, RecordingAfterSteppingBackAppendsAndKeepsEntriesBetween)
{
    TNVQueryList list;
    for (int n = 1; n <= 5; ++n)
        list.Record(statement(n));
    list.ItemIndex = 1;
    list.Record(statement(6));
    ASSERT_EQ(list.Count(), 6);
    EXPECT_EQ(list.ItemIndex, 5);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(list.Queries(i)->Lines(), statement(i + 1)) << "entry " << i;
}

TEST(QueryHistory, EntryOutsideTheListIsAnIndexError)
{
    TNVQueryList list;
    list.Record(statement(1));
    EXPECT_THROW(list.Queries(1), norvane::ListIndexError);
    EXPECT_THROW(list.Queries(-1), norvane::ListIndexError);
}

TEST(QueryHistory, EntryKeepsLinesExactlyIncludingNonAsciiAndEmptyLines)
{
    const QStringList lines{QStringLiteral("SELECT 'Zürich', '日本', '😀'"), QString(),
                            QStringLiteral("  FROM `order`  ")};
    TNVQuery query;
    query.SetLines(lines);
    EXPECT_EQ(query.SQL().Count(), 3);
    EXPECT_EQ(query.Lines(), lines);
}

TEST(QueryHistory, AssignCopiesLinesAndRefusesOtherClasses)
{
    TNVQuery source;
    source.SetLines(statement(7));
    TNVQuery target;
    target.SetLines({QStringLiteral("old"), QStringLiteral("text"), QStringLiteral("here")});
    target.Assign(&source);
    EXPECT_EQ(target.Lines(), statement(7));
    source.SetLines({QStringLiteral("changed")});
    EXPECT_EQ(target.Lines(), statement(7)) << "the copy must not share the source's lines";

    target.Assign(&target);
    EXPECT_EQ(target.Lines(), statement(7));

    TNVQueryList notAQuery;
    EXPECT_THROW(target.Assign(&notAQuery), norvane::ConversionError);
    EXPECT_THROW(target.Assign(nullptr), norvane::ConversionError);
    EXPECT_EQ(target.Lines(), statement(7));
}
