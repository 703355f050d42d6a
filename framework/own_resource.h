#pragma once
// Resources of the process's own image: the launcher's executable carries its
// payloads and their digests as resources.
#include <windows.h>

// Finds the resource `name` of type `type` (in any language) in the
// process's own image and maps it. Returns true and sets `data` (valid for
// the life of the process) and `size` (bytes) for a resource that exists, is
// not empty and could be loaded. Otherwise returns false with `data` null and
// `size` 0; GetLastError() then holds the failed step's code, or
// ERROR_SUCCESS where the step set none (an empty resource), never a code an
// earlier call left behind.
bool MapOwnResource(const wchar_t* name, const wchar_t* type, const void*& data, DWORD& size);
