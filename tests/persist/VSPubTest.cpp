#include "persist/VSPub.h"
#include "persist/Error.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace norvane::persist;

namespace {

struct FieldCase
{
    std::string text;
    std::string delimiter;
    std::ptrdiff_t count;
};

struct GetFieldCase
{
    std::string text;
    std::ptrdiff_t index;
    std::string field;
};

} // namespace

TEST(FieldCount, CountsFieldsOfEveryDocumentedExample)
{
    const FieldCase cases[] = {
        {"", ";", 0},           {"a", ";", 1},
        {"a;b", ";", 2},        {"a;b;", ";", 2},
        {";", ";", 1},          {";;", ";", 2},
        {"a;;", ";;", 2},       {"'a;b';c", ";", 2},
        {"\"a;b\";c", ";", 2},  {"'a'#59'b';c", ";", 2},
        {"'it''s';x", ";", 2},  {"a;'b;c", ";", 2},
        {"#59;a", ";", 2},      {"^M;a", ";", 2},
        {"'a'^M'b';c", ";", 2}, {"'a'#$3B'b';c", ";", 2},
        {"a,b,c", ",", 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldCount(c.text, c.delimiter), c.count) << "text: " << c.text;
}

TEST(GetField, ReturnsFieldsWithQuotesKeptAndIndexesClamped)
{
    const GetFieldCase cases[] = {
        {"a;b", 5, "b"},         {"a;b;", 2, ""},
        {"a;b", -1, "a"},        {"", 0, ""},
        {"'a;b';c", 0, "'a;b'"}, {"\"a;b\";c", 0, "\"a;b\""},
        {"'a;b';c", 1, "c"},     {"'a'#59'b';c", 0, "'a'#59'b'"},
        {"a;'b;c", 1, "'b;c"},   {"#59;a", 0, "#59"},
        {"x;y;z", 1, "y"},       {";", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetField(c.text, ";", c.index), c.field)
            << "text: " << c.text << " index " << c.index;
    EXPECT_EQ(GetField("a;;b;;c", ";;", 1), "b");
    EXPECT_EQ(GetField("a;;", ";;", 1), "");
}

TEST(FieldCount, RefusesAnEmptyDelimiterInsteadOfLoopingForever)
{
    EXPECT_THROW(FieldCount("abc", ""), norvane::Error);
    EXPECT_THROW(GetField("abc", "", 0), norvane::Error);
}

TEST(SkipLiteral, StopsAfterTheWholeRun)
{
    EXPECT_EQ(SkipLiteral("'ab'x", 1), 5);
    EXPECT_EQ(SkipLiteral("'ab'#13#10'c'x", 1), 14);
    EXPECT_EQ(SkipLiteral("'unterminated", 1), 14);
    EXPECT_EQ(SkipLiteral("'a'#x", 1), 4); // '#' without digits ends the run
    EXPECT_EQ(SkipLiteral("'a'^1", 1), 4); // '^' without a letter ends the run
    EXPECT_EQ(ScanDigits("#-12x", 2), 5);
    EXPECT_EQ(ScanDigits("$1fz", 1), 4);
    EXPECT_EQ(ScanDigits("$", 1), 1);
    EXPECT_EQ(ScanDigits("x1", 1), 1);
}

TEST(LastCharPos, FindsPositionsBeyond255)
{
    std::string path(300, 'a');
    path[279] = '/';
    path[9] = '/';
    EXPECT_EQ(LastCharPos('/', path), 280);
    EXPECT_EQ(path.substr(0, static_cast<std::size_t>(LastCharPos('/', path))).size(), 280u);
    EXPECT_EQ(LastCharPos('/', "none"), 0);
    EXPECT_EQ(LastCharPos('A', "abc"), 0);
}

TEST(ExeDir, IsTheDirectoryOfTheRunningProgramWithTrailingSlash)
{
    const std::string dir = ExeDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(dir.front(), '/');
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    ASSERT_GT(n, 0);
    const std::string exe(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(exe.substr(0, dir.size()), dir);
    EXPECT_EQ(exe.find('/', dir.size()), std::string::npos);
}

TEST(HeapText, AppendCopiesAndConcatenates)
{
    char* text = nullptr;
    EXPECT_EQ(SafeStrLen(text), 0u);
    StrAppend(text, {"ab"});
    EXPECT_STREQ(text, "ab");
    StrAppend(text, {"cd", "e"});
    EXPECT_STREQ(text, "abcde");
    EXPECT_EQ(SafeStrLen(text), 5u);
    StrAppend(text, {std::string_view(text)}); // a part pointing into the old text
    EXPECT_STREQ(text, "abcdeabcde");
    char copy[16];
    SafeStrCopy(copy, nullptr);
    EXPECT_STREQ(copy, "");
    SafeStrCopy(copy, text);
    EXPECT_STREQ(copy, "abcdeabcde");
    StrDispose(text);
    EXPECT_EQ(text, nullptr);
}

namespace {
struct Tracked
{
    static inline int destroyed = 0;
    ~Tracked() { ++destroyed; }
};
} // namespace

TEST(FreeObj, DestroysOnceAndNullsTheReference)
{
    Tracked* t = new Tracked;
    Tracked::destroyed = 0;
    FreeObj(t);
    EXPECT_EQ(t, nullptr);
    FreeObj(t);
    EXPECT_EQ(Tracked::destroyed, 1);
}

TEST(SameText, FoldsCaseAcrossLatinGreekAndCyrillic)
{
    EXPECT_TRUE(SameText("DBHOST", "dbhost"));
    EXPECT_TRUE(SameText("СЕРВЕР", "сервер"));
    EXPECT_TRUE(SameText("ЁЖИК", "ёжик"));
    EXPECT_TRUE(SameText("ÉCOLE-ÜBER", "école-über"));
    EXPECT_TRUE(SameText("ŁÓDŹ", "łódź"));
    EXPECT_TRUE(SameText("ΑΘΗΝΑ", "αθηνα"));
    EXPECT_TRUE(SameText("ΆΈ", "άέ"));
    EXPECT_FALSE(SameText("сервер", "cepвep")); // Latin look-alikes are other letters
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_FALSE(SameText("é", "e"));
    EXPECT_TRUE(SameText("\xFF\xFE", "\xFF\xFE")); // invalid bytes compare exactly
    EXPECT_FALSE(SameText("\xC9", "\xE9"));
    EXPECT_TRUE(SameName("fHoSt", "FHOST"));
    EXPECT_FALSE(SameName("É", "é"));
}

TEST(TextConversion, DecodesWindows1252AndUtf16)
{
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80"), "café €");
    EXPECT_TRUE(IsValidUtf8("café"));
    EXPECT_FALSE(IsValidUtf8("caf\xE9"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));     // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_EQ(Utf16ToUtf8(u"Zürich 😀"), "Zürich 😀");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
