// The security of the work folder and the installers folder. Wine accepts
// descriptors but keeps none (reading back gives its default), so the
// descriptors are checked as the code builds them: the DACL in its text form,
// the work folder's mandatory label ACE by ACE (docs/WINE.md); the folder
// levels are checked for what Wine does keep.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "staging/folder_security.h"
#include "staging/installers_folder.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::PathExists;
using testing_support::TempDir;

std::wstring Sddl(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION parts)
{
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr))
        return L"(conversion failed)";
    const UniqueLocalMemory owned(text);
    return text;
}

const SECURITY_INFORMATION kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The SDDL text up to its "S:" part: what the DACL (and owner, group) say.
std::wstring WithoutSacl(const std::wstring& sddl)
{
    return sddl.substr(0, sddl.find(L"S:"));
}

// The mandatory label of a descriptor, read from its SACL's ACEs themselves:
// Wine converts a label ACE from SDDL but not back (docs/WINE.md).
struct Label {
    int aces = 0;  // ACEs in the SACL (0 when there is none)
    BYTE type = 0; // of the first one
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    std::wstring sid;
};

Label ReadLabel(PSECURITY_DESCRIPTOR descriptor)
{
    Label label;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present || sacl == nullptr)
        return label;
    label.aces = sacl->AceCount;
    void* ace = nullptr;
    if (label.aces == 0 || !GetAce(sacl, 0, &ace))
        return label;
    const auto* mandatory = static_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    label.type = mandatory->Header.AceType;
    label.flags = mandatory->Header.AceFlags;
    label.mask = mandatory->Mask;
    LPWSTR text = nullptr;
    if (ConvertSidToStringSidW(const_cast<DWORD*>(&mandatory->SidStart), &text)) {
        const UniqueLocalMemory owned(text);
        label.sid = text;
    }
    return label;
}

// What the descriptor of `sddl` must hold: the DACL of the text, and a High
// no-write-up label inherited by files and folders exactly when the text
// names one.
void ExpectDescriptorOf(const std::wstring& sddl, PSECURITY_DESCRIPTOR descriptor)
{
    EXPECT_EQ(WithoutSacl(sddl), Sddl(descriptor, kOwnerGroupDacl));
    const Label label = ReadLabel(descriptor);
    if (sddl.find(L"S:") == std::wstring::npos) {
        EXPECT_EQ(0, label.aces) << "a label where none was asked for";
        return;
    }
    ASSERT_EQ(1, label.aces);
    EXPECT_EQ(SYSTEM_MANDATORY_LABEL_ACE_TYPE, label.type);
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, label.flags);
    EXPECT_EQ(static_cast<ACCESS_MASK>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP), label.mask);
    EXPECT_EQ(L"S-1-16-12288", label.sid) << "not the High integrity level";
}

struct TokenCase {
    const char* story;
    TokenFacts facts;
    const wchar_t* sddl;
};

void PrintTo(const TokenCase& c, std::ostream* os)
{
    *os << c.story;
}

class WorkFolderFor : public ::testing::TestWithParam<TokenCase> {};

// The decision itself, for both kinds of token; and that the text makes a
// descriptor (with the label where one is asked for) that a folder can be
// created with.
TEST_P(WorkFolderFor, ThisKindOfTokenGetsItsDescriptor)
{
    const TokenCase& c = GetParam();
    const std::wstring sddl = WorkFolderSddl(c.facts);
    EXPECT_EQ(c.sddl, sddl);

    PSECURITY_DESCRIPTOR built = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &built, nullptr))
        << GetLastError();
    UniqueLocalMemory descriptor(built);
    ExpectDescriptorOf(sddl, descriptor.get());
    TempDir temp;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    EXPECT_TRUE(CreateDirectoryW((temp / L"work").c_str(), &attributes)) << GetLastError();
}

INSTANTIATE_TEST_SUITE_P(
    Table, WorkFolderFor,
    ::testing::Values(
        TokenCase{"an elevated administrator: Administrators and SYSTEM only, and the High label",
                  {true, L"S-1-5-21-1004336348-1177238915-682003330-1001"},
                  L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)S:(ML;OICI;NW;;;HI)"},
        TokenCase{"SYSTEM, a member of Administrators: the same",
                  {true, L"S-1-5-18"},
                  L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)S:(ML;OICI;NW;;;HI)"},
        TokenCase{"a standard user: its own entry, no label",
                  {false, L"S-1-5-21-1004336348-1177238915-682003330-1002"},
                  L"D:P(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1002)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"},
        TokenCase{"an administrator not elevated (Administrators deny-only): as a standard user",
                  {false, L"S-1-5-21-1004336348-1177238915-682003330-1001"},
                  L"D:P(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1001)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"}));

// The process token read another way: its user, and whether Administrators is
// among its groups, enabled and not deny-only.
TokenFacts ReadTokenDirectly()
{
    TokenFacts facts;
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return facts;
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    LPWSTR text = nullptr;
    if (GetTokenInformation(token.get(), TokenUser, user, sizeof(user), &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
        const UniqueLocalMemory owned(text);
        facts.userSid = text;
    }
    GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size))
        return facts;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(administrators);
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize);
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups->Groups[i];
        if (EqualSid(group.Sid, administrators) && (group.Attributes & SE_GROUP_ENABLED) &&
            !(group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY))
            facts.administratorsMember = true;
    }
    return facts;
}

