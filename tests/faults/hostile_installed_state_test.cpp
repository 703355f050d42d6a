// What an earlier installation left behind, in shapes the launcher does not
// expect: the product code as a number or far too long, the version as binary
// garbage, a value where the device reset expects a key, a thousand device
// instances. The run must go on to the package installation each time; the
// settings key comes out unchanged except for exactly what the documented
// reset writes, and Windows' Uninstall list is never added to.
#include <cstring>
#include <functional>
#include <string>

#include "fault_fixtures.h"
#include "launcher/exit_codes.h"
#include "tests/support/value_records.h"

namespace faults {
namespace {

using product::kUninstallList;
const wchar_t kProductCode[] = L"{0D9C4E3A-7F21-4B6C-9A58-3E2F1D0C4B7A}";
using testing_support::kBoolFalseRecord;
using testing_support::kBoolTrueRecord;
using testing_support::kDeviceKeyName;
using testing_support::kInt64RecordHeader;

KeySnapshot& Instances(KeySnapshot& settings)
{
    KeySnapshot& device = settings.subkeys[kDeviceKeyName];
    device.exists = true;
    KeySnapshot& instances = device.subkeys[L"Instances"];
    instances.exists = true;
    return instances;
}

// A product registered in the Uninstall list with version `version`.
void Registered(KeySnapshot& settings, KeySnapshot& entry, const ValueSnapshot& version)
{
    settings.values[L"ProductCode"] = TextValue(kProductCode);
    entry.exists = true;
    entry.values[L"DisplayName"] = TextValue(L"Orbelle Fault Test");
    entry.values[L"DisplayVersion"] = version;
}

struct InstalledCase {
    const char* story;
    std::function<void(KeySnapshot& settings, KeySnapshot& entry)> make;
    bool reset; // whether the documented device reset must have run
};

class HostileInstalledState : public FaultScenario, public ::testing::WithParamInterface<InstalledCase> {
  protected:
    void TearDown() override
    {
        EXPECT_TRUE(DeleteKeyTree(std::wstring(kUninstallList) + L"\\" + kProductCode));
        FaultScenario::TearDown();
    }
};

// `before` as the reset must leave it: per instance the "Attached" subkey's
// default value and "Initialized" hold the Bool false record, and
// "LastDetachTime" an Int64 record of a time no earlier than `start` (its
// eight time bytes are taken from `after`).
KeySnapshot ExpectedAfterReset(const KeySnapshot& before, const KeySnapshot& after, ULONGLONG start)
{
    KeySnapshot expected = before;
    auto device = expected.subkeys.find(kDeviceKeyName);
    if (device == expected.subkeys.end())
        return expected;
    KeySnapshot& instances = device->second.subkeys[L"Instances"];
    const auto afterDevice = after.subkeys.find(kDeviceKeyName);
    for (auto& instance : instances.subkeys) {
        KeySnapshot& attached = instance.second.subkeys[L"Attached"];
        attached.exists = true;
        attached.values[L""] = ValueSnapshot{REG_BINARY, kBoolFalseRecord};
        instance.second.values[L"Initialized"] = ValueSnapshot{REG_BINARY, kBoolFalseRecord};
        std::vector<std::uint8_t> time = kInt64RecordHeader;
        time.resize(20); // the time bytes, zero unless taken from `after` below
        if (afterDevice != after.subkeys.end()) {
            const auto& afterInstances = afterDevice->second.subkeys.find(L"Instances");
            if (afterInstances != afterDevice->second.subkeys.end()) {
                const auto found = afterInstances->second.subkeys.find(instance.first);
                if (found != afterInstances->second.subkeys.end()) {
                    const auto value = found->second.values.find(L"LastDetachTime");
                    if (value != found->second.values.end() && value->second.bytes.size() == 20) {
                        ULONGLONG written = 0;
                        memcpy(&written, value->second.bytes.data() + 12, 8);
                        if (written >= start)
                            std::copy(value->second.bytes.begin() + 12, value->second.bytes.end(), time.begin() + 12);
                    }
                }
            }
        }
        instance.second.values[L"LastDetachTime"] = ValueSnapshot{REG_BINARY, time};
    }
    return expected;
}

ULONGLONG Now()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

TEST_P(HostileInstalledState, TheRunGoesOnAndChangesOnlyWhatTheResetWrites)
{
    const InstalledCase& c = GetParam();
    StandinInstaller installer(m_run.folder());
    ASSERT_TRUE(installer.ok());
    KeySnapshot entry;
    c.make(m_settings, entry);
    ASSERT_TRUE(DeleteKeyTree(SettingsKeyPath()));
    ASSERT_TRUE(WriteSnapshot(SettingsKeyPath(), m_settings));
    ASSERT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));
    if (entry.exists) {
        ASSERT_TRUE(WriteSnapshot(std::wstring(kUninstallList) + L"\\" + kProductCode, entry));
    }
    const auto uninstallBefore = TakeSnapshot(kUninstallList).subkeys.size();

