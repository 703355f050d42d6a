#include "settings/device_reset.h"

#include <cwchar>

#include "launcher/product_constants.h"

DeviceIdentifier ProductDeviceIdentifier()
{
    return DeviceIdentifier{kDeviceIdentifierSignature, product::kUsbVendorId, product::kUsbProductId,
                            kDeviceIdentifierTrailer};
}

std::wstring FormatDeviceKeyName(const DeviceIdentifier& record)
{
    const std::uint32_t fields[4] = {record.signature, record.vendorId, record.productId, record.trailer};
    unsigned bytes[16] = {};
    for (int f = 0; f < 4; ++f) {
        for (int b = 0; b < 4; ++b)
            bytes[f * 4 + b] = (fields[f] >> (8 * b)) & 0xFFu;
    }
    wchar_t name[256] = {};
    const int length = std::swprintf(name, sizeof(name) / sizeof(name[0]), product::kDeviceKeyNameFormat, bytes[0],
                                     bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                                     bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return length > 0 ? std::wstring(name, static_cast<std::size_t>(length)) : std::wstring();
}
