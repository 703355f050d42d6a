// ExtractPayload and WritePayloadBytes against resources of this test program
// (see CMakeLists.txt): "ONE_BYTE" (1 byte), "BIG" (about 8 MB of random
// bytes), "EMPTY" (0 bytes), and "MSI32" of type "MSI" (1 byte).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "launcher/installer_launcher.h"
#include "staging/payload.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::InstalledPackagePath;
using testing_support::ListNames;
using testing_support::MakerFolder;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;

std::vector<std::uint8_t> ResourceBytes(const wchar_t* name, const wchar_t* type)
{
    HRSRC resource = FindResourceW(nullptr, name, type);
    if (resource == nullptr)
        return {};
    const DWORD size = SizeofResource(nullptr, resource);
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, resource)));
    return std::vector<std::uint8_t>(data, data + size);
}

class Extract : public ::testing::Test {
  protected:
    TempDir m_temp;
    ScopedEnv m_tmp{L"TMP", m_temp.path()};
    CInstallerLauncher m_app;
};

struct SizeCase {
    const wchar_t* resource;
    size_t minimumSize;
};

class ByteExact : public Extract, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ByteExact, TheFileEqualsTheResource)
{
    const std::vector<std::uint8_t> expected = ResourceBytes(GetParam().resource, L"EXE");
    ASSERT_GE(expected.size(), GetParam().minimumSize);

    std::wstring path;
    ASSERT_EQ(0, ExtractPayload(path, m_app, GetParam().resource, L"EXE", L"payload.exe", true));
    EXPECT_EQ(m_app.m_strWorkFolder + L"payload.exe", path);
    std::vector<std::uint8_t> actual;
    ASSERT_TRUE(ReadFileBytes(path, actual));
    ASSERT_EQ(expected.size(), actual.size());
    EXPECT_TRUE(expected == actual);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ByteExact,
                         ::testing::Values(SizeCase{L"ONE_BYTE", 1}, SizeCase{L"BIG", 8u * 1024 * 1024}));

TEST_F(Extract, TheSameNameTwiceOverwritesTheFirstFile)
{
    std::wstring first;
    std::wstring second;
    ASSERT_EQ(0, ExtractPayload(first, m_app, L"BIG", L"EXE", L"kv_isu.exe", true));
    ASSERT_EQ(0, ExtractPayload(second, m_app, L"ONE_BYTE", L"EXE", L"kv_isu.exe", true));
    EXPECT_EQ(first, second);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(second, bytes));
    EXPECT_EQ(ResourceBytes(L"ONE_BYTE", L"EXE"), bytes);
}

struct MissingCase {
    const wchar_t* name;
    const wchar_t* type;
    int status;
    const char* story;
};

class Missing : public Extract, public ::testing::WithParamInterface<MissingCase> {};

// Nothing may be created before the resource is known to be there.
TEST_P(Missing, FailsWithoutCreatingAFolder)
{
    std::wstring path = L"left over";
    EXPECT_EQ(GetParam().status, ExtractPayload(path, m_app, GetParam().name, GetParam().type, L"x.exe", true))
        << GetParam().story;
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
    EXPECT_TRUE(ListNames(m_temp.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Missing,
    ::testing::Values(MissingCase{L"UNINST2", L"EXE", ERROR_RESOURCE_NAME_NOT_FOUND, "name not carried"},
                      MissingCase{L"MSI64", L"MSI", ERROR_RESOURCE_NAME_NOT_FOUND, "other name of a carried type"},
                      MissingCase{L"ONE_BYTE", L"CAB", ERROR_RESOURCE_TYPE_NOT_FOUND, "type not carried"},
                      // The system reports no code for a resource of size 0; it must
                      // still not read as success.
                      MissingCase{L"EMPTY", L"EXE", exit_code::kFailureWithoutCode, "empty resource"}));

class PackageFolder : public Extract {
  protected:
    void SetUp() override { ASSERT_FALSE(PathExists(MakerFolder())) << "left behind"; }
    testing_support::TestMachine m_machine;
};

TEST_F(PackageFolder, AnOlderLongerPackageIsReplacedCompletely)
{
    const std::wstring target = InstalledPackagePath();
    ASSERT_EQ(ERROR_SUCCESS,
              SHCreateDirectoryExW(nullptr, (MakerFolder() + L"\\Installers\\Orbelle").c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteFileBytes(target, std::vector<std::uint8_t>(4096, 0xEE)));

    std::wstring path;
    ASSERT_EQ(0, ExtractPayload(path, m_app, L"MSI32", L"MSI", L"ZaroInstaller.msi", false));
    EXPECT_EQ(target, path);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(target, bytes));
    EXPECT_EQ(ResourceBytes(L"MSI32", L"MSI"), bytes);
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
}

// A pipe in non-blocking mode accepts only what fits in its buffer and
// reports success for the part it took: a real short write.
TEST(WritePayloadBytes, AShortWriteIsAFailure)
{
    const std::wstring name = L"\\\\.\\pipe\\orbelle-short-write-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server =
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    UniqueFileHandle serverOwner(server);
    UniqueFileHandle client(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(client.valid());

    const std::vector<std::uint8_t> data(1024 * 1024, 0x5A);
    EXPECT_EQ(exit_code::kIncompleteWrite, WritePayloadBytes(server, data.data(), static_cast<DWORD>(data.size())));
}

TEST(WritePayloadBytes, AFailedWriteGivesTheSystemCode)
{
    TempDir temp;
    const std::wstring path = temp / L"read-only-handle.bin";
    ASSERT_TRUE(testing_support::WriteFileBytes(path, {1}));
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.valid());
    const char byte = 'x';
    EXPECT_EQ(ERROR_ACCESS_DENIED, WritePayloadBytes(file.get(), &byte, 1));
}

TEST(WritePayloadBytes, AWholeWriteIsSuccess)
{
    TempDir temp;
    UniqueFileHandle file(
        CreateFileW((temp / L"whole.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(0, WritePayloadBytes(file.get(), "abc", 3));
}

} // namespace
