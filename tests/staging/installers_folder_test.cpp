// The levels of the installers folder: what happens to a level that exists
// already, as a table (Wine keeps no owners, docs/WINE.md), and for real on
// folders of the test's own, with the owners that g_levelOwnerSeam reports
// in place of the system's.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "framework/run_log.h"
#include "framework/unique_handle.h"
#include "launcher/installer_launcher.h"
#include "staging/installers_folder.h"
#include "staging/work_folder.h"
#include "staging_fixtures.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using staging_fixtures::IsUuidText;
using testing_support::ListNames;
using testing_support::PathExists;
using testing_support::TempDir;

const DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
const DWORD kJunction = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
const DWORD kFile = FILE_ATTRIBUTE_ARCHIVE;

struct LevelCase {
    const char* story;
    LevelRole role;
    OwnerKind owner;
    bool ownersRecorded;
    DWORD attributes;
    LevelAction action;
};

class Decide : public ::testing::TestWithParam<LevelCase> {};

TEST_P(Decide, AnExistingLevel)
{
    ExistingLevel level;
    level.role = GetParam().role;
    level.owner = GetParam().owner;
    level.ownersRecorded = GetParam().ownersRecorded;
    level.attributes = GetParam().attributes;
    EXPECT_EQ(GetParam().action, DecideExistingLevel(level)) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Decide,
    ::testing::Values(LevelCase{"the maker's folder an administrator made", LevelRole::Shared,
                                OwnerKind::Administrators, true, kFolder, LevelAction::LeaveAsIs},
                      LevelCase{"the maker's folder SYSTEM made", LevelRole::Shared, OwnerKind::System, true, kFolder,
                                LevelAction::LeaveAsIs},
                      LevelCase{"the maker's folder TrustedInstaller owns", LevelRole::Shared,
                                OwnerKind::TrustedInstaller, true, kFolder, LevelAction::LeaveAsIs},
                      LevelCase{"the product's folder an administrator made", LevelRole::Product,
                                OwnerKind::Administrators, true, kFolder, LevelAction::Protect},
                      LevelCase{"the product's folder SYSTEM made", LevelRole::Product, OwnerKind::System, true,
                                kFolder, LevelAction::Protect},
                      LevelCase{"the maker's folder a standard user made", LevelRole::Shared, OwnerKind::Other, true,
                                kFolder, LevelAction::MoveAside},
                      LevelCase{"the product's folder a standard user made", LevelRole::Product, OwnerKind::Other, true,
                                kFolder, LevelAction::MoveAside},
                      LevelCase{"an owner that cannot be read", LevelRole::Product, OwnerKind::Unknown, true, kFolder,
                                LevelAction::MoveAside},
                      LevelCase{"a standard user's file in a level's place", LevelRole::Shared, OwnerKind::Other, true,
                                kFile, LevelAction::MoveAside},
                      LevelCase{"a standard user's junction: moved aside, never followed", LevelRole::Product,
                                OwnerKind::Other, true, kJunction, LevelAction::MoveAside},
                      LevelCase{"an administrator's junction", LevelRole::Shared, OwnerKind::Administrators, true,
                                kJunction, LevelAction::RefuseReparsePoint},
                      LevelCase{"an administrator's file", LevelRole::Product, OwnerKind::System, true, kFile,
                                LevelAction::RefuseNotFolder},
                      LevelCase{"owners not recorded: the maker's folder stays", LevelRole::Shared, OwnerKind::Other,
                                false, kFolder, LevelAction::LeaveAsIs},
                      LevelCase{"owners not recorded: the product's folder is protected", LevelRole::Product,
                                OwnerKind::Other, false, kFolder, LevelAction::Protect},
                      LevelCase{"owners not recorded: a junction is refused", LevelRole::Product, OwnerKind::Other,
                                false, kJunction, LevelAction::RefuseReparsePoint},
                      LevelCase{"owners not recorded: a file is refused", LevelRole::Shared, OwnerKind::Unknown, false,
                                kFile, LevelAction::RefuseNotFolder}));

