// A stand-in for a downloaded installer: it proves that it was started by
// writing its own path into the file that BRIVANEUP_TEST_MARKER names.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t marker[MAX_PATH];
    wchar_t self[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"BRIVANEUP_TEST_MARKER", marker, MAX_PATH);
    DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || selfLength == 0 || selfLength >= MAX_PATH)
        return 1;
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, self, selfLength * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return 0;
}
