#include <gtest/gtest.h>

#include "long_path.h"

using fileio::LongPath;

TEST(LongPath, DrivePathsGetThePrefixWithSeparatorsCollapsed) {
    EXPECT_EQ(LongPath(L"C:\\Program Files\\AutoCAD 2002\\acad.dvb"),
              L"\\\\?\\C:\\Program Files\\AutoCAD 2002\\acad.dvb");
    // The install's own concatenations: "data\" + "\Pictrue\".
    EXPECT_EQ(LongPath(L"D:\\TsSetup\\data\\\\Pictrue\\a.bmp"), L"\\\\?\\D:\\TsSetup\\data\\Pictrue\\a.bmp");
    EXPECT_EQ(LongPath(L"c:/x//y\\\\\\z"), L"\\\\?\\c:\\x\\y\\z");
    EXPECT_EQ(LongPath(L"C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(LongPath(L"E:\\ACAD\\\\"), L"\\\\?\\E:\\ACAD\\");  // one trailing separator stays
}

TEST(LongPath, UncPathsGetTheUncPrefix) {
    EXPECT_EQ(LongPath(L"\\\\server\\share\\ACAD\\acad.mns"), L"\\\\?\\UNC\\server\\share\\ACAD\\acad.mns");
    EXPECT_EQ(LongPath(L"\\\\server\\\\share\\\\x\\"), L"\\\\?\\UNC\\server\\share\\x\\");
}

TEST(LongPath, PrefixedRelativeAndDriveRelativePathsAreLeftAlone) {
    for (const wchar_t* path :
         {L"\\\\?\\C:\\a\\\\b", L"\\\\?\\UNC\\s\\h\\f", L"\\\\.\\pipe\\x", L"INFOFILE", L"acad.mns",
          L"sub\\\\file", L"C:relative", L"\\rooted\\on\\the\\current\\drive", L"", L"\\\\\\x"})
        EXPECT_EQ(LongPath(path), path);
}

TEST(LongPath, AVeryLongPathKeepsEveryCharacter) {
    std::wstring path = L"C:\\";
    for (int i = 0; i < 40; ++i) path += L"folder名字" + std::to_wstring(i) + L"\\";
    path += L"TS_DATA.mdb";
    ASSERT_GT(path.size(), 300u);
    EXPECT_EQ(LongPath(path), L"\\\\?\\" + path);
}
