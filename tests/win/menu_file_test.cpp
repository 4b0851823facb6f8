#include <gtest/gtest.h>

#include "replacing_writer.h"
#include "menu_file.h"
#include "menu_text.h"
#include "test_support.h"

using namespace test;

namespace {

class MenuFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring app = dir / L"app";
    std::wstring acad = dir / L"acad.mns";
    std::wstring patched = menu::PatchedCopyPath(app);
    void SetUp() override { MakeDirs(app); }
};

const std::string kLine(menu::kMenuLine);

}  // namespace

TEST_F(MenuFileTest, AddWritesThePatchedCopyAndLeavesAutoCadsFile) {
    WriteBytes(acad, kSampleMenu);
    EXPECT_EQ(menu::MenuAdd(app, acad), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(acad), kSampleMenu);
    EXPECT_EQ(ReadBytes(patched), menu::AddMenuLine(kSampleMenu));
    EXPECT_NE(ReadBytes(patched)->find(kLine + "\r\n***POP8\r\n"), std::string::npos);
}

TEST_F(MenuFileTest, AddWithoutAutoCadsFileFailsAndKeepsAnOldCopy) {
    WriteBytes(patched, "from an earlier install");
    EXPECT_NE(menu::MenuAdd(app, acad), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(patched), "from an earlier install");
}

TEST_F(MenuFileTest, DelKeepsChangesMadeAfterTheInstall) {
    WriteBytes(patched, menu::AddMenuLine(kSampleMenu));
    const std::string later = "***POP7\r\n" + kLine + "\r\nID_Other [Other add-on]\r\n***POP8\r\n";
    WriteBytes(acad, later);
    EXPECT_EQ(menu::MenuDel(app, acad), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(acad), "***POP7\r\nID_Other [Other add-on]\r\n***POP8\r\n");
}

TEST_F(MenuFileTest, DelLeavesAFileWithoutTheItemUntouched) {
    WriteBytes(acad, "a\nb\rc");
    EXPECT_EQ(menu::MenuDel(app, acad), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(acad), "a\nb\rc");
}

TEST_F(MenuFileTest, DelRestoresFromThePatchedCopyOnlyWhenAutoCadsFileIsMissing) {
    WriteBytes(patched, menu::AddMenuLine(kSampleMenu));
    EXPECT_EQ(menu::MenuDel(app, acad), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(acad), kSampleMenu);

    ::DeleteFileW(acad.c_str());
    ::DeleteFileW(patched.c_str());
    EXPECT_NE(menu::MenuDel(app, acad), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(acad));
}

TEST_F(MenuFileTest, DelFailsOnALockedFileAndChangesNothing) {
    const std::string withItem = menu::AddMenuLine(kSampleMenu);
    WriteBytes(acad, withItem);
    win::UniqueFile lock(::CreateFileW(acad.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_NE(menu::MenuDel(app, acad), ERROR_SUCCESS);
    lock.Reset();
    EXPECT_EQ(ReadBytes(acad), withItem);
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

TEST_F(MenuFileTest, BytesInvalidInTheCodePagePassThrough) {
    // Lead bytes of code page 936 without a valid trail byte, and 0xFF.
    const std::string odd = std::string("\x81\x20\xff\x80\x00\x5c", 6);
    WriteBytes(acad, odd + "\r\n***POP8\r\n" + odd);
    ASSERT_EQ(menu::MenuAdd(app, acad), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(patched), odd + "\r\n" + kLine + "\r\n***POP8\r\n" + odd + "\r\n");
}

TEST_F(MenuFileTest, AFullDiskDuringTheWriteKeepsAutoCadsFile) {
    const std::string withItem = menu::AddMenuLine(kSampleMenu);
    WriteBytes(acad, withItem);
    fileio::SetWriteBudgetForTesting(10);
    EXPECT_EQ(menu::MenuDel(app, acad), static_cast<DWORD>(ERROR_DISK_FULL));
    fileio::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(ReadBytes(acad), withItem);
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

// Real menus written by others survive the trip through the files, as the
// repositories store them (LF, so one long line each) and with CR LF.
TEST_F(MenuFileTest, RealMenusRoundTripThroughAutoCadsFile) {
    const std::wstring shared = L"" TS_SHARED_MENUS;
    std::wstring folder;
    for (wchar_t c : shared) folder += (c == L'/') ? L'\\' : c;
    if (!IsDir(folder)) GTEST_SKIP() << "the shared menus are not there";
    int seen = 0;
    for (const std::wstring& name : FileNames(folder)) {
        if (name == L"README.md") continue;
        const std::string lf = *ReadBytes(folder + L"\\" + name);
        std::string crlf;
        for (char c : lf) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
        for (const std::string& original : {lf, crlf}) {
            WriteBytes(acad, original);
            ASSERT_EQ(menu::MenuAdd(app, acad), ERROR_SUCCESS);
            std::vector<std::string_view> kept;
            const std::string patchedText = *ReadBytes(patched);
            menu::ForEachLine(patchedText, [&](std::string_view l) {
                if (l != menu::kMenuLine) kept.push_back(l);
            });
            EXPECT_EQ(kept, menu::SplitLines(original));

            ASSERT_TRUE(::CopyFileW(patched.c_str(), acad.c_str(), FALSE));
            ASSERT_EQ(menu::MenuDel(app, acad), ERROR_SUCCESS);
            std::string expected;
            menu::ForEachLine(original, [&](std::string_view l) { expected.append(l).append("\r\n"); });
            EXPECT_EQ(ReadBytes(acad), expected);
        }
        ++seen;
    }
    EXPECT_EQ(seen, 4);
}
