#include "TestClasses.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace testing_persist;
namespace fs = std::filesystem;

namespace {

class FileStreams : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = (fs::temp_directory_path() /
                  ("norvane-fs-" + std::to_string(::getpid()) + "-" + info->name()))
                     .string();
        fs::remove(m_path);
    }
    void TearDown() override { fs::remove(m_path); }

    Bytes content() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void create(const Bytes& bytes)
    {
        TFileStream f(m_path, fmCreate);
        f.WriteBuffer(bytes.data(), bytes.size());
    }
    static Bytes pattern(std::size_t n)
    {
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i)
            b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        return b;
    }

    std::string m_path;
};

} // namespace

TEST_F(FileStreams, OpenOrCreateModeCreatesThenOpens)
{
    {
        TFileStream f(m_path, fmOpenOrCreate | fmOpenReadWrite);
        f.WriteBuffer("abc", 3);
    }
    EXPECT_EQ(content(), ascii("abc"));
    {
        TFileStream f(m_path, fmOpenOrCreate | fmOpenReadWrite);
        EXPECT_EQ(f.Size(), 3); // opened, not emptied
        f.Seek(0, SeekOrigin::End);
        f.WriteBuffer("d", 1);
    }
    EXPECT_EQ(content(), ascii("abcd"));
    EXPECT_THROW(TFileStream(m_path + ".none", fmOpenRead), norvane::FileOpenError);
    EXPECT_THROW(TFileStream("/nonexistent-dir/x", fmCreate), norvane::FileCreateError);
}

TEST_F(FileStreams, DeleteRangeMovesTheRestDownAcrossChunks)
{
    const Bytes data = pattern(40000);
    create(data);
    TFileStream f(m_path, fmOpenReadWrite);
    f.SetPosition(100);
    f.DeleteRange(10, 20000);
    EXPECT_EQ(f.Size(), 20000);
    EXPECT_EQ(f.Position(), 100); // restored: still inside the file
    Bytes expected(data.begin(), data.begin() + 10);
    expected.insert(expected.end(), data.begin() + 20010, data.end());
    EXPECT_EQ(content(), expected);

    f.SetPosition(19990);
    f.DeleteRange(0, 15000);
    EXPECT_EQ(f.Position(), 5000); // old position beyond the new end: stays at the end
}

TEST_F(FileStreams, DeleteRangeOfEverythingEmptiesTheFile)
{
    create(pattern(1000));
    TFileStream f(m_path, fmOpenReadWrite);
    f.DeleteRange(0, f.Size());
    EXPECT_EQ(f.Size(), 0);
    EXPECT_TRUE(content().empty());
}

TEST_F(FileStreams, InsertGapMovesTheRestUpAcrossChunks)
{
    const Bytes data = pattern(40000);
    create(data);
    TFileStream f(m_path, fmOpenReadWrite);
    f.SetPosition(7);
    f.InsertGap(5, 20000);
    EXPECT_EQ(f.Size(), 60000);
    EXPECT_EQ(f.Position(), 7);
    const Bytes now = content();
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 5, now.begin()));
    EXPECT_TRUE(std::equal(data.begin() + 5, data.end(), now.begin() + 20005));
}

TEST_F(FileStreams, InsertGapAtTheEndOnlyGrows)
{
    create(ascii("abc"));
    TFileStream f(m_path, fmOpenReadWrite);
    f.InsertGap(3, 4);
    EXPECT_EQ(f.Size(), 7);
    const Bytes now = content();
    EXPECT_EQ(Bytes(now.begin(), now.begin() + 3), ascii("abc"));
    f.InsertGap(10, 2);
    EXPECT_EQ(f.Size(), 12);
}

TEST_F(FileStreams, TruncateCutsAtThePosition)
{
    create(ascii("abcdef"));
    TFileStream f(m_path, fmOpenReadWrite);
    f.SetPosition(2);
    f.Truncate();
    EXPECT_EQ(content(), ascii("ab"));
}
