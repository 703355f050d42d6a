// The work folder and the installers folder, driven through CreatePayloadFile
// and DeleteWorkFolder with the real file system. The temporary folder is
// redirected (TMP) into a folder of the test's own.
#include <gtest/gtest.h>

#include <rpc.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher/exit_codes.h"
#include "launcher/installer_launcher.h"
#include "staging/work_folder.h"
#include "staging_fixtures.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using staging_fixtures::IsUuidText;
using testing_support::InstalledPackagePath;
using testing_support::ListNames;
using testing_support::MakerFolder;
using testing_support::PathExists;
using testing_support::ScopedEnv;
using testing_support::TempDir;

class WorkFolder : public ::testing::Test {
  protected:
    TempDir m_temp;
    ScopedEnv m_tmp{L"TMP", m_temp.path()};
    CInstallerLauncher m_app;

    // Creates `name` in the work folder and closes it again.
    int Create(const wchar_t* name, std::wstring& path)
    {
        path.clear();
        UniqueFileHandle file;
        return CreatePayloadFile(m_app, name, true, path, file);
    }
};

TEST_F(WorkFolder, TwoExtractionsShareOneFolderNamedByAUuid)
{
    std::wstring first;
    std::wstring second;
    ASSERT_EQ(0, Create(L"vcredist_x86.exe", first));
    ASSERT_EQ(0, Create(L"vcredist_x64.exe", second));

    const std::vector<std::wstring> folders = ListNames(m_temp.path());
    ASSERT_EQ(1u, folders.size());
    EXPECT_TRUE(IsUuidText(folders[0])) << testing_support::WideToUtf8(folders[0]);
    const std::wstring folder = m_temp.path() + L"\\" + folders[0] + L"\\";
    EXPECT_EQ(folder, m_app.m_strWorkFolder);
    EXPECT_EQ(folder + L"vcredist_x86.exe", first);
    EXPECT_EQ(folder + L"vcredist_x64.exe", second);
    // Beside the programs, the children's temporary folder, made with it.
    EXPECT_EQ((std::vector<std::wstring>{L"tmp", L"vcredist_x64.exe", L"vcredist_x86.exe"}), ListNames(folder));
}

TEST_F(WorkFolder, TheChildrensTemporaryFolderComesWithIt)
{
    EXPECT_EQ(L"", ChildTempFolder(m_app)) << "no work folder yet";
    std::wstring path;
    ASSERT_EQ(0, Create(L"kv_isu.exe", path));
    EXPECT_EQ(m_app.m_strWorkFolder + L"tmp", ChildTempFolder(m_app));
    const DWORD attributes = GetFileAttributesW(ChildTempFolder(m_app).c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(ListNames(ChildTempFolder(m_app)).empty());
}

// Scripted name sources for the collision and bound cases.
std::vector<std::wstring> g_names;
size_t g_nameCalls = 0;

long ScriptedName(std::wstring& text)
{
    const size_t call = g_nameCalls++;
    text = g_names[call < g_names.size() ? call : g_names.size() - 1];
    return RPC_S_OK;
}

long FailingName(std::wstring&)
{
    ++g_nameCalls;
    return RPC_S_UUID_NO_ADDRESS;
}

class ScriptedNames : public WorkFolder {
  protected:
    void Use(WorkFolderNameSource source, std::vector<std::wstring> names)
    {
        g_names = std::move(names);
        g_nameCalls = 0;
        m_names.emplace(g_workFolderNameSeam, source);
    }
    std::optional<ScopedOverride<WorkFolderNameSource>> m_names;
};

TEST_F(ScriptedNames, ACollisionMakesTheNextAttemptUseANewName)
{
    Use(&ScriptedName, {L"11111111-1111-1111-1111-111111111111", L"22222222-2222-2222-2222-222222222222"});
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"11111111-1111-1111-1111-111111111111").c_str(), nullptr));

    std::wstring path;
    ASSERT_EQ(0, Create(L"kv_isu.exe", path));
    EXPECT_EQ(2u, g_nameCalls);
    EXPECT_EQ(m_temp / L"22222222-2222-2222-2222-222222222222\\", m_app.m_strWorkFolder);
    EXPECT_TRUE(ListNames(m_temp / L"11111111-1111-1111-1111-111111111111").empty());
}

TEST_F(ScriptedNames, AttemptsStopAtTheBoundWithTheLastSystemError)
{
    Use(&ScriptedName, {L"33333333-3333-3333-3333-333333333333"});
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"33333333-3333-3333-3333-333333333333").c_str(), nullptr));

    std::wstring path;
    UniqueFileHandle file;
    EXPECT_EQ(ERROR_ALREADY_EXISTS, CreatePayloadFile(m_app, L"kv_isu.exe", true, path, file));
    EXPECT_EQ(static_cast<size_t>(kWorkFolderNameAttempts), g_nameCalls);
    EXPECT_FALSE(file.valid());
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
}

