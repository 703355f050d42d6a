#pragma once
// New UUIDs in text form, for names that must be unique.
#include <string>

// Sets `text` to the text form of a new UUID (UuidToStringW: 36 lowercase
// hexadecimal digits and hyphens, no braces) and returns RPC_S_OK (0); a UUID
// that is unique on this machine only (RPC_S_UUID_LOCAL_ONLY) still names a
// file or folder uniquely and counts as success. Otherwise returns the RPC
// status and leaves `text` as it was.
long NewUuidText(std::wstring& text);
