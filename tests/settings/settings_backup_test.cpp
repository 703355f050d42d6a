// The copy of the driver's settings kept beside them during the installation,
// on a scratch HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include "launcher/product_constants.h"
#include "settings/driver_keys.h"
#include "settings/settings_backup.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_machine.h"
#include "tests/support/value_records.h"

namespace {

using namespace testing_support;

using product::kDriverRoot;

class SettingsBackup : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_scratch.ok()); }

    // A settings key as a driver leaves it: values of several registry types,
    // value records, a default value, nested and empty subkeys.
    void PlantSettings()
    {
        const std::wstring s = DriverSettingsKeyPath();
        ASSERT_TRUE(SetTextRaw(s, L"ProductCode", L"{11111111-2222-3333-4444-555555555555}"));
        ASSERT_TRUE(SetTextRaw(s, L"", L"default text \u00e9"));
        ASSERT_TRUE(SetValueRaw(s, L"Dword", REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})));
        ASSERT_TRUE(SetValueRaw(s, L"Qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})));
        ASSERT_TRUE(SetValueRaw(s, L"Multi", REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})));
        ASSERT_TRUE(SetValueRaw(s, L"Expand", REG_EXPAND_SZ, Bytes({'%', 0, 'X', 0, '%', 0, 0, 0})));
        ASSERT_TRUE(SetValueRaw(s, L"Raw", REG_BINARY, Bytes({0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0xFF})));
        ASSERT_TRUE(SetValueRaw(s, L"Empty", REG_BINARY, {}));
        ASSERT_TRUE(SetValueRaw(s + L"\\Device\\Instances\\One", L"Initialized", REG_BINARY, kBoolTrueRecord));
        ASSERT_TRUE(SetValueRaw(s + L"\\Device\\Instances\\One\\Attached", L"", REG_BINARY, kBoolFalseRecord));
        ASSERT_TRUE(SetValueRaw(s + L"\\Device", L"None", REG_NONE, Bytes({9})));
        ASSERT_TRUE(CreateKeyRaw(s + L"\\Device\\Instances\\Empty"));
    }

    ScratchRegistry m_scratch;
};

TEST_F(SettingsBackup, CopiesNestedTreeByteForByte)
{
    PlantSettings();
    const KeySnapshot before = TakeSnapshot(DriverSettingsKeyPath());
    ASSERT_GT(CountKeys(before) + CountValues(before), 10u);

    EXPECT_TRUE(BackupDriverSettings());

    EXPECT_EQ(before, TakeSnapshot(SettingsBackupKeyPath()));
    EXPECT_EQ(before, TakeSnapshot(DriverSettingsKeyPath()));
}

TEST_F(SettingsBackup, EarlierBackupKeepsWhatTheSettingsLack)
{
    PlantSettings();
    ASSERT_TRUE(SetTextRaw(SettingsBackupKeyPath(), L"LeftByEarlierRun", L"stale"));
    ASSERT_TRUE(SetValueRaw(SettingsBackupKeyPath(), L"Raw", REG_DWORD, Bytes({1, 0, 0, 0})));

    EXPECT_TRUE(BackupDriverSettings());

    KeySnapshot expected = TakeSnapshot(DriverSettingsKeyPath());
    expected.values[L"LeftByEarlierRun"] = ValueSnapshot{REG_SZ, Bytes({'s', 0, 't', 0, 'a', 0, 'l', 0, 'e', 0, 0, 0})};
    // A same-named value is replaced by the settings' one.
    EXPECT_EQ(expected, TakeSnapshot(SettingsBackupKeyPath()));
}

TEST_F(SettingsBackup, CleanMachineGetsEmptyKeysAndRemovalDeletesTheBackup)
{
    ASSERT_FALSE(KeyPresent(kMakerKey));

    EXPECT_TRUE(BackupDriverSettings());
    const KeySnapshot emptyKey = EmptyKey();
    EXPECT_EQ(emptyKey, TakeSnapshot(DriverSettingsKeyPath()));
    EXPECT_EQ(emptyKey, TakeSnapshot(SettingsBackupKeyPath()));

    EXPECT_TRUE(DeleteSettingsBackup());
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(emptyKey, TakeSnapshot(DriverSettingsKeyPath()));
}

TEST_F(SettingsBackup, RemovalWithoutDriverRootCreatesTheRoot)
{
    ASSERT_FALSE(KeyPresent(kMakerKey));

    EXPECT_TRUE(DeleteSettingsBackup());

    const KeySnapshot emptyKey = EmptyKey();
    EXPECT_EQ(emptyKey, TakeSnapshot(kDriverRoot));
}

TEST_F(SettingsBackup, RemovalWithoutBackupDeletesNothing)
{
    PlantSettings();
    ASSERT_TRUE(SetTextRaw(std::wstring(kDriverRoot) + L"\\Other", L"Keep", L"me"));
    const KeySnapshot before = TakeSnapshot(kDriverRoot);

    EXPECT_TRUE(DeleteSettingsBackup());

    EXPECT_EQ(before, TakeSnapshot(kDriverRoot));
}

TEST_F(SettingsBackup, RemovalDeletesOnlyTheBackup)
{
    PlantSettings();
    ASSERT_TRUE(BackupDriverSettings());
    ASSERT_TRUE(SetTextRaw(SettingsBackupKeyPath() + L"\\Deeper\\Still", L"Extra", L"x"));
    ASSERT_TRUE(SetTextRaw(std::wstring(kDriverRoot) + L"\\Other", L"Keep", L"me"));
    KeySnapshot expected = TakeSnapshot(kDriverRoot);
    for (auto it = expected.subkeys.begin(); it != expected.subkeys.end();) {
        if (it->first.find(L"SettingsBackup_") != std::wstring::npos)
            it = expected.subkeys.erase(it);
        else
            ++it;
    }

    EXPECT_TRUE(DeleteSettingsBackup());

    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(expected, TakeSnapshot(kDriverRoot));
}

} // namespace
