// RemoveFolderTree with the real file system: what payload programs leave in
// the work folder (nested folders, read-only entries, links) goes, and nothing
// outside it is changed. Wine 8 makes no reparse points (CreateSymbolicLinkW
// reports success and creates nothing), so links are shown with hard links
// here; the reparse-point branch is reviewed (docs/WINE.md).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "staging/folder_removal.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const std::vector<std::uint8_t> kBytes = {'k', 'e', 'e', 'p'};

bool MakeReadOnly(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
}

bool IsReadOnly(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

class RemoveTree : public ::testing::Test {
  protected:
    TempDir m_temp;
    const std::wstring m_folder = m_temp / L"work";
    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr)); }
    std::wstring In(const std::wstring& name) const { return m_folder + L"\\" + name; }
};

// As a self-extractor leaves its unpacked tree: folders in folders, files at
// every level, some of them read-only, a read-only folder among them.
TEST_F(RemoveTree, RemovesNestedFoldersAndReadOnlyEntries)
{
    ASSERT_TRUE(CreateDirectoryW(In(L"unpacked").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(In(L"unpacked\\data").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(In(L"unpacked\\data\\deeper").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(In(L"program.exe"), kBytes));
    ASSERT_TRUE(WriteFileBytes(In(L"unpacked\\setup.ini"), kBytes));
    ASSERT_TRUE(WriteFileBytes(In(L"unpacked\\data\\payload.cab"), kBytes));
    ASSERT_TRUE(WriteFileBytes(In(L"unpacked\\data\\deeper\\last.txt"), kBytes));
    ASSERT_TRUE(MakeReadOnly(In(L"unpacked\\setup.ini")));
    ASSERT_TRUE(MakeReadOnly(In(L"unpacked\\data\\deeper\\last.txt")));
    ASSERT_TRUE(MakeReadOnly(In(L"unpacked\\data")));

    EXPECT_TRUE(RemoveFolderTree(m_folder));
    EXPECT_FALSE(PathExists(m_folder));
}

TEST_F(RemoveTree, AFolderThatIsNotThereCountsAsGone)
{
    EXPECT_TRUE(RemoveFolderTree(m_temp / L"absent"));
    EXPECT_TRUE(RemoveFolderTree(m_temp / L"absent\\below"));
}

// A file that is still open stays with the folders above it; everything else
// goes.
TEST_F(RemoveTree, AnOpenFileStaysWithItsFolders)
{
    ASSERT_TRUE(CreateDirectoryW(In(L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(In(L"sub\\open.txt"), kBytes));
    ASSERT_TRUE(WriteFileBytes(In(L"sub\\closed.txt"), kBytes));
    ASSERT_TRUE(WriteFileBytes(In(L"other.txt"), kBytes));
    HANDLE open = CreateFileW(In(L"sub\\open.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    UniqueFileHandle owner(open);

    EXPECT_FALSE(RemoveFolderTree(m_folder));
    EXPECT_TRUE(PathExists(In(L"sub\\open.txt")));
    EXPECT_FALSE(PathExists(In(L"sub\\closed.txt")));
    EXPECT_FALSE(PathExists(In(L"other.txt")));
    owner.reset();
    EXPECT_TRUE(RemoveFolderTree(m_folder));
}

// A name inside for a file outside (here a hard link, the link Wine can
// make): removing the name leaves the file outside with its bytes. A
// read-only one keeps its attribute, which every name of it shares, so that
// name is left in place rather than made writable.
TEST_F(RemoveTree, AHardLinkToAFileOutsideLeavesThatFileAsItWas)
{
    const std::wstring outside = m_temp / L"outside.txt";
    const std::wstring outsideReadOnly = m_temp / L"outside-read-only.txt";
    ASSERT_TRUE(WriteFileBytes(outside, kBytes));
    ASSERT_TRUE(WriteFileBytes(outsideReadOnly, kBytes));
    ASSERT_TRUE(MakeReadOnly(outsideReadOnly));
    ASSERT_TRUE(CreateHardLinkW(In(L"link.txt").c_str(), outside.c_str(), nullptr));
    ASSERT_TRUE(CreateHardLinkW(In(L"read-only-link.txt").c_str(), outsideReadOnly.c_str(), nullptr));

    EXPECT_FALSE(RemoveFolderTree(m_folder)) << "the read-only file's second name was made writable";
    EXPECT_FALSE(PathExists(In(L"link.txt")));
    EXPECT_TRUE(PathExists(In(L"read-only-link.txt")));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(outside, bytes));
    EXPECT_EQ(kBytes, bytes);
    ASSERT_TRUE(ReadFileBytes(outsideReadOnly, bytes));
    EXPECT_EQ(kBytes, bytes);
    EXPECT_TRUE(IsReadOnly(outsideReadOnly));
    SetFileAttributesW(outsideReadOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A chain of folders deeper than the bound: what lies within the bound goes,
// the chain below it stays (and with it the folders it hangs from).
TEST_F(RemoveTree, StopsAtTheDepthBound)
{
    std::wstring path = m_folder;
    std::vector<std::wstring> levels;
    for (int level = 1; level <= kFolderRemovalDepthLimit + 2; ++level) {
        path += L"\\d";
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << level;
        levels.push_back(path);
    }
    ASSERT_TRUE(WriteFileBytes(In(L"top.txt"), kBytes));
    ASSERT_TRUE(WriteFileBytes(levels[kFolderRemovalDepthLimit - 2] + L"\\within.txt", kBytes));

    EXPECT_FALSE(RemoveFolderTree(m_folder));
    EXPECT_FALSE(PathExists(In(L"top.txt")));
    EXPECT_FALSE(PathExists(levels[kFolderRemovalDepthLimit - 2] + L"\\within.txt"));
    EXPECT_TRUE(PathExists(levels.back()));
}

} // namespace
