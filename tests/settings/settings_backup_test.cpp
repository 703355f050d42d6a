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

// Registry links in the driver's keys, as another account could make them if
// a driver let Users write its settings key (Wine makes them as Windows does,
// docs/WINE.md). Each leads to a key outside the driver's, which must come
// through the backup and its removal untouched.
class SettingsLinks : public SettingsBackup {
  protected:
    void SetUp() override
    {
        SettingsBackup::SetUp();
        ASSERT_TRUE(SetTextRaw(kProtected, L"Secret", L"keep out"));
        ASSERT_TRUE(SetValueRaw(std::wstring(kProtected) + L"\\Inner", L"Deeper", REG_DWORD, Bytes({7, 0, 0, 0})));
        m_protected = TakeSnapshot(kProtected);
    }
    void TearDown() override
    {
        for (const std::wstring& link : m_links)
            DeleteLinkRaw(link); // the scratch key's removal would follow it
        EXPECT_EQ(L"", FirstDifference(m_protected, TakeSnapshot(kProtected))) << "the link's target changed";
    }
    void Link(const std::wstring& path)
    {
        ASSERT_TRUE(CreateLinkRaw(path, kProtected));
        m_links.push_back(path);
    }
    static constexpr const wchar_t* kProtected = L"Software\\Protected";
    KeySnapshot m_protected;
    std::vector<std::wstring> m_links;
};

TEST_F(SettingsLinks, ALinkBelowTheSettingsIsNeitherCopiedNorFollowed)
{
    PlantSettings();
    KeySnapshot settings = TakeSnapshot(DriverSettingsKeyPath());
    Link(DriverSettingsKeyPath() + L"\\Linked");

    EXPECT_FALSE(BackupDriverSettings()) << "the link left out is reported";
    EXPECT_EQ(settings, TakeSnapshot(SettingsBackupKeyPath())) << "the backup is the settings without the link";
    EXPECT_TRUE(DeleteSettingsBackup());
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
}

TEST_F(SettingsLinks, ALinkAtTheBackupsNameIsNotWrittenThroughAndIsDeletedAsTheLink)
{
    PlantSettings();
    Link(SettingsBackupKeyPath());

    EXPECT_FALSE(BackupDriverSettings());
    EXPECT_TRUE(DeleteSettingsBackup());
    EXPECT_EQ(std::vector<std::wstring>{product::kDriverGuid}, SubkeyNamesRaw(kDriverRoot)) << "the link is left";
}

TEST_F(SettingsLinks, ALinkToNothingAtTheBackupsNameIsDeletedToo)
{
    ASSERT_TRUE(CreateKeyRaw(L"Software\\Gone"));
    ASSERT_TRUE(CreateLinkRaw(SettingsBackupKeyPath(), L"Software\\Gone"));
    m_links.push_back(SettingsBackupKeyPath());
    ASSERT_TRUE(DeleteKeyTree(L"Software\\Gone"));

    EXPECT_TRUE(DeleteSettingsBackup());
    EXPECT_TRUE(SubkeyNamesRaw(kDriverRoot).empty()) << "the dangling link is left";
}

TEST_F(SettingsLinks, ASettingsKeyThatIsALinkIsNotCopied)
{
    Link(DriverSettingsKeyPath());

    EXPECT_FALSE(BackupDriverSettings());
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath())) << "something was copied";
}

} // namespace
