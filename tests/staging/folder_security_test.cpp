// The security of the work folder and the installers folder. Wine accepts
// descriptors but keeps none (reading back gives its default), so the
// descriptors are checked in their text form, as the code builds them
// (docs/WINE.md); the folder levels are checked for what Wine does keep.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "staging/folder_security.h"
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

std::wstring ProcessUserSid()
{
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return L"";
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    LPWSTR text = nullptr;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return L"";
    const UniqueLocalMemory owned(text);
    return text;
}

const SECURITY_INFORMATION kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

TEST(FolderSecurity, WorkFolderGrantsOnlyItsUserAdministratorsAndSystem)
{
    UniqueLocalMemory descriptor;
    ASSERT_EQ(0, BuildWorkFolderSecurity(descriptor));
    const std::wstring user = ProcessUserSid();
    ASSERT_FALSE(user.empty());
    // Protected (P): nothing inherited from the temporary folder. Owner and
    // group are left to the system.
    EXPECT_EQ(L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
              Sddl(descriptor.get(), kOwnerGroupDacl));
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
