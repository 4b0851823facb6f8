#include <gtest/gtest.h>

#include "replacing_writer.h"
#include "side_files.h"
#include "handles.h"
#include "module1.h"
#include "test_support.h"

using namespace test;

namespace {

struct SilentHost final : module1::ModuleHost {
    void MessageShow(const std::wstring& text) override { messages.push_back(text); }
    void EventsService() override { ++events; }
    std::vector<std::wstring> messages;
    int events = 0;
};

class CadDirFindTest : public ::testing::Test {
protected:
    TempDir dir;
    SilentHost host;
    std::wstring Root() const { return dir.Path(); }
};

}  // namespace

TEST_F(CadDirFindTest, ReturnsTheFirstPlainMatchingFolderWithATrailingBackslash) {
    for (const wchar_t* name : {L"Adobe", L"AutoCAD 2002", L"Common Files"}) MakeDirs(dir / name);
    const std::wstring expected = Root() + L"\\AutoCAD 2002\\";
    EXPECT_EQ(module1::CadDirFind(Root(), host), expected);
    EXPECT_EQ(module1::CadDirFind(Root() + L"\\", host), expected);
    // One event round per entry examined, the dot entries not counted.
    EXPECT_GE(host.events, 2 * 2);
}

TEST_F(CadDirFindTest, PassesOverFilesHiddenAndSystemFolders) {
    WriteBytes(dir / L"ACAD.TXT", "x");
    MakeDirs(dir / L"ACAD hidden");
    ::SetFileAttributesW((dir / L"ACAD hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    MakeDirs(dir / L"ACAD system");
    ::SetFileAttributesW((dir / L"ACAD system").c_str(), FILE_ATTRIBUTE_SYSTEM);
    MakeDirs(dir / L"Other");
    EXPECT_EQ(module1::CadDirFind(Root(), host), L"");
    MakeDirs(dir / L"zcad");  // lower case matches: the path is upper-cased
    EXPECT_EQ(module1::CadDirFind(Root(), host), Root() + L"\\zcad\\");
}

TEST_F(CadDirFindTest, ARootWhosePathHoldsCadMatchesItsFirstPlainFolder) {
    MakeDirs(dir / L"MyCad\\Tools");
    EXPECT_EQ(module1::CadDirFind(dir / L"MyCad", host), dir / L"MyCad\\Tools\\");
}

TEST_F(CadDirFindTest, AMissingRootOrNoMatchGivesEmpty) {
    EXPECT_EQ(module1::CadDirFind(dir / L"nothing here", host), L"");
    EXPECT_EQ(module1::CadDirFind(Root(), host), L"");
    EXPECT_EQ(module1::CadDirFind(L"Q:\\Program Files", host), L"");
}

TEST_F(CadDirFindTest, FindsFoldersWithChineseNames) {
    MakeDirs(dir / L"中文CAD软件");
    EXPECT_EQ(module1::CadDirFind(Root(), host), Root() + L"\\中文CAD软件\\");
}

class FileCopyTest : public ::testing::Test {
protected:
    TempDir dir;
    SilentHost host;
    void Copy(const std::wstring& from, const std::wstring& to) { module1::FileCopy(from, to, host); }
};

TEST_F(FileCopyTest, ReplacesALongerDestinationWholly) {
    WriteBytes(dir / L"src", "abc");
    WriteBytes(dir / L"dst", "0123456789");
    Copy(dir / L"src", dir / L"dst");
    EXPECT_EQ(ReadBytes(dir / L"dst"), "abc");
    EXPECT_TRUE(host.messages.empty());
    // Neither file is held open afterwards: both can be deleted at once.
    EXPECT_TRUE(::DeleteFileW((dir / L"src").c_str()));
    EXPECT_TRUE(::DeleteFileW((dir / L"dst").c_str()));
}

TEST_F(FileCopyTest, AnEmptySourceEmptiesOrCreatesTheDestinationSilently) {
    WriteBytes(dir / L"empty", "");
    WriteBytes(dir / L"old", "stale");
    Copy(dir / L"empty", dir / L"old");
    Copy(dir / L"empty", dir / L"new");
    EXPECT_EQ(ReadBytes(dir / L"old"), "");
    EXPECT_EQ(ReadBytes(dir / L"new"), "");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(FileCopyTest, FailuresShowOneMessageAndLeaveTheDestinationAsItWas) {
    WriteBytes(dir / L"src", "new");
    WriteBytes(dir / L"dst", "old");
    WriteBytes(fileio::TempPathFor(dir / L"dst"), "left by a killed run");
    Copy(dir / L"missing", dir / L"dst");
    Copy(dir / L"src", dir / L"no folder\\dst");
    Copy(dir.Path(), dir / L"dst");  // a folder is not a file
    EXPECT_EQ(host.messages,
              std::vector<std::wstring>(3, module1::kCopyError));
    EXPECT_EQ(ReadBytes(dir / L"dst"), "old");
    EXPECT_FALSE(Exists(dir / L"no folder"));
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

TEST_F(FileCopyTest, ReadOnlyAndLockedDestinationsAreRefusedAndKept) {
    WriteBytes(dir / L"src", "new");
    WriteBytes(dir / L"readonly", "old");
    ::SetFileAttributesW((dir / L"readonly").c_str(), FILE_ATTRIBUTE_READONLY);
    Copy(dir / L"src", dir / L"readonly");
    WriteBytes(dir / L"locked", "old");
    {
        win::UniqueFile lock(::CreateFileW((dir / L"locked").c_str(), GENERIC_READ, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        Copy(dir / L"src", dir / L"locked");
    }
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(ReadBytes(dir / L"readonly"), "old");
    EXPECT_EQ(ReadBytes(dir / L"locked"), "old");
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

TEST_F(FileCopyTest, CopyingAFileOntoItselfKeepsIt) {
    WriteBytes(dir / L"same", "content");
    Copy(dir / L"same", dir / L"same");
    EXPECT_EQ(ReadBytes(dir / L"same"), "content");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(FileCopyTest, ALeftoverTemporaryFileIsTakenOverByTheNextCopy) {
    WriteBytes(dir / L"src", "new");
    WriteBytes(fileio::TempPathFor(dir / L"dst"), "half-writ");
    Copy(dir / L"src", dir / L"dst");
    EXPECT_EQ(ReadBytes(dir / L"dst"), "new");
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

TEST_F(FileCopyTest, ADiskFullInTheMiddleKeepsTheOldFile) {
    const std::string big(3 << 20, 'x');  // several chunks
    WriteBytes(dir / L"src", big);
    WriteBytes(dir / L"dst", "old");
    fileio::SetWriteBudgetForTesting(1 << 20);
    Copy(dir / L"src", dir / L"dst");
    fileio::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(host.messages, std::vector<std::wstring>{module1::kCopyError});
    EXPECT_EQ(ReadBytes(dir / L"dst"), "old");
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

// The writer reads the old file alongside the new content and writes only
// where they part: the new content may end early, run on, or differ midway.
TEST(ReplacingWriter, LeavesEqualBytesAloneAndWritesWhatDiffersWhole) {
    TempDir dir;
    const std::wstring target = dir / L"menu";
    struct Case {
        std::vector<std::string> pieces;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{{"abc"}, "abc"},
                                           {{"abc", "def", "g"}, "abcdefg"},
                                           {{"abc", "dXf"}, "abcdXf"},
                                           {{"ab", "cdef"}, "abcdef"}}) {
        WriteBytes(target, "abcdef");
        const ULONGLONG before = FileId(target);
        fileio::ReplacingWriter writer(target);
        ASSERT_EQ(writer.Open(), ERROR_SUCCESS);
        for (const std::string& piece : c.pieces) ASSERT_EQ(writer.Write(piece), ERROR_SUCCESS);
        ASSERT_EQ(writer.Commit(), ERROR_SUCCESS);
        EXPECT_EQ(ReadBytes(target), c.expected);
        EXPECT_EQ(FileId(target) == before, c.expected == "abcdef") << c.expected;
        EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
    }
}
