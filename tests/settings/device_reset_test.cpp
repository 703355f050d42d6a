// The reset of the recorded state of every device instance, on a scratch
// HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include <cstdint>

#include "settings/device_reset.h"
#include "settings/driver_keys.h"
#include "tests/settings/registry_fixture.h"

namespace {

using namespace settings_test;

const std::vector<std::uint8_t> kBoolFalse = Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
const std::vector<std::uint8_t> kBoolTrue = Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1});

std::wstring DeviceKey()
{
    return DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEEF";
}

// The reset reads the clock as a SYSTEMTIME, which has whole milliseconds: the
// bounds are read the same way, or a stamp taken within the same millisecond
// as the start would look earlier than it.
std::int64_t FileTimeNow()
{
    SYSTEMTIME system = {};
    GetSystemTime(&system);
    FILETIME now = {};
    SystemTimeToFileTime(&system, &now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

class DeviceReset : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_scratch.ok()); }
    ScratchRegistry m_scratch;
};

TEST_F(DeviceReset, EveryInstanceIsDetachedAndUninitialised)
{
    const std::wstring instances = DeviceKey() + L"\\Instances";
    // One instance as an attached device leaves it, one bare.
    ASSERT_TRUE(SetRaw(instances + L"\\USB#1", L"Initialized", REG_BINARY, kBoolTrue));
    ASSERT_TRUE(SetRaw(instances + L"\\USB#1\\Attached", L"", REG_BINARY, kBoolTrue));
    ASSERT_TRUE(SetRaw(instances + L"\\USB#1\\Attached", L"Port", REG_DWORD, Bytes({3, 0, 0, 0})));
    ASSERT_TRUE(SetText(instances + L"\\USB#1", L"FriendlyName", L"Orbelle 1"));
    ASSERT_TRUE(SetRaw(instances + L"\\USB#1\\Channels", L"Count", REG_DWORD, Bytes({8, 0, 0, 0})));
    ASSERT_TRUE(CreateKey(instances + L"\\USB#2"));
    const TreeSnapshot before = SnapshotTree(instances);

    const std::int64_t start = FileTimeNow();
    ResetDeviceInstances();
    const std::int64_t end = FileTimeNow();

    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        const std::wstring instance = instances + L"\\" + name;
        const RawValue attached = GetRaw(instance + L"\\Attached", L"");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), attached.type);
        EXPECT_EQ(kBoolFalse, attached.data);
        const RawValue initialized = GetRaw(instance, L"Initialized");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), initialized.type);
        EXPECT_EQ(kBoolFalse, initialized.data);

        const RawValue detach = GetRaw(instance, L"LastDetachTime");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), detach.type);
        ASSERT_EQ(20u, detach.data.size());
        EXPECT_EQ(Bytes({0x14, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0}),
                  std::vector<std::uint8_t>(detach.data.begin(), detach.data.begin() + 12));
        std::uint64_t ticks = 0;
        for (int i = 7; i >= 0; --i)
            ticks = (ticks << 8) | detach.data[12 + i];
        EXPECT_GE(static_cast<std::int64_t>(ticks), start);
        EXPECT_LE(static_cast<std::int64_t>(ticks), end);
    }

    // Everything the reset does not own is as it was.
    TreeSnapshot after = SnapshotTree(instances);
    TreeSnapshot expected = before;
    expected[L"K\tUSB#2\\Attached"] = L"";
    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        const std::wstring n(name);
        expected[L"V\t" + n + L"\\Attached\t"] = L"3\t" + Hex(kBoolFalse);
        expected[L"V\t" + n + L"\tInitialized"] = L"3\t" + Hex(kBoolFalse);
        expected[L"V\t" + n + L"\tLastDetachTime"] = after[L"V\t" + n + L"\tLastDetachTime"];
    }
    EXPECT_EQ(expected, after);
}

TEST_F(DeviceReset, WithoutDeviceKeyOnlyCreatesEmptyInstancesKey)
{
    ResetDeviceInstances();

    const TreeSnapshot expected{{L"K\t", L""},
                                {L"K\t010203047E0B0000C0310000DEADBEEF", L""},
                                {L"K\t010203047E0B0000C0310000DEADBEEF\\Instances", L""}};
    EXPECT_EQ(expected, SnapshotTree(DriverSettingsKeyPath()));
}

TEST_F(DeviceReset, OtherDeviceKeysAreLeftAlone)
{
    const std::wstring other = DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEE0\\Instances\\USB#9";
    ASSERT_TRUE(SetRaw(other, L"Initialized", REG_BINARY, kBoolTrue));
    ASSERT_TRUE(SetRaw(other + L"\\Attached", L"", REG_BINARY, kBoolTrue));
    // An instance of this product's device shows that the reset did run.
    ASSERT_TRUE(CreateKey(DeviceKey() + L"\\Instances\\USB#1"));
    const TreeSnapshot before = SnapshotTree(DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEE0");

    ResetDeviceInstances();

    EXPECT_EQ(before, SnapshotTree(DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEE0"));
    EXPECT_EQ(kBoolFalse, GetRaw(DeviceKey() + L"\\Instances\\USB#1", L"Initialized").data);
}

} // namespace
