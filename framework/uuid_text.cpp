#include "framework/uuid_text.h"

#include "framework/unique_handle.h"

long NewUuidText(std::wstring& text)
{
    UUID uuid;
    RPC_STATUS status = UuidCreate(&uuid);
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY)
        return status;
    UniqueRpcString rpcText;
    status = UuidToStringW(&uuid, rpcText.put());
    if (status != RPC_S_OK)
        return status;
    text = reinterpret_cast<const wchar_t*>(rpcText.get());
    return RPC_S_OK;
}