// The owners the seam reports: the base is SYSTEM's (so owners count, as on
// Windows), the paths in g_foreign a standard user's, the rest an
// administrator's.
std::wstring g_base;
std::set<std::wstring> g_foreign;
OwnerKind g_baseOwner = OwnerKind::System;
std::wstring g_asideText;

OwnerKind ReportedOwner(HANDLE, const std::wstring& path)
{
    if (path == g_base)
        return g_baseOwner;
    return g_foreign.count(path) ? OwnerKind::Other : OwnerKind::Administrators;
}

long FixedAsideText(std::wstring& text)
{
    text = g_asideText;
    return 0;
}

class Levels : public ::testing::Test {
  protected:
    void SetUp() override
    {
        g_base = m_base.path();
        g_foreign.clear();
        g_baseOwner = OwnerKind::System;
    }

    // Makes the folders of `relative` below the base, and a file `name`
    // holding "earlier" in the last of them.
    void MakeLevels(const std::wstring& relative, const std::wstring& name)
    {
        ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExW(nullptr, (m_base / relative).c_str(), nullptr));
        ASSERT_TRUE(testing_support::WriteFileBytes(m_base / (relative + L"\\" + name), {'e', 'a', 'r', 'l', 'y'}));
    }
    // The one name in `folder` that begins with `prefix`, or empty.
    std::wstring MovedAsideName(const std::wstring& folder, const std::wstring& prefix)
    {
        std::wstring found;
        for (const std::wstring& name : ListNames(folder)) {
            if (name.compare(0, prefix.size(), prefix) == 0) {
                EXPECT_TRUE(found.empty()) << "moved aside twice";
                found = name;
            }
        }
        return found;
    }

    TempDir m_base;
    ScopedOverride<EntryOwnerQuery> m_owners{g_levelOwnerSeam, &ReportedOwner};
};

struct AsideCase {
    const char* story;
    const wchar_t* made;            // the folders there before the run
    const wchar_t* held;            // a file in the last of them
    const wchar_t* parent;          // the foreign level's parent
    const wchar_t* level;           // the foreign level's name
    std::vector<std::wstring> anew; // what the level made anew holds
};

class MovedAside : public Levels, public ::testing::WithParamInterface<AsideCase> {};

TEST_P(MovedAside, WithWhatItHoldsAndTheLevelIsMadeAnew)
{
    const AsideCase& c = GetParam();
    MakeLevels(c.made, c.held);
    const std::wstring parent = m_base / c.parent;
    g_foreign.insert(parent + L"\\" + c.level);
    ASSERT_EQ(0, MakeProtectedFolders(m_base.path(), L"ZARO\\Installers\\Orbelle")) << c.story;

    const std::wstring prefix = std::wstring(c.level) + L".moved-";
    const std::wstring aside = MovedAsideName(parent, prefix);
    ASSERT_FALSE(aside.empty()) << c.story << ": nothing was moved aside";
    EXPECT_TRUE(IsUuidText(aside.substr(prefix.size()))) << testing_support::WideToUtf8(aside);
    EXPECT_EQ(std::vector<std::wstring>{c.held}, ListNames(parent + L"\\" + aside)) << c.story;
    // The level is new: nothing of the old one is in it.
    EXPECT_EQ(c.anew, ListNames(parent + L"\\" + c.level)) << c.story;
}

INSTANTIATE_TEST_SUITE_P(Table, MovedAside,
                         ::testing::Values(AsideCase{"the maker's level a standard user made",
                                                     L"ZARO\\Installers",
                                                     L"other-product.msi",
                                                     L"ZARO",
                                                     L"Installers",
                                                     {L"Orbelle"}},
                                           AsideCase{"the product's level a standard user made",
                                                     L"ZARO\\Installers\\Orbelle",
                                                     L"ZaroInstaller.msi",
                                                     L"ZARO\\Installers",
                                                     L"Orbelle",
                                                     {}}));

