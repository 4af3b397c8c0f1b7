#include "app/Settings.h"

#include "app/AppGlobals.h"
#include "presets/VideoPreset.h"
#include "win/Scoped.h"

namespace {

const wchar_t kProductFolder[] = L"Brivane Media Converter";
const wchar_t kValueName[] = L"out_dir";
const DWORD kMaxValueBytes = MAX_PATH * sizeof(wchar_t);  // 520

// Opens the key with `rights`, or creates it (read and write) when it is
// missing; an invalid owner when neither works.
win::UniqueKey openOrCreateKey(REGSAM rights) {
    const std::wstring path = settingsKeyPath();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, rights, &key) == ERROR_SUCCESS)
        return win::UniqueKey(key);
    key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS)
        return win::UniqueKey(key);
    return {};
}

}  // namespace

std::wstring settingsKeyPath() {
    std::wstring path = L"Software\\";
    path += kProductFolder;
    path += L'\\';
    if (g_presetFamily)
        path += g_presetFamily->outputExtension();
    return path;
}

bool saveOutputFolder(const std::wstring& folder) {
    win::UniqueKey key = openOrCreateKey(KEY_READ | KEY_WRITE);
    if (!key)
        return false;
    // Written without the terminator. RegSetValueExW quietly adds a NUL that
    // directly follows REG_SZ data to the value, which would make a 260-
    // character folder 522 bytes long and unreadable; a non-NUL guard after
    // the characters keeps the value at exactly the text.
    std::wstring data = folder;
    data += L'\xFFFF';
    RegSetValueExW(key.get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(folder.size() * sizeof(wchar_t)));
    return true;
}

std::wstring loadOutputFolder() {
    win::UniqueKey key = openOrCreateKey(KEY_READ);
    if (!key)
        return {};

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), kValueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > kMaxValueBytes)
        return {};

    // The value may have grown since the size query: the read then fails with
    // ERROR_MORE_DATA instead of running past the buffer.
    wchar_t buffer[MAX_PATH] = {};
    DWORD read = size;
    if (RegQueryValueExW(key.get(), kValueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &read) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};

    const size_t chars = read / sizeof(wchar_t);
    size_t length = 0;
    while (length < chars && buffer[length] != L'\0')
        ++length;
    return std::wstring(buffer, length);
}
