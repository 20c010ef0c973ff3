// A DLL someone dropped beside the installer: loaded, it writes "loaded" to
// the file $HOBNAR_PLANTED_MARKER names.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    wchar_t marker[MAX_PATH];
    if (reason == DLL_PROCESS_ATTACH &&
        GetEnvironmentVariableW(L"HOBNAR_PLANTED_MARKER", marker, MAX_PATH) > 0) {
        HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, "loaded", 6, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
