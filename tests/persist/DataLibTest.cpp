#include "TestClasses.h"

#include "persist/DataLib.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_persist;
namespace fs = std::filesystem;

namespace {

/// A fresh directory per test; the current directory is restored afterwards.
class ObjectFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_cwd = fs::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("norvane-persist-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        fs::current_path(m_cwd);
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_dir);
    }

    std::string path(const std::string& file) const { return (m_dir / file).string(); }

    static Bytes fileBytes(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void writeFile(const std::string& p, const Bytes& bytes)
    {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    std::string loadFailure(const std::string& p)
    {
        try {
            LoadObject(p);
        } catch (const norvane::Error& e) {
            return e.what();
        }
        return {};
    }

    fs::path m_cwd;
    fs::path m_dir;
};

/// Fails on its second property, after the stream already holds data.
class TFailsHalfway : public TBaseObject
{
public:
    std::string FText = std::string(10000, 'w');
    void EnumProperties(TPropOp op, TObject* context, const TPropProc& proc) override
    {
        proc(PropRef(&FText), "FText", TPropKind::String, true, {}, context);
        if (op == TPropOp::poWrite)
            throw norvane::WriteError("disk full");
    }
};

} // namespace

TEST_F(ObjectFiles, SaveThenLoadGivesEqualObjects)
{
    TStoredStrList list;
    auto* leaf = new TLeaf;
    leaf->FName = "Zoë";
    list.AddObject("first", leaf);
    list.AddObject("second", nullptr);
    SaveObject(path("objects.lst"), &list);

    auto loaded = LoadObject(path("objects.lst"));
    auto* back = dynamic_cast<TStoredStrList*>(loaded.get());
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->Count(), 2);
    EXPECT_EQ(back->Keys(0), "first");
    EXPECT_EQ(dynamic_cast<TLeaf*>(back->GetItem(0))->FName, "Zoë");
    EXPECT_EQ(back->GetItem(1), nullptr);
    EXPECT_EQ(fileBytes(path("objects.lst")), written(&list));
}

TEST_F(ObjectFiles, SavedFileIsReadableByItsOwnerOnly)
{
    TLeaf leaf;
    writeFile(path("secret.lst"), ascii("old"));
    ::chmod(path("secret.lst").c_str(), 0644);
    SaveObject(path("secret.lst"), &leaf);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(path("secret.lst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ObjectFiles, FailedSaveLeavesThePreviousFileIntactAndNoTemporary)
{
    TLeaf leaf;
    leaf.FName = "previous";
    SaveObject(path("hosts.lst"), &leaf);
    const Bytes before = fileBytes(path("hosts.lst"));

    TFailsHalfway failing;
    EXPECT_THROW(SaveObject(path("hosts.lst"), &failing), norvane::WriteError);
    EXPECT_EQ(fileBytes(path("hosts.lst")), before);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(ObjectFiles, SavingOverALongerFileLeavesNoOldBytes)
{
    writeFile(path("f.lst"), Bytes(5000, 0xAB));
    TEmpty empty;
    SaveObject(path("f.lst"), &empty);
    EXPECT_EQ(fileBytes(path("f.lst")), written(&empty));
}

TEST_F(ObjectFiles, AFileThatCannotBeCreatedIsAFileCreationErrorNamingThePath)
{
    // A name at the file system's limit leaves no room for the temporary file's name.
    const std::string longName = path(std::string(250, 'n'));
    TEmpty empty;
    try {
        SaveObject(longName, &empty);
        FAIL() << "no error";
    } catch (const norvane::FileCreateError& e) {
        EXPECT_NE(std::string(e.what()).find(longName), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(longName));
}

TEST_F(ObjectFiles, SaveIntoAMissingDirectoryFailsWithoutCreatingAnything)
{
    TEmpty empty;
    EXPECT_THROW(SaveObject(path("missing/x.lst"), &empty), norvane::Error);
    EXPECT_FALSE(fs::exists(path("missing")));
}

TEST_F(ObjectFiles, ContentErrorsCarryThePrefix)
{
    writeFile(path("bad.lst"), ascii("XXXX\0"));
    EXPECT_EQ(loadFailure(path("bad.lst")),
              "\xE6\x89\x93\xE4\xB8\x8D\xE5\xBC\x80\xE6\x95\xB0\xE6\x8D\xAE\xE7\xBB\x93"
              "\xE6\x9E\x84\xE7\xB1\xBB\xE6\x96\x87\xE4\xBB\xB6\r\n\nInvalid stream format");
    EXPECT_EQ(std::string(kLoadErrorPrefix), "打不开数据结构类文件\r\n\n");

    TLeaf leaf;
    leaf.FName = "cut";
    Bytes stream = written(&leaf);
    stream.resize(stream.size() - 3);
    writeFile(path("short.lst"), stream);
    EXPECT_EQ(loadFailure(path("short.lst")), std::string(kLoadErrorPrefix) + "Stream read error");
}

TEST_F(ObjectFiles, MissingFileIsAnOpenErrorWithoutThePrefix)
{
    try {
        LoadObject(path("absent.lst"));
        FAIL() << "no error";
    } catch (const norvane::FileOpenError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(path("absent.lst")), std::string::npos) << message;
        EXPECT_EQ(message.find(std::string(kLoadErrorPrefix)), std::string::npos);
    }
}

TEST_F(ObjectFiles, NullRootLoadsAsNull)
{
    writeFile(path("nil.lst"), bytesOf({0x54, 0x50, 0x46, 0x30, 0x00}));
    EXPECT_EQ(LoadObject(path("nil.lst")), nullptr);
    SaveObject(path("nil2.lst"), nullptr);
    EXPECT_EQ(fileBytes(path("nil2.lst")), bytesOf({0x54, 0x50, 0x46, 0x30, 0x00}));
}

TEST_F(ObjectFiles, ABareFileNameUsesTheCurrentDirectory)
{
    fs::current_path(m_dir);
    TEmpty empty;
    SaveObject("bare.lst", &empty);
    EXPECT_TRUE(fs::exists(m_dir / "bare.lst"));
    EXPECT_EQ(fs::current_path(), m_dir);
    EXPECT_NE(LoadObject("bare.lst"), nullptr);
}

TEST_F(ObjectFiles, APathWithADirectoryMakesItCurrent)
{
    fs::create_directories(m_dir / "sub");
    TEmpty empty;
    SaveObject(path("sub/in.lst"), &empty);
    EXPECT_EQ(fs::current_path(), m_dir / "sub");
    EXPECT_NE(LoadObject(path("sub/in.lst")), nullptr);
    // Letter case is kept: the file system tells IN.LST from in.lst.
    EXPECT_THROW(LoadObject(path("sub/IN.LST")), norvane::FileOpenError);
}
