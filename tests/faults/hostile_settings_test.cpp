// Settings trees that push every limit of the registry: values of every type
// (with data no well-behaved writer makes), value names of 16,383 characters,
// key names of 255, a tree 100 levels deep, 10,000 values in one key, and the
// euro sign (U+20AC, outside ISO 8859-1) in names and data. While the package
// installs, the backup must equal the settings key in every type and byte;
// afterwards it must be gone completely, and the settings key untouched.
#include <string>

#include "fault_fixtures.h"
#include "launcher/exit_codes.h"
#include "tests/support/value_records.h"

namespace faults {
namespace {

void AddEveryType(KeySnapshot& key)
{
    const std::wstring euro = L"Preis \u20AC 5";
    key.values[L"sz"] = ValueSnapshot{REG_SZ, WideBytes(L"Main Out", true)};
    key.values[L"sz \u20AC"] = ValueSnapshot{REG_SZ, WideBytes(euro, true)};
    key.values[L"sz without terminator"] = ValueSnapshot{REG_SZ, WideBytes(L"48k", false)};
    key.values[L"sz odd length"] = ValueSnapshot{REG_SZ, {'a', 0, 'b'}};
    key.values[L"sz empty data"] = ValueSnapshot{REG_SZ, {}};
    key.values[L"sz with inner NUL"] = ValueSnapshot{REG_SZ, WideBytes(std::wstring(L"a\0tail", 6), true)};
    key.values[L"expand"] = ValueSnapshot{REG_EXPAND_SZ, WideBytes(L"%SystemRoot%\\\u20AC", true)};
    key.values[L"binary"] = ValueSnapshot{REG_BINARY, {0xDE, 0xAD, 0xBE, 0xEF}};
    key.values[L"binary record"] = ValueSnapshot{REG_BINARY, testing_support::kBoolTrueRecord};
    key.values[L"binary bad record"] = ValueSnapshot{REG_BINARY, {0xFF, 0xFF, 0xFF, 0x7F, 9, 9, 9, 9, 2, 0, 0, 0}};
    key.values[L"binary empty"] = ValueSnapshot{REG_BINARY, {}};
    key.values[L"dword"] = ValueSnapshot{REG_DWORD, {0x78, 0x56, 0x34, 0x12}};
    key.values[L"dword short"] = ValueSnapshot{REG_DWORD, {1, 2}};
    key.values[L"dword big-endian"] = ValueSnapshot{REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}};
    key.values[L"link"] = ValueSnapshot{REG_LINK, WideBytes(L"\\Registry\\Machine\\Software", false)};
    key.values[L"multi"] = ValueSnapshot{REG_MULTI_SZ, WideBytes(std::wstring(L"one\0\u20AC\0", 6), true)};
    key.values[L"multi unterminated"] = ValueSnapshot{REG_MULTI_SZ, WideBytes(L"one", false)};
    key.values[L"resource list"] = ValueSnapshot{REG_RESOURCE_LIST, {1, 0, 0, 0, 5}};
    key.values[L"full resource descriptor"] = ValueSnapshot{REG_FULL_RESOURCE_DESCRIPTOR, {2, 0, 0}};
    key.values[L"resource requirements"] = ValueSnapshot{REG_RESOURCE_REQUIREMENTS_LIST, {3}};
    key.values[L"qword"] = ValueSnapshot{REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}};
    key.values[L"qword long"] = ValueSnapshot{REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
    key.values[L"none"] = ValueSnapshot{REG_NONE, {9, 8, 7}};
    key.values[L"none empty"] = ValueSnapshot{REG_NONE, {}};
    key.values[L"type 0x1234"] = ValueSnapshot{0x1234, {1}};
    key.values[L"type 0xFFFFFFFF"] = ValueSnapshot{0xFFFFFFFF, {2, 2}};
    key.values[L""] = ValueSnapshot{REG_SZ, WideBytes(L"default \u20AC", true)};
}

KeySnapshot HostileSettings()
{
    KeySnapshot settings;
    settings.exists = true;
    AddEveryType(settings);
    settings.values[std::wstring(16383, L'v')] = ValueSnapshot{REG_SZ, WideBytes(L"longest name", true)};
    settings.values[std::wstring(16383, L'\u20AC')] = ValueSnapshot{REG_BINARY, {0x20, 0xAC}};

    KeySnapshot& longName = settings.subkeys[std::wstring(255, L'k')];
    longName.exists = true;
    AddEveryType(longName);
    KeySnapshot& euroName = settings.subkeys[std::wstring(255, L'\u20AC')];
    euroName.exists = true;
    euroName.values[L"\u20AC"] = ValueSnapshot{REG_SZ, WideBytes(L"\u20AC", true)};

    KeySnapshot* level = &settings;
    for (int depth = 1; depth <= 100; ++depth) {
        level = &level->subkeys[L"level " + std::to_wstring(depth)];
        level->exists = true;
        level->values[L"depth"] = ValueSnapshot{REG_DWORD, {static_cast<std::uint8_t>(depth), 0, 0, 0}};
    }
    // The deepest key also has the longest name.
    level = &level->subkeys[std::wstring(255, L'd')];
    level->exists = true;
    AddEveryType(*level);

    KeySnapshot& many = settings.subkeys[L"many \u20AC"];
    many.exists = true;
    for (std::uint32_t i = 0; i < 10000; ++i) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&i);
        many.values[L"value " + std::to_wstring(i)] = ValueSnapshot{REG_DWORD, std::vector<std::uint8_t>(p, p + 4)};
    }
    return settings;
}

