// The reset of the recorded state of every device instance, on a scratch
// HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include <cstdint>

#include "settings/device_reset.h"
#include "settings/driver_keys.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_machine.h"
#include "tests/support/value_records.h"

namespace {

using namespace testing_support;

std::wstring DeviceKey()
{
    return DriverSettingsKeyPath() + L"\\" + kDeviceKeyName;
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
    ASSERT_TRUE(SetValueRaw(instances + L"\\USB#1", L"Initialized", REG_BINARY, kBoolTrueRecord));
    ASSERT_TRUE(SetValueRaw(instances + L"\\USB#1\\Attached", L"", REG_BINARY, kBoolTrueRecord));
    ASSERT_TRUE(SetValueRaw(instances + L"\\USB#1\\Attached", L"Port", REG_DWORD, Bytes({3, 0, 0, 0})));
    ASSERT_TRUE(SetTextRaw(instances + L"\\USB#1", L"FriendlyName", L"Orbelle 1"));
    ASSERT_TRUE(SetValueRaw(instances + L"\\USB#1\\Channels", L"Count", REG_DWORD, Bytes({8, 0, 0, 0})));
    ASSERT_TRUE(CreateKeyRaw(instances + L"\\USB#2"));
    const KeySnapshot before = TakeSnapshot(instances);

    const std::int64_t start = FileTimeNow();
    ResetDeviceInstances();
    const std::int64_t end = FileTimeNow();

    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        const std::wstring instance = instances + L"\\" + name;
        const RawValue attached = GetValueRaw(instance + L"\\Attached", L"");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), attached.type);
        EXPECT_EQ(kBoolFalseRecord, attached.data);
        const RawValue initialized = GetValueRaw(instance, L"Initialized");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), initialized.type);
        EXPECT_EQ(kBoolFalseRecord, initialized.data);

        const RawValue detach = GetValueRaw(instance, L"LastDetachTime");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), detach.type);
        ASSERT_EQ(20u, detach.data.size());
        EXPECT_EQ(kInt64RecordHeader, Bytes(detach.data.begin(), detach.data.begin() + 12));
        std::uint64_t ticks = 0;
        for (int i = 7; i >= 0; --i)
            ticks = (ticks << 8) | detach.data[12 + i];
        EXPECT_GE(static_cast<std::int64_t>(ticks), start);
        EXPECT_LE(static_cast<std::int64_t>(ticks), end);
    }

    // Everything the reset does not own is as it was.
    KeySnapshot after = TakeSnapshot(instances);
    KeySnapshot expected = before;
    expected.subkeys[L"USB#2"].subkeys[L"Attached"].exists = true;
    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        KeySnapshot& instance = expected.subkeys[name];
        instance.subkeys[L"Attached"].values[L""] = ValueSnapshot{REG_BINARY, kBoolFalseRecord};
        instance.values[L"Initialized"] = ValueSnapshot{REG_BINARY, kBoolFalseRecord};
        instance.values[L"LastDetachTime"] = after.subkeys[name].values[L"LastDetachTime"];
    }
    EXPECT_EQ(expected, after);
}

TEST_F(DeviceReset, WithoutDeviceKeyOnlyCreatesEmptyInstancesKey)
{
    ResetDeviceInstances();

    KeySnapshot expected = EmptyKey();
    expected.subkeys[kDeviceKeyName] = EmptyKey();
    expected.subkeys[kDeviceKeyName].subkeys[L"Instances"] = EmptyKey();
    EXPECT_EQ(expected, TakeSnapshot(DriverSettingsKeyPath()));
}

TEST_F(DeviceReset, OtherDeviceKeysAreLeftAlone)
{
    const std::wstring other = DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEE0\\Instances\\USB#9";
    ASSERT_TRUE(SetValueRaw(other, L"Initialized", REG_BINARY, kBoolTrueRecord));
    ASSERT_TRUE(SetValueRaw(other + L"\\Attached", L"", REG_BINARY, kBoolTrueRecord));
    // An instance of this product's device shows that the reset did run.
    ASSERT_TRUE(CreateKeyRaw(DeviceKey() + L"\\Instances\\USB#1"));
    const KeySnapshot before = TakeSnapshot(DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEE0");

    ResetDeviceInstances();

    EXPECT_EQ(before, TakeSnapshot(DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEE0"));
    EXPECT_EQ(kBoolFalseRecord, GetValueRaw(DeviceKey() + L"\\Instances\\USB#1", L"Initialized").data);
}

// A registry link on the reset's way, as another account could put one below
// a settings key it may write: the key it leads to gets nothing, and the
// instances that are real keys are still reset.
struct LinkCase {
    const char* story;
    const wchar_t* link; // below the device key
    bool usb1Real;       // the planted instance USB#1 is still a key of its own, and is reset
};

class DeviceResetLinks : public DeviceReset, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(DeviceResetLinks, AreNeverWrittenThrough)
{
    const LinkCase& c = GetParam();
    const std::wstring instances = DeviceKey() + L"\\Instances";
    ASSERT_TRUE(PlantDeviceInstances(instances));
    ASSERT_TRUE(SetTextRaw(L"Software\\Protected", L"Secret", L"keep out"));
    ASSERT_TRUE(SetValueRaw(L"Software\\Protected\\Inner", L"Deeper", REG_DWORD, Bytes({7, 0, 0, 0})));
    const KeySnapshot protectedBefore = TakeSnapshot(L"Software\\Protected");
    const std::wstring link = DeviceKey() + L"\\" + c.link;
    if (KeyPresent(link)) {
        ASSERT_TRUE(DeleteKeyTree(link));
    }
    ASSERT_TRUE(CreateLinkRaw(link, L"Software\\Protected"));

    ResetDeviceInstances();

    if (c.usb1Real) {
        EXPECT_EQ(kBoolFalseRecord, GetValueRaw(instances + L"\\USB#1", L"Initialized").data) << c.story;
    }
    EXPECT_TRUE(DeleteLinkRaw(link));
    EXPECT_EQ(L"", FirstDifference(protectedBefore, TakeSnapshot(L"Software\\Protected")))
        << c.story << ": the reset wrote through the link";
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceResetLinks,
                         ::testing::Values(LinkCase{"an instance that is a link", L"Instances\\Linked", true},
                                           LinkCase{"an Attached key that is a link", L"Instances\\USB#1\\Attached",
                                                    true},
                                           LinkCase{"an Instances key that is a link", L"Instances", false}));

} // namespace
