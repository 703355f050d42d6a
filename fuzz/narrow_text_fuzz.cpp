// The conversion of registry text to the value model's narrow text: exactly
// ISO 8859-1, checked unit by unit against the definition.
#include <vector>

#include "fuzz/fuzz_input.h"
#include "registry/narrow_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = CodeUnitsFromBytes(data, size);
    bool convertible = true;
    for (wchar_t c : text)
        convertible = convertible && static_cast<std::uint32_t>(c) <= 0xFF;

    std::vector<char> narrow(text.size() + 1, '\x7f');
    const std::vector<char> untouched = narrow;
    const bool ok = KV::NarrowText(text.data(), text.size(), narrow.data());
    FUZZ_CHECK(ok == convertible);
    if (!ok) {
        FUZZ_CHECK(narrow == untouched);
        return 0;
    }
    FUZZ_CHECK(narrow[text.size()] == '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        FUZZ_CHECK(static_cast<unsigned char>(narrow[i]) == static_cast<std::uint32_t>(text[i]));

    std::vector<wchar_t> wide(text.size() + 1, L'\x7f');
    KV::WidenText(narrow.data(), text.size(), wide.data());
    FUZZ_CHECK(std::wstring(wide.data(), text.size()) == text);
    FUZZ_CHECK(wide[text.size()] == L'\0');

    const std::size_t nul = text.find(L'\0');
    FUZZ_CHECK(KV::BoundedLength(text.data(), text.size()) == (nul == std::wstring::npos ? text.size() : nul));
    return 0;
}