TEST(FolderSecurity, TheMembershipQueryAgreesWithTheTokensGroups)
{
    const TokenFacts direct = ReadTokenDirectly();
    ASSERT_FALSE(direct.userSid.empty());
    bool member = !direct.administratorsMember;
    ASSERT_EQ(0, QueryAdministratorsMembership(member));
    EXPECT_EQ(direct.administratorsMember, member);
    TokenFacts facts;
    ASSERT_EQ(0, QueryProcessTokenFacts(facts));
    EXPECT_EQ(direct.userSid, facts.userSid);
    EXPECT_EQ(direct.administratorsMember, facts.administratorsMember);
}

// The descriptor the work folder is made with is the decision for this
// process's own token (under Wine a member of Administrators).
TEST(FolderSecurity, TheWorkFolderDescriptorIsTheOneForThisToken)
{
    UniqueLocalMemory descriptor;
    ASSERT_EQ(0, BuildWorkFolderSecurity(descriptor));
    ExpectDescriptorOf(WorkFolderSddl(ReadTokenDirectly()), descriptor.get());
}

TEST(FolderSecurity, InstallersFolderIsOwnedByAdministratorsAndOnlyReadableByUsers)
{
    UniqueLocalMemory descriptor;
    ASSERT_EQ(0, BuildInstallersFolderSecurity(descriptor));
    EXPECT_EQ(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",
              Sddl(descriptor.get(), kOwnerGroupDacl));
}

TEST(MakeProtectedFolders, CreatesEveryMissingLevel)
{
    TempDir temp;
    ASSERT_EQ(0, MakeProtectedFolders(temp.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_TRUE(PathExists(temp / L"ZARO\\Installers\\Orbelle"));
}

TEST(MakeProtectedFolders, TakesOverLevelsThatExistAlready)
{
    TempDir temp;
    ASSERT_TRUE(CreateDirectoryW((temp / L"ZARO").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((temp / L"ZARO\\Installers").c_str(), nullptr));
    EXPECT_EQ(0, MakeProtectedFolders(temp.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_TRUE(PathExists(temp / L"ZARO\\Installers\\Orbelle"));
    // A second run finds all three and succeeds again.
    EXPECT_EQ(0, MakeProtectedFolders(temp.path(), L"ZARO\\Installers\\Orbelle"));
}

TEST(MakeProtectedFolders, AFileInPlaceOfALevelIsRefused)
{
    TempDir temp;
    ASSERT_TRUE(CreateDirectoryW((temp / L"ZARO").c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteFileBytes(temp / L"ZARO\\Installers", {'x'}));
    EXPECT_EQ(ERROR_DIRECTORY, MakeProtectedFolders(temp.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_FALSE(PathExists(temp / L"ZARO\\Installers\\Orbelle"));
}

// Makes the existing empty folder `link` a junction (mount point) to `target`.
bool MakeJunction(const std::wstring& link, const std::wstring& target)
{
    // REPARSE_DATA_BUFFER's mount-point form; the SDK keeps it in the driver kit.
    const std::wstring substitute = L"\\??\\" + target;
    const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
    const USHORT printBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(8 + 8 + substituteBytes + 2 + printBytes + 2, 0);
    auto put16 = [&](size_t at, USHORT v) { memcpy(&buffer[at], &v, 2); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(&buffer[0], &tag, 4);
    put16(4, static_cast<USHORT>(buffer.size() - 8)); // ReparseDataLength
    put16(8, 0);                                      // SubstituteNameOffset
    put16(10, substituteBytes);
    put16(12, static_cast<USHORT>(substituteBytes + 2)); // PrintNameOffset
    put16(14, printBytes);
    memcpy(&buffer[16], substitute.c_str(), substituteBytes);
    memcpy(&buffer[16 + substituteBytes + 2], target.c_str(), printBytes);
    UniqueFileHandle folder(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder)
        return false;
    DWORD returned = 0;
    const BOOL made = DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    folder.reset();
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return made && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST(MakeProtectedFolders, ALevelThatIsAJunctionIsRefused)
{
    TempDir temp;
    TempDir elsewhere;
    ASSERT_TRUE(CreateDirectoryW((temp / L"ZARO").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((temp / L"ZARO\\Installers").c_str(), nullptr));
    // "Installers" made a junction leading elsewhere, as a user could have.
    if (!MakeJunction(temp / L"ZARO\\Installers", elsewhere.path()))
        GTEST_SKIP() << "this system cannot make a junction (Wine 8 has no reparse points, docs/WINE.md)";
    EXPECT_EQ(exit_code::kReparsePointRefused, MakeProtectedFolders(temp.path(), L"ZARO\\Installers\\Orbelle"));
    EXPECT_FALSE(PathExists(elsewhere / L"Orbelle")) << "followed the link";
    RemoveDirectoryW((temp / L"ZARO\\Installers").c_str());
}

} // namespace