TEST_F(ScriptedNames, ANameSourceThatKeepsFailingEndsAtTheBound)
{
    Use(&FailingName, {});
    std::wstring path;
    EXPECT_EQ(RPC_S_UUID_NO_ADDRESS, Create(L"kv_isu.exe", path));
    EXPECT_EQ(static_cast<size_t>(kWorkFolderNameAttempts), g_nameCalls);
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
    EXPECT_TRUE(ListNames(m_temp.path()).empty());
}

TEST_F(WorkFolder, AFileOfTheSameNameIsReplacedByAnEmptyOne)
{
    std::wstring path;
    {
        UniqueFileHandle file;
        ASSERT_EQ(0, CreatePayloadFile(m_app, L"kv_isu.exe", true, path, file));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "MZ..", 4, &written, nullptr));
    }
    ASSERT_EQ(0, Create(L"kv_isu.exe", path));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(testing_support::ReadFileBytes(path, bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST_F(WorkFolder, TheFileIsHeldWithoutSharing)
{
    std::wstring path;
    UniqueFileHandle file;
    ASSERT_EQ(0, CreatePayloadFile(m_app, L"kv_isu.exe", true, path, file));
    const UniqueFileHandle other(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, other.get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

// DeleteWorkFolder runs in a current directory holding a file: with no work
// folder, a search for "*.*" there would find and delete it.
class DeleteWork : public WorkFolder {
  protected:
    DeleteWork()
    {
        GetCurrentDirectoryW(MAX_PATH, m_oldDirectory);
        CreateDirectoryW(m_bystanderDir.c_str(), nullptr);
        testing_support::WriteFileBytes(m_bystander, {'k', 'e', 'e', 'p'});
        SetCurrentDirectoryW(m_bystanderDir.c_str());
    }
    ~DeleteWork() override { SetCurrentDirectoryW(m_oldDirectory); }
    TempDir m_other;
    const std::wstring m_bystanderDir = m_other / L"cwd";
    const std::wstring m_bystander = m_other / L"cwd\\bystander.txt";
    wchar_t m_oldDirectory[MAX_PATH] = {};
};

TEST_F(DeleteWork, WithoutAWorkFolderTouchesNothing)
{
    DeleteWorkFolder(m_app);
    EXPECT_TRUE(PathExists(m_bystander));
    EXPECT_TRUE(PathExists(m_bystanderDir));
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
}

TEST_F(DeleteWork, RemovesEverythingAndTwiceIsHarmless)
{
    std::wstring path;
    ASSERT_EQ(0, Create(L"vcredist_x86.exe", path));
    ASSERT_EQ(0, Create(L"kv_isu.exe", path));
    const std::wstring folder = m_app.m_strWorkFolder;

    DeleteWorkFolder(m_app);
    EXPECT_FALSE(PathExists(folder));
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
    DeleteWorkFolder(m_app);
    EXPECT_TRUE(PathExists(m_bystander));
}

TEST_F(DeleteWork, AFileStillHeldOpenStaysWithItsFolder)
{
    std::wstring held;
    std::wstring other;
    UniqueFileHandle heldFile;
    ASSERT_EQ(0, CreatePayloadFile(m_app, L"kv_isu.exe", true, held, heldFile));
    ASSERT_EQ(0, Create(L"vcredist_x86.exe", other));
    const std::wstring folder = m_app.m_strWorkFolder;

    DeleteWorkFolder(m_app);
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
    EXPECT_FALSE(PathExists(other));
    EXPECT_TRUE(PathExists(held));
    EXPECT_TRUE(PathExists(folder));
    heldFile.reset();
}

// The installers folder lives in the prefix's real common application-data
// folder; each test removes what it created there.
class InstallersFolder : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(PathExists(MakerFolder())) << "left behind by another test"; }
    testing_support::TestMachine m_machine;
    CInstallerLauncher m_app;
};

TEST_F(InstallersFolder, IsCreatedWithItsParentsAndReused)
{
    const std::wstring expected = InstalledPackagePath();
    for (int run = 0; run < 2; ++run) {
        std::wstring path;
        UniqueFileHandle file;
        ASSERT_EQ(0, CreatePayloadFile(m_app, L"ZaroInstaller.msi", false, path, file)) << "run " << run;
        EXPECT_EQ(expected, path);
        EXPECT_TRUE(file.valid());
    }
    EXPECT_TRUE(m_app.m_strWorkFolder.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"ZaroInstaller.msi"}, ListNames(MakerFolder() + L"\\Installers\\Orbelle"));
}

TEST_F(InstallersFolder, APackageHeldOpenElsewhereFailsWithTheSystemCode)
{
    std::wstring path;
    UniqueFileHandle first;
    ASSERT_EQ(0, CreatePayloadFile(m_app, L"ZaroInstaller.msi", false, path, first));
    std::wstring again;
    UniqueFileHandle second;
    EXPECT_EQ(ERROR_SHARING_VIOLATION, CreatePayloadFile(m_app, L"ZaroInstaller.msi", false, again, second));
    EXPECT_FALSE(second.valid());
}

} // namespace