class HostileSettingsTree : public FaultScenario {};

TEST_F(HostileSettingsTree, TheBackupEqualsTheSourceAndIsDeletedCompletely)
{
    StandinInstaller installer(m_run.folder());
    ASSERT_TRUE(installer.ok());
    ASSERT_TRUE(DeleteKeyTree(SettingsKeyPath()));
    m_settings = HostileSettings();
    ASSERT_TRUE(WriteSnapshot(SettingsKeyPath(), m_settings));
    // The fixture itself is exact: what was meant is what the registry holds.
    ASSERT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));
    ASSERT_EQ(10000u + 3 * 27 + 2 + 1 + 100, CountValues(m_settings));

    RunStoppedInInstaller run(m_run);
    ASSERT_TRUE(run.Start(L"faults_launcher_package"));
    const KeySnapshot backup = TakeSnapshot(BackupKeyPath());
    EXPECT_EQ(L"", FirstDifference(m_settings, backup)) << "the backup differs from the settings";
    EXPECT_EQ(CountKeys(m_settings), CountKeys(backup));
    EXPECT_EQ(CountValues(m_settings), CountValues(backup));
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), run.Finish(0));
    ExpectSettingsIntact("after the run with a hostile settings tree");
    // Nothing of the backup is left below the driver root.
    const KeySnapshot root = TakeSnapshot(product::kDriverRoot);
    EXPECT_EQ(1u, root.subkeys.size());
}

// A registry link below the settings key, as another account could make one
// if the driver let Users write its settings, leading to a key of HKLM that
// the launcher (here an elevated administrator, as SYSTEM under a deployment
// tool) must neither copy into the backup nor change or delete.
class LinkedSettings : public FaultScenario {
  protected:
    void TearDown() override
    {
        // Before the fixture's removal of the maker's key, which would follow it.
        EXPECT_TRUE(testing_support::DeleteLinkRaw(m_link));
        EXPECT_TRUE(DeleteKeyTree(kTarget));
        FaultScenario::TearDown();
    }
    static constexpr const wchar_t* kTarget = L"Software\\OrbelleLinkTarget";
    const std::wstring m_link = SettingsKeyPath() + L"\\Linked";
};

TEST_F(LinkedSettings, AreNeitherCopiedNorChangedNorDeleted)
{
    StandinInstaller installer(m_run.folder());
    ASSERT_TRUE(installer.ok());
    KeySnapshot target;
    target.exists = true;
    target.values[L"Secret"] = TextValue(L"keep out");
    target.subkeys[L"Inner"].exists = true;
    target.subkeys[L"Inner"].values[L"Deeper"] = ValueSnapshot{REG_DWORD, {7, 0, 0, 0}};
    ASSERT_TRUE(WriteSnapshot(kTarget, target));
    const KeySnapshot settingsAlone = TakeSnapshot(SettingsKeyPath());
    ASSERT_TRUE(testing_support::CreateLinkRaw(m_link, kTarget));

    RunStoppedInInstaller run(m_run);
    ASSERT_TRUE(run.Start(L"faults_launcher_package"));
    EXPECT_EQ(L"", FirstDifference(settingsAlone, TakeSnapshot(BackupKeyPath())))
        << "the backup is not the settings without the link";
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), run.Finish(0));
    EXPECT_EQ(L"", FirstDifference(target, TakeSnapshot(kTarget))) << "the link's target changed";
    EXPECT_FALSE(TakeSnapshot(BackupKeyPath()).exists) << "the backup key was left behind";
    // Read by name, the settings key shows the target through the link.
    KeySnapshot settingsSeenThroughTheLink = settingsAlone;
    settingsSeenThroughTheLink.subkeys[L"Linked"] = target;
    EXPECT_EQ(L"", FirstDifference(settingsSeenThroughTheLink, TakeSnapshot(SettingsKeyPath())))
        << "the settings key changed";
}

} // namespace
} // namespace faults
