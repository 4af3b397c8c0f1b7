// A test stand-in for brivaneupdate.dll with the same six exports. It writes
// each call to the file named by QUANDRIL_TEST_UPDATE_LOG (one line a call)
// and answers as these variables say:
//   QUANDRIL_TEST_UPDATE_CREATE    "0": brivaneup_create gives no handle
//   QUANDRIL_TEST_UPDATE_HAVE_NEW  "1": a newer version is available
//   QUANDRIL_TEST_UPDATE_DOWNLOAD  "1": the download succeeds
#define BRIVANEUPDATE_BUILD
#include "brivaneupdate/brivaneupdate.h"

#include <cstdio>
#include <string>

namespace {

int g_handle;  // the address is the handle

std::wstring env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? value : L"";
}

void log(const std::wstring& line) {
    const std::wstring path = env(L"QUANDRIL_TEST_UPDATE_LOG");
    if (path.empty())
        return;
    if (FILE* file = _wfopen(path.c_str(), L"a, ccs=UTF-8")) {
        fwprintf(file, L"%ls\n", line.c_str());
        fclose(file);
    }
}

bool handleIsOurs(BrivaneUpdate update) {
    return update == &g_handle;
}

}  // namespace

BRIVANEUP_API BrivaneUpdate __cdecl brivaneup_create(HWND owner) {
    log(L"create " + std::wstring(owner ? L"owner" : L"null"));
    return env(L"QUANDRIL_TEST_UPDATE_CREATE") == L"0" ? nullptr : &g_handle;
}

BRIVANEUP_API int __cdecl brivaneup_setParam(BrivaneUpdate update, int param, LONG_PTR value) {
    std::wstring shown;
    if (param >= 1 && param <= 3)
        shown = reinterpret_cast<const wchar_t*>(value);  // a string's address
    else
        shown = std::to_wstring(value);
    log(L"setParam " + std::to_wstring(param) + L" " + shown + (handleIsOurs(update) ? L"" : L" (foreign handle)"));
    return 1;
}

BRIVANEUP_API int __cdecl brivaneup_haveNew(BrivaneUpdate update, bool flag) {
    log(std::wstring(L"haveNew ") + (flag ? L"true" : L"false") + (handleIsOurs(update) ? L"" : L" (foreign handle)"));
    return env(L"QUANDRIL_TEST_UPDATE_HAVE_NEW") == L"1";
}

BRIVANEUP_API int __cdecl brivaneup_download(BrivaneUpdate update) {
    log(std::wstring(L"download") + (handleIsOurs(update) ? L"" : L" (foreign handle)"));
    return env(L"QUANDRIL_TEST_UPDATE_DOWNLOAD") == L"1";
}

BRIVANEUP_API int __cdecl brivaneup_install(BrivaneUpdate update) {
    log(std::wstring(L"install") + (handleIsOurs(update) ? L"" : L" (foreign handle)"));
    return 1;
}

BRIVANEUP_API int __cdecl brivaneup_release(BrivaneUpdate update) {
    log(std::wstring(L"release") + (handleIsOurs(update) ? L"" : L" (foreign handle)"));
    return 1;
}
