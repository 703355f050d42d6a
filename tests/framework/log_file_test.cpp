// How the run log opens its file: never through a link in the log's place.
// Wine makes hard links but no symbolic links (docs/WINE.md), so the
// reparse-point case is the table's alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/run_log.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

using Bytes = std::vector<std::uint8_t>;

struct PlainCase {
    const char* story;
    DWORD attributes;
    DWORD links;
    bool plain;
};

class PlainFile : public ::testing::TestWithParam<PlainCase> {};

TEST_P(PlainFile, MayBeTruncatedAsTheLog)
{
    EXPECT_EQ(GetParam().plain, IsPlainFileForLog(GetParam().attributes, GetParam().links)) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlainFile,
    ::testing::Values(PlainCase{"a new or plain file", FILE_ATTRIBUTE_ARCHIVE, 1, true},
                      PlainCase{"FILE_ATTRIBUTE_NORMAL", FILE_ATTRIBUTE_NORMAL, 1, true},
                      PlainCase{"a second name of another file", FILE_ATTRIBUTE_ARCHIVE, 2, false},
                      PlainCase{"one of many names", FILE_ATTRIBUTE_NORMAL, 40, false},
                      PlainCase{"a symbolic link opened as itself", FILE_ATTRIBUTE_REPARSE_POINT, 1, false},
                      PlainCase{"a junction", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 1, false},
                      PlainCase{"a folder", FILE_ATTRIBUTE_DIRECTORY, 1, false},
                      PlainCase{"no name at all", FILE_ATTRIBUTE_ARCHIVE, 0, false}));

// Leaves logging off whatever a test did.
class LogFile : public ::testing::Test {
  protected:
    void TearDown() override { CloseRunLog(); }
    TempDir m_temp;
};

TEST_F(LogFile, ASecondNameOfAnotherFileIsLeftAsItWas)
{
    const std::wstring precious = m_temp / L"precious.dat";
    const Bytes contents = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    ASSERT_TRUE(WriteFileBytes(precious, contents));
    const std::wstring log = m_temp / L"setup.log";
    ASSERT_TRUE(CreateHardLinkW(log.c_str(), precious.c_str(), nullptr));

    EXPECT_FALSE(OpenRunLog(log));
    EXPECT_FALSE(RunLogIsOpen());
    LogLine(L"must go nowhere");
    CloseRunLog();
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(precious, after));
    EXPECT_EQ(contents, after);
}

TEST_F(LogFile, AnEarlierLogIsEmptiedAndWrittenAnew)
{
    const std::wstring log = m_temp / L"setup.log";
    ASSERT_TRUE(WriteFileBytes(log, Bytes(100, 'x')));
    ASSERT_TRUE(OpenRunLog(log));
    LogLine(L"first");
    CloseRunLog();
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(log, after));
    EXPECT_EQ((Bytes{'f', 'i', 'r', 's', 't', '\r', '\n'}), after);
}

TEST_F(LogFile, ANewLogIsCreated)
{
    const std::wstring log = m_temp / L"new.log";
    ASSERT_TRUE(OpenRunLog(log));
    LogLine(L"line");
    CloseRunLog();
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(log, after));
    EXPECT_EQ((Bytes{'l', 'i', 'n', 'e', '\r', '\n'}), after);
}

TEST_F(LogFile, AFolderInTheLogsPlaceIsNotALog)
{
    const std::wstring folder = m_temp / L"setup.log";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(OpenRunLog(folder));
    EXPECT_TRUE(testing_support::ListNames(folder).empty());
}

} // namespace
