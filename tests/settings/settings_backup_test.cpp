// The copy of the driver's settings kept beside them during the installation,
// on a scratch HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include "settings/driver_keys.h"
#include "settings/settings_backup.h"
#include "tests/settings/registry_fixture.h"

namespace {

using namespace settings_test;

const wchar_t kRoot[] = L"Software\\ZARO\\Audio\\Drivers";

class SettingsBackup : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_scratch.ok()); }

    // A settings key as a driver leaves it: values of several registry types,
    // value records, a default value, nested and empty subkeys.
    void PlantSettings()
    {
        const std::wstring s = DriverSettingsKeyPath();
        ASSERT_TRUE(SetText(s, L"ProductCode", L"{11111111-2222-3333-4444-555555555555}"));
        ASSERT_TRUE(SetText(s, L"", L"default text \u00e9"));
        ASSERT_TRUE(SetRaw(s, L"Dword", REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})));
        ASSERT_TRUE(SetRaw(s, L"Qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})));
        ASSERT_TRUE(SetRaw(s, L"Multi", REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})));
        ASSERT_TRUE(SetRaw(s, L"Expand", REG_EXPAND_SZ, Bytes({'%', 0, 'X', 0, '%', 0, 0, 0})));
        ASSERT_TRUE(SetRaw(s, L"Raw", REG_BINARY, Bytes({0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0xFF})));
        ASSERT_TRUE(SetRaw(s, L"Empty", REG_BINARY, {}));
        ASSERT_TRUE(SetRaw(s + L"\\Device\\Instances\\One", L"Initialized", REG_BINARY,
                           Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1})));
        ASSERT_TRUE(SetRaw(s + L"\\Device\\Instances\\One\\Attached", L"", REG_BINARY,
                           Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0})));
        ASSERT_TRUE(SetRaw(s + L"\\Device", L"None", REG_NONE, Bytes({9})));
        ASSERT_TRUE(CreateKey(s + L"\\Device\\Instances\\Empty"));
    }

    ScratchRegistry m_scratch;
};

TEST_F(SettingsBackup, CopiesNestedTreeByteForByte)
{
    PlantSettings();
    const TreeSnapshot before = SnapshotTree(DriverSettingsKeyPath());
    ASSERT_GT(before.size(), 10u);

    EXPECT_TRUE(BackupDriverSettings());

    EXPECT_EQ(before, SnapshotTree(SettingsBackupKeyPath()));
    EXPECT_EQ(before, SnapshotTree(DriverSettingsKeyPath()));
}

TEST_F(SettingsBackup, EarlierBackupKeepsWhatTheSettingsLack)
{
    PlantSettings();
    ASSERT_TRUE(SetText(SettingsBackupKeyPath(), L"LeftByEarlierRun", L"stale"));
    ASSERT_TRUE(SetRaw(SettingsBackupKeyPath(), L"Raw", REG_DWORD, Bytes({1, 0, 0, 0})));

    EXPECT_TRUE(BackupDriverSettings());

    TreeSnapshot expected = SnapshotTree(DriverSettingsKeyPath());
    expected[L"V\t\tLeftByEarlierRun"] = L"1\t" + Hex(Bytes({'s', 0, 't', 0, 'a', 0, 'l', 0, 'e', 0, 0, 0}));
    // A same-named value is replaced by the settings' one.
    EXPECT_EQ(expected, SnapshotTree(SettingsBackupKeyPath()));
}

TEST_F(SettingsBackup, CleanMachineGetsEmptyKeysAndRemovalDeletesTheBackup)
{
    ASSERT_FALSE(KeyPresent(L"Software\\ZARO"));

    EXPECT_TRUE(BackupDriverSettings());
    const TreeSnapshot emptyKey{{L"K\t", L""}};
    EXPECT_EQ(emptyKey, SnapshotTree(DriverSettingsKeyPath()));
    EXPECT_EQ(emptyKey, SnapshotTree(SettingsBackupKeyPath()));

    EXPECT_TRUE(DeleteSettingsBackup());
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(emptyKey, SnapshotTree(DriverSettingsKeyPath()));
}

TEST_F(SettingsBackup, RemovalWithoutDriverRootCreatesTheRoot)
{
    ASSERT_FALSE(KeyPresent(L"Software\\ZARO"));

    EXPECT_TRUE(DeleteSettingsBackup());

    const TreeSnapshot emptyKey{{L"K\t", L""}};
    EXPECT_EQ(emptyKey, SnapshotTree(kRoot));
}

TEST_F(SettingsBackup, RemovalWithoutBackupDeletesNothing)
{
    PlantSettings();
    ASSERT_TRUE(SetText(std::wstring(kRoot) + L"\\Other", L"Keep", L"me"));
    const TreeSnapshot before = SnapshotTree(kRoot);

    EXPECT_TRUE(DeleteSettingsBackup());

    EXPECT_EQ(before, SnapshotTree(kRoot));
}

TEST_F(SettingsBackup, RemovalDeletesOnlyTheBackup)
{
    PlantSettings();
    ASSERT_TRUE(BackupDriverSettings());
    ASSERT_TRUE(SetText(SettingsBackupKeyPath() + L"\\Deeper\\Still", L"Extra", L"x"));
    ASSERT_TRUE(SetText(std::wstring(kRoot) + L"\\Other", L"Keep", L"me"));
    TreeSnapshot expected = SnapshotTree(kRoot);
    for (auto it = expected.begin(); it != expected.end();) {
        if (it->first.find(L"SettingsBackup_") != std::wstring::npos)
            it = expected.erase(it);
        else
            ++it;
    }

    EXPECT_TRUE(DeleteSettingsBackup());

    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(expected, SnapshotTree(kRoot));
}

} // namespace
