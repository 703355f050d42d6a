#pragma once
// Checking, through the handle that holds the written package, that it is
// the very file the launcher wrote: between the writing handle's close and
// the hold, the name could have come to mean another file (one swapped in, a
// second name of someone else's file, or the same name reached another way).
#include <windows.h>

#include <string>

// A file's identity on its volume: two handles with the same identity are
// the same file, whatever names they were opened by.
struct FileIdentity {
    bool known = false; // false: not read (or the read failed)
    DWORD volumeSerial = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

// Reads the identity of the open file `file` (GetFileInformationByHandle).
// Returns 0 with `identity.known` set, else the system code (`identity` then
// not known).
int QueryFileIdentity(HANDLE file, FileIdentity& identity);

// True when both identities are known and equal.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// What the held package's own handle shows.
struct HeldPackage {
    FileIdentity identity;
    DWORD links = 0;        // names the file has (nNumberOfLinks)
    DWORD attributes = 0;   // FILE_ATTRIBUTE_*
    bool pathKnown = false; // false where the system cannot name a handle's file
    std::wstring finalPath; // GetFinalPathNameByHandleW, "\\?\" form as it returns it
};

// `path` without the "\\?\" prefix that final paths carry: "\\?\C:\x" gives
// "C:\x"; any other path is returned as it is. A network path keeps its
// "UNC\" and so matches no expected path: the package is never on one.
std::wstring WithoutFinalPathPrefix(const std::wstring& path);

// True when `a` and `b` are the same text but for the case of the ASCII
// letters. File names ignore case in other letters too; treating those as
// different can only refuse a package, never accept another file.
bool SamePathIgnoringAsciiCase(const std::wstring& a, const std::wstring& b);

// True when `held` is the file that was `written` at `expectedPath`: the same
// identity, one name, a file (not a folder or reparse point), and, where the
// final path is known, that path without its prefix (WithoutFinalPathPrefix)
// equal to `expectedPath` (SamePathIgnoringAsciiCase).
bool IsPackageAsWritten(const HeldPackage& held, const FileIdentity& written, const std::wstring& expectedPath);

// Reads the facts of `hold` (GetFinalPathNameByHandleW is looked up at run
// time; Windows before Vista lacks it, and the path is then not known) and
// judges them with IsPackageAsWritten. Returns 0 when the held file is the
// written one; exit_code::kPackageNotAsWritten when it is not; the system code
// when its facts cannot be read.
int CheckHeldPackage(HANDLE hold, const FileIdentity& written, const std::wstring& expectedPath);
