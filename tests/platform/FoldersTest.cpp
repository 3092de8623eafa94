// The standard folders and file finding.
#include "Folders.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

class TFixedFolders : public TSystemFolders {
public:
    std::string Path(TSystemFolder folder) const override {
        switch (folder) {
        case TSystemFolder::sfWindows:
            return "/opt/zrk";
        case TSystemFolder::sfExecutableFile:
            return "/opt/zrk/bin/zrk201";
        default:
            return "";
        }
    }
};

} // namespace

TEST(Folders, BufferTooSmallAsksForTheSizeNeeded) {
    TFixedFolders folders;
    SetSystemFolders(&folders);
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 4), 9u) << "8 characters and the zero";
    EXPECT_EQ(buffer[0], 'x') << "nothing copied";
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 9), 8u);
    EXPECT_STREQ(buffer, "/opt/zrk");
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 19u);
    EXPECT_STREQ(buffer, "/opt/zrk/bin/zrk201");
    EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 0u) << "unknown";
    SetSystemFolders(nullptr);
}

TEST(Folders, DefaultFoldersOfThisMachine) {
    char buffer[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_NE(std::strstr(buffer, "zrk_platform_tests"), nullptr);
    ASSERT_GT(GetCurrentDirectoryA(sizeof buffer, buffer), 0u);
    EXPECT_EQ(buffer[0], '/');
    ASSERT_GT(GetTempPathA(sizeof buffer, buffer), 0u);
    ASSERT_GT(GetSystemDirectoryA(buffer, sizeof buffer), 0u);
    char executable[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, executable, sizeof executable), 0u);
    ASSERT_GT(GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
    // The program's installed library folder, found from wherever the executable lies.
    std::string expected = executable;
    expected = expected.substr(0, expected.rfind('/'));
    expected = expected.substr(0, expected.rfind('/')) + "/lib/zrk201";
    EXPECT_EQ(std::string(buffer), expected);
}

TEST(Folders, FindFirstFileByNameAndPattern) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/TWAIN_32.DLL";
    std::ofstream(path) << "12345";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "TWAIN_32.DLL");
    EXPECT_EQ(found.nFileSizeLow, 5u);
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    search = FindFirstFileA((folder.path().toStdString() + "/TWAIN_*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_EQ(FindFirstFileA((folder.path().toStdString() + "/twain_32.dll").c_str(), &found),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFirstFileA("", &found), INVALID_HANDLE_VALUE);
}
