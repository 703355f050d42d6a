#include "staging/payload.h"

#include "framework/own_resource.h"
#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "staging/failure_report.h"
#include "staging/package_check.h"
#include "staging/payload_digest.h"
#include "staging/work_folder.h"

namespace {

// Finds and maps the resource. Returns 0 and sets `data` and `size`, or a
// nonzero status after writing the line.
int LocatePayload(const wchar_t* name, const wchar_t* type, const void*& data, DWORD& size)
{
    if (!MapOwnResource(name, type, data, size)) {
        const int status = LastErrorStatus();
        ReportFailure("LocateResource failed (%d)\n", status);
        return status;
    }
    return 0;
}

} // namespace

bool CarriesPayload(const wchar_t* name, const wchar_t* type)
{
    return FindResourceW(GetModuleHandleW(nullptr), name, type) != nullptr;
}

int WritePayloadBytes(HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    int status = 0;
    if (!WriteFile(file, data, size, &written, nullptr)) {
        status = LastErrorStatus();
    } else if (written < size) {
        // Wine writes what fits on a full disk and reports success for that
        // part, where Windows fails the whole call with ERROR_DISK_FULL. One
        // write of the rest either completes the file or names the cause.
        DWORD rest = 0;
        if (!WriteFile(file, static_cast<const char*>(data) + written, size - written, &rest, nullptr))
            status = LastErrorStatus();
        else if (rest != size - written)
            status = exit_code::kIncompleteWrite;
    }
    if (status != 0)
        ReportFailure("WriteFile failed (%d)\n", status);
    return status;
}

int ExtractPayload(std::wstring& outPath, CInstallerLauncher& app, const wchar_t* name, const wchar_t* type,
                   const wchar_t* fileName, bool temporary, FileIdentity* written)
{
    outPath.clear();
    const void* data = nullptr;
    DWORD size = 0;
    int status = LocatePayload(name, type, data, size);
    if (status != 0)
        return status;

    UniqueFileHandle file;
    status = CreatePayloadFile(app, fileName, temporary, outPath, file);
    if (status != 0)
        return status;
    status = WritePayloadBytes(file.get(), data, size);
    if (status != 0)
        return status;
    if (written)
        QueryFileIdentity(file.get(), *written);
    // Closed by hand: a failing close can mean data that never reached the disk.
    if (!CloseHandle(file.release())) {
        status = LastErrorStatus();
        ReportFailure("CloseHandle failed (%d)\n", status);
        return status;
    }
    return 0;
}

int HoldPayloadFile(const std::wstring& path, UniqueFileHandle& hold)
{
    hold.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    if (!hold) {
        const int status = LastErrorStatus();
        ReportFailure("CreateFile failed (%d)\n", status);
        return status;
    }
    return 0;
}

int ExtractHeldPayload(HeldPayload& held, CInstallerLauncher& app, const wchar_t* name, const wchar_t* type,
                       const wchar_t* fileName, bool temporary)
{
    held.file.reset();
    const int status = ExtractPayload(held.path, app, name, type, fileName, temporary);
    if (status != 0)
        return status;
    return HoldWrittenPayload(held, name, nullptr);
}

int HoldWrittenPayload(HeldPayload& held, const wchar_t* name, const FileIdentity* written)
{
    // The writing handle shared nothing, and the hold can only be had once
    // it is closed. In between, the folder's protection covers the file: only
    // administrators and SYSTEM can write there. That the name still means
    // the file written the identity check sees; what the folder cannot keep
    // out (a filter driver, antivirus) the digest check of the held file.
    int status = HoldPayloadFile(held.path, held.file);
    if (status == 0 && written != nullptr) {
        status = CheckHeldPackage(held.file.get(), *written, held.path);
        if (status != 0)
            ReportFailure("Package check failed (%d)\n", status);
    }
    if (status == 0)
        status = CheckPayloadDigest(name, held.file.get());
    if (status != 0)
        held.file.reset();
    return status;
}
