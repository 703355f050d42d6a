#include "staging/payload_digest.h"

#include <wincrypt.h>

#include <vector>

#include "framework/own_resource.h"
#include "framework/run_log.h"
#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "launcher/product_constants.h"
#include "staging/failure_report.h"

namespace {

constexpr std::size_t kDigestBytes = 32;
constexpr std::size_t kHexDigits = 2 * kDigestBytes;
// Reads of 1 MB: few calls for a large package, and a buffer that is small
// beside the payloads the process already maps.
constexpr DWORD kReadChunk = 1u << 20;

bool IsLowerHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

std::string HexText(const BYTE* bytes, std::size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// True when the line `line` (`length` characters, without its end) is
// "<name> <digest>"; sets `hex` then.
bool LineCarries(const char* line, std::size_t length, const wchar_t* name, std::string& hex)
{
    std::size_t at = 0;
    for (; name[at] != L'\0'; ++at) {
        if (at >= length || static_cast<wchar_t>(static_cast<unsigned char>(line[at])) != name[at])
            return false;
    }
    if (length != at + 1 + kHexDigits || line[at] != ' ')
        return false;
    const char* digits = line + at + 1;
    for (std::size_t i = 0; i < kHexDigits; ++i) {
        if (!IsLowerHexDigit(digits[i]))
            return false;
    }
    hex.assign(digits, kHexDigits);
    return true;
}

// The text of the digest resource; false when the launcher carries none.
bool CarriedDigestText(const char*& text, DWORD& size)
{
    const void* data = nullptr;
    const bool carried = MapOwnResource(product::kResDigests, MAKEINTRESOURCEW(10), data, size); // RT_RCDATA
    text = static_cast<const char*>(data);
    return carried;
}

void LogPayload(const wchar_t* name, unsigned long long size, const std::string& hex)
{
    if (!RunLogIsOpen())
        return;
    LogLine(std::wstring(L"Payload ") + name + L": " + DecimalText(static_cast<long long>(size)) + L" bytes, SHA-256 " +
            std::wstring(hex.begin(), hex.end()));
}

} // namespace

bool FindCarriedDigest(const char* text, std::size_t size, const wchar_t* name, std::string& hex)
{
    hex.clear();
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && text[end] != '\n')
            ++end;
        if (LineCarries(text + start, end - start, name, hex))
            return true;
        start = end + 1;
    }
    return false;
}

int HashFile(HANDLE file, std::string& hex, unsigned long long& size)
{
    hex.clear();
    size = 0;
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return LastErrorStatus();
    // The provider's DLL (rsaenh.dll) is loaded by name, from the system
    // folder only once the launcher has restricted its DLL search.
    UniqueCryptProvider provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return LastErrorStatus();
    UniqueCryptHash hash;
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put()))
        return LastErrorStatus();
    std::vector<BYTE> buffer(kReadChunk);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), kReadChunk, &read, nullptr))
            return LastErrorStatus();
        if (read == 0)
            break;
        if (!CryptHashData(hash.get(), buffer.data(), read, 0))
            return LastErrorStatus();
        size += read;
    }
    BYTE digest[kDigestBytes] = {};
    DWORD length = sizeof digest;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0))
        return LastErrorStatus();
    if (length != kDigestBytes)
        return exit_code::kFailureWithoutCode;
    hex = HexText(digest, kDigestBytes);
    return 0;
}

int CheckPayloadDigest(const wchar_t* name, HANDLE file)
{
    std::string actual;
    unsigned long long size = 0;
    int status = HashFile(file, actual, size);
    if (status == 0) {
        LogPayload(name, size, actual);
        const char* text = nullptr;
        DWORD textSize = 0;
        std::string carried;
        if (!CarriedDigestText(text, textSize) || !FindCarriedDigest(text, textSize, name, carried)) {
            LogLine(std::wstring(L"Payload ") + name + L": no digest carried");
            status = exit_code::kPayloadNotAsCarried;
        } else if (carried != actual) {
            LogLine(std::wstring(L"Payload ") + name + L": carried SHA-256 " +
                    std::wstring(carried.begin(), carried.end()));
            status = exit_code::kPayloadNotAsCarried;
        }
    }
    if (status != 0)
        ReportFailure("Payload check failed (%d)\n", status);
    return status;
}
