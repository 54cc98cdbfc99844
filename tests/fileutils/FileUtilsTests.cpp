#include "fileutils/FileUtils.h"
#include "host/TextConversion.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

TEST(FileUtils, ExecutableDirectoryIsTheExecutablesPathWithoutItsName)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    const std::string directory = FileUtils().getExecutableDirectory();

    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(TextConversion::toWide(directory), std::filesystem::path(self).parent_path().wstring());
    EXPECT_NE(directory.back(), '\\');
}
