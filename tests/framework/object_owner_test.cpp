// The owner kinds that the security decisions tell apart, from real SIDs and
// from the owners of real objects (Wine keeps the owners of kernel objects,
// not of files: docs/WINE.md).
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "framework/object_owner.h"
#include "framework/unique_handle.h"

namespace {

struct SidCase {
    const wchar_t* sid;
    OwnerKind kind;
};

class Classify : public ::testing::TestWithParam<SidCase> {};

TEST_P(Classify, TellsTheAdministrativeOwnersFromEveryoneElse)
{
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(GetParam().sid, &sid));
    const UniqueLocalMemory owned(sid);
    EXPECT_EQ(GetParam().kind, ClassifyOwner(sid)) << testing::PrintToString(std::wstring(GetParam().sid));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Classify,
    ::testing::Values(SidCase{L"S-1-5-32-544", OwnerKind::Administrators}, SidCase{L"BA", OwnerKind::Administrators},
                      SidCase{L"S-1-5-18", OwnerKind::System},
                      SidCase{L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                              OwnerKind::TrustedInstaller},
                      // The same service prefix with another last part: another service.
                      SidCase{L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", OwnerKind::Other},
                      SidCase{L"S-1-5-32-545", OwnerKind::Other},   // Users
                      SidCase{L"S-1-5-32-544-1", OwnerKind::Other}, // longer than Administrators
                      SidCase{L"S-1-5-19", OwnerKind::Other},       // LOCAL SERVICE
                      SidCase{L"S-1-5-21-0-0-0-1000", OwnerKind::Other}, SidCase{L"S-1-1-0", OwnerKind::Other}));

TEST(ClassifyOwner, NoSidIsUnknown)
{
    EXPECT_EQ(OwnerKind::Unknown, ClassifyOwner(nullptr));
}

TEST(QueryOwnerKind, ReadsTheOwnerOfARealObject)
{
    PSECURITY_DESCRIPTOR built = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:SYD:(A;;GA;;;WD)", SDDL_REVISION_1, &built, nullptr));
    const UniqueLocalMemory descriptor(built);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    const UniqueKernelHandle mutex(CreateMutexW(&attributes, FALSE, nullptr));
    ASSERT_TRUE(mutex);
    OwnerKind kind = OwnerKind::Unknown;
    EXPECT_EQ(0, QueryOwnerKind(mutex.get(), SE_KERNEL_OBJECT, kind));
    EXPECT_EQ(OwnerKind::System, kind);

    // A handle without READ_CONTROL cannot show its owner.
    UniqueKernelHandle noRead;
    ASSERT_TRUE(
        DuplicateHandle(GetCurrentProcess(), mutex.get(), GetCurrentProcess(), noRead.put(), SYNCHRONIZE, FALSE, 0));
    kind = OwnerKind::Administrators;
    EXPECT_EQ(ERROR_ACCESS_DENIED, QueryOwnerKind(noRead.get(), SE_KERNEL_OBJECT, kind));
    EXPECT_EQ(OwnerKind::Unknown, kind);
}

} // namespace
