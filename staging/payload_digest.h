#pragma once
// The digest check of a written payload: the file that is run or installed is,
// byte for byte, the file the launcher carries.
//
// The build computes the SHA-256 of every payload and carries the digests as
// one more resource of the launcher, product::kResDigests of type RCDATA: one
// line "<RESOURCE> <64 lowercase hex digits>\n" per payload, in any order.
#include <windows.h>

#include <cstddef>
#include <string>

// Looks up the digest of the payload resource `name` in the text of the
// digest resource (`text`, `size` bytes, not terminated). Returns true and
// sets `hex` to the 64 hex digits of the line whose first word is exactly
// `name` (so "UNINST" never takes the line of "UNINST2"); false, with `hex`
// empty, when no such line holds a well-formed digest.
bool FindCarriedDigest(const char* text, std::size_t size, const wchar_t* name, std::string& hex);

// Reads the file behind `file` (open for reading) from its start to its end
// and computes its SHA-256 with the system's CryptoAPI (Microsoft's AES
// provider). Returns 0 and sets `hex` (64 lowercase hex digits) and `size`
// (bytes read); else the system error code of the step that failed (`hex`
// then empty). The file position is left at the end.
int HashFile(HANDLE file, std::string& hex, unsigned long long& size);

// Checks the held payload `name` before anything from it is used: hashes
// `file` and compares the result with the digest the launcher carries for
// `name`. A run log records "Payload <name>: <size> bytes, SHA-256 <hex>".
//
// Returns 0 when the digests are equal. Otherwise writes "Payload check
// failed (%d)\n" and returns exit_code::kPayloadNotAsCarried when they differ
// or no digest is carried for `name`, or the system error code when the file
// could not be read or hashed (the payload cannot be vouched for either way).
int CheckPayloadDigest(const wchar_t* name, HANDLE file);