    m_run.SetTimeout(300000);
    const ULONGLONG start = Now();
    const auto result = m_run.Run(L"faults_launcher_package");
    ASSERT_TRUE(result.started) << c.story;
    ASSERT_FALSE(result.timedOut) << c.story;
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), result.exitCode) << c.story;
    EXPECT_EQ("", result.output) << c.story;
    const auto& records = result.children;
    ASSERT_EQ(2u, records.size()) << c.story;
    EXPECT_EQ(L"msiexec.exe", records[1].program) << c.story << ": the run did not reach the package";

    const KeySnapshot after = TakeSnapshot(SettingsKeyPath());
    const KeySnapshot expected = c.reset ? ExpectedAfterReset(m_settings, after, start) : m_settings;
    EXPECT_EQ(L"", FirstDifference(expected, after)) << c.story;
    m_settings = after; // for the fixture's check of the backup below
    ExpectSettingsIntact(c.story);
    EXPECT_EQ(uninstallBefore, TakeSnapshot(kUninstallList).subkeys.size())
        << c.story << ": the Uninstall list was added to";
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileInstalledState,
    ::testing::Values(InstalledCase{"\"ProductCode\" as REG_DWORD",
                                    [](KeySnapshot& settings, KeySnapshot&) {
                                        settings.values[L"ProductCode"] = ValueSnapshot{REG_DWORD, {5, 0, 0, 0}};
                                    },
                                    false},
                      InstalledCase{"\"ProductCode\" of 300 characters",
                                    [](KeySnapshot& settings, KeySnapshot&) {
                                        settings.values[L"ProductCode"] =
                                            TextValue(L"{" + std::wstring(298, L'A') + L"}");
                                    },
                                    false},
                      InstalledCase{"\"DisplayVersion\" as REG_BINARY garbage",
                                    [](KeySnapshot& settings, KeySnapshot& entry) {
                                        std::vector<std::uint8_t> garbage;
                                        for (int i = 0; i < 61; ++i)
                                            garbage.push_back(static_cast<std::uint8_t>(i * 37 + 11));
                                        Registered(settings, entry, ValueSnapshot{REG_BINARY, garbage});
                                    },
                                    false},
                      InstalledCase{"\"DisplayVersion\" as a REG_BINARY record header claiming 2 GB",
                                    [](KeySnapshot& settings, KeySnapshot& entry) {
                                        Registered(
                                            settings, entry,
                                            ValueSnapshot{REG_BINARY,
                                                          {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 2, 0, 0, 0, '1', '.'}});
                                    },
                                    false},
                      InstalledCase{"\"DisplayVersion\" as REG_BINARY holding a Bool record",
                                    [](KeySnapshot& settings, KeySnapshot& entry) {
                                        Registered(settings, entry, ValueSnapshot{REG_BINARY, kBoolTrueRecord});
                                    },
                                    false},
                      InstalledCase{"an \"Attached\" value where the reset expects a key",
                                    [](KeySnapshot& settings, KeySnapshot& entry) {
                                        Registered(settings, entry, TextValue(L"1.0.5"));
                                        KeySnapshot& instance = Instances(settings).subkeys[L"0001"];
                                        instance.exists = true;
                                        instance.values[L"Attached"] = ValueSnapshot{REG_DWORD, {1, 0, 0, 0}};
                                    },
                                    true},
                      InstalledCase{"an \"Instances\" key with 1,000 instances",
                                    [](KeySnapshot& settings, KeySnapshot& entry) {
                                        Registered(settings, entry, TextValue(L"1.0.13"));
                                        KeySnapshot& instances = Instances(settings);
                                        for (int i = 0; i < 1000; ++i) {
                                            KeySnapshot& instance =
                                                instances.subkeys[L"instance " + std::to_wstring(i)];
                                            instance.exists = true;
                                            instance.values[L"Serial"] = TextValue(std::to_wstring(100000 + i));
                                        }
                                    },
                                    true}));

} // namespace
} // namespace faults