TEST_F(Levels, AStandardUsersFileInALevelsPlaceIsMovedAside)
{
    ASSERT_TRUE(testing_support::WriteFileBytes(m_base / L"ZARO", {'x'}));
    g_foreign.insert(m_base / L"ZARO");
    ASSERT_EQ(0, MakeProtectedFolders(m_base.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_FALSE(MovedAsideName(m_base.path(), L"ZARO.moved-").empty());
    EXPECT_TRUE(PathExists(m_base / L"ZARO\\Installers\\Orbelle"));
}

TEST_F(Levels, TheMakersLevelsAnAdministratorMadeStayWhereTheyAreWithWhatTheyHold)
{
    MakeLevels(L"ZARO\\Installers", L"other-product.msi");
    ASSERT_EQ(0, MakeProtectedFolders(m_base.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_EQ(std::vector<std::wstring>{L"Installers"}, ListNames(m_base / L"ZARO"));
    EXPECT_EQ((std::vector<std::wstring>{L"Orbelle", L"other-product.msi"}), ListNames(m_base / L"ZARO\\Installers"));
}

TEST_F(Levels, WhereOwnersAreNotRecordedAForeignOwnerMovesNothing)
{
    // The base itself shows no administrative owner, as every file does
    // under Wine: an owner then says nothing about who made a level.
    g_baseOwner = OwnerKind::Other;
    MakeLevels(L"ZARO\\Installers", L"other-product.msi");
    g_foreign.insert(m_base / L"ZARO");
    g_foreign.insert(m_base / L"ZARO\\Installers");
    ASSERT_EQ(0, MakeProtectedFolders(m_base.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_EQ(std::vector<std::wstring>{L"ZARO"}, ListNames(m_base.path()));
    EXPECT_EQ(std::vector<std::wstring>{L"Installers"}, ListNames(m_base / L"ZARO"));
}

TEST_F(Levels, ALevelThatCannotBeMovedAsideFailsAndStaysAsItWas)
{
    MakeLevels(L"ZARO", L"other-product.msi");
    g_foreign.insert(m_base / L"ZARO");
    // The moved-aside name exists already, so the rename fails.
    g_asideText = L"taken";
    const ScopedOverride<AsideTextSource> asideText(g_asideTextSeam, &FixedAsideText);
    ASSERT_TRUE(CreateDirectoryW((m_base / L"ZARO.moved-taken").c_str(), nullptr));

    EXPECT_NE(0, MakeProtectedFolders(m_base.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_EQ(std::vector<std::wstring>{L"other-product.msi"}, ListNames(m_base / L"ZARO"));
    EXPECT_TRUE(ListNames(m_base / L"ZARO.moved-taken").empty());
}

// The step's own line for a level that cannot be moved aside, through the
// package's folder as CreatePayloadFile prepares it (the machine's common
// application-data folder; the run log of this process shows the line).
TEST(InstallersFolder, ALevelThatCannotBeMovedAsideFailsTheStepWithItsLine)
{
    const std::wstring maker = testing_support::MakerFolder();
    ASSERT_FALSE(PathExists(maker)) << "left behind by another test";
    testing_support::TestMachine machine;
    const std::wstring taken = maker + L".moved-taken";
    struct RemoveTaken {
        std::wstring path;
        ~RemoveTaken() { testing_support::RemoveTree(path); }
    } removeTaken{taken};
    ASSERT_TRUE(CreateDirectoryW(maker.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(taken.c_str(), nullptr));
    g_base = maker.substr(0, maker.rfind(L'\\'));
    g_baseOwner = OwnerKind::System;
    g_foreign = {maker};
    g_asideText = L"taken";
    const ScopedOverride<EntryOwnerQuery> owners(g_levelOwnerSeam, &ReportedOwner);
    const ScopedOverride<AsideTextSource> asideText(g_asideTextSeam, &FixedAsideText);
    TempDir temp;
    ASSERT_TRUE(OpenRunLog(temp / L"run.log"));
    CInstallerLauncher app;
    std::wstring path;
    UniqueFileHandle file;
    const int status = CreatePayloadFile(app, L"ZaroInstaller.msi", false, path, file);
    CloseRunLog();

    EXPECT_NE(0, status);
    EXPECT_FALSE(file.valid());
    EXPECT_NE(std::wstring::npos,
              testing_support::ReadUtf8File(temp / L"run.log")
                  .find(L"Diagnostic: SHCreateDirectoryEx failed (" + std::to_wstring(status) + L")"));
    EXPECT_TRUE(ListNames(maker).empty()) << "something was made in the level that stayed";
}

} // namespace
