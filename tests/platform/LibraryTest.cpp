// Libraries loaded by path, their entry points by name and by ordinal.
#include "Library.h"

#include <gtest/gtest.h>

TEST(Library, EntryPointByOrdinalOneIsDsmEntry) {
    HMODULE library = LoadLibraryA(ZRK_FAKEDSM_PATH);
    ASSERT_NE(library, nullptr);
    FARPROC byName = GetProcAddress(library, "DSM_Entry");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)), byName);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(GetProcAddress(library, "NoSuchEntry"), nullptr);
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_FALSE(FreeLibrary(library));
    EXPECT_EQ(GetProcAddress(library, "DSM_Entry"), nullptr) << "a freed library gives nothing";
    EXPECT_EQ(LoadLibraryA("/nonexistent/TWAIN_32.DLL"), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
}
