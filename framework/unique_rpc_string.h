#pragma once
// Owner for strings that the RPC run time allocates (UuidToStringW), freed with
// RpcStringFreeW.
#include <windows.h>
#include <rpc.h>

#include "framework/unique_handle.h"

namespace unique_handle_detail {
inline void FreeRpcString(RPC_WSTR text)
{
    RpcStringFreeW(&text);
}
} // namespace unique_handle_detail

using UniqueRpcString = UniqueHandle<RPC_WSTR, &unique_handle_detail::FreeRpcString>;
