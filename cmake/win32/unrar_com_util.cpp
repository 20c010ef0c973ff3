// The one comsupp routine that UnRAR's WMI query needs (through _bstr_t made
// from a narrow string).  Microsoft ships it in comsupp.lib; no MinGW-w64
// library provides it, so unrar.dll carries this version.  The narrow text
// is in the ANSI code page, as comsupp assumes; failures give a null BSTR,
// which _bstr_t reports as out of memory.
#include <windows.h>
// After windows.h, which it relies on.
#include <oleauto.h>

#include <comutil.h>

namespace _com_util {

BSTR WINAPI ConvertStringToBSTR(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) {
        return nullptr;
    }
    BSTR converted = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
    if (converted != nullptr &&
        MultiByteToWideChar(CP_ACP, 0, text, -1, converted, length) != length) {
        SysFreeString(converted);
        return nullptr;
    }
    return converted;
}

}  // namespace _com_util
