#include "engine/WorkFiles.h"

#include "engine/ConvertCore.h"
#include "engine/Trace.h"
#include "win/Scoped.h"

#include <shlobj.h>

namespace engine {

std::wstring escapeForScript(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out += c;
        if (c == L'%')
            out += L'%';
    }
    return out;
}

std::wstring scriptText(const std::wstring& converterPath, const wchar_t* parameters, const std::wstring& inputPath,
                        const wchar_t* outputPath, const std::wstring& scriptPath) {
    std::wstring text = L"chcp " + std::to_wstring(kScriptCodePage) + L"\r\n\r\n";
    text += L"\"" + escapeForScript(converterPath) + L"\"";
    if (outputPath == nullptr) {
        text += L" -i \"" + escapeForScript(inputPath) + L"\"";
    } else {
        text += L" -y -i \"" + escapeForScript(inputPath) + L"\" ";
        text += escapeForScript(parameters ? parameters : L"");
        text += L" \"" + escapeForScript(outputPath) + L"\"";
    }
    text += L"\r\n\r\ndel \"" + escapeForScript(scriptPath) + L"\"";
    return text;
}

std::string toUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring tickText(DWORD tick) { return std::to_wstring(static_cast<long>(static_cast<int32_t>(tick))); }

std::wstring scriptBaseName(const std::wstring& workFolder, DWORD tick) {
    return workFolder + L"\\mconv" + tickText(tick);
}

std::wstring createFreshFile(const std::wstring& folder, const wchar_t* prefix, const wchar_t* suffix, DWORD tick,
                             HANDLE& file) {
    file = INVALID_HANDLE_VALUE;
    for (DWORD attempt = 0; attempt < 1000; ++attempt) {
        std::wstring path = folder + L"\\" + prefix + tickText(tick + attempt) + suffix;
        if (path.size() > kMaxWorkPath)
            return {};
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return path;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

std::wstring applicationDataFolder() {
    // The platform's call fills at most MAX_PATH characters itself.
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE))
        return {};
    return folder;
}

std::wstring workFolderPath() {
    std::wstring appData = applicationDataFolder();
    if (appData.empty())
        return {};
    return appData + L"\\Media Converter";
}

}  // namespace engine

std::wstring makeScriptPath() {
    std::wstring folder = engine::workFolderPath();
    if (folder.empty())
        return {};
    CreateDirectoryW(folder.c_str(), nullptr);  // an existing folder is fine
    return engine::scriptBaseName(folder, GetTickCount());
}

std::wstring ConvertCore::writeScript(const wchar_t* parameters, const wchar_t* inputPath, const wchar_t* outputPath) {
    if (makeScriptPath().empty())  // makes the work folder
        return {};
    HANDLE opened = INVALID_HANDLE_VALUE;
    const std::wstring path = engine::createFreshFile(engine::workFolderPath(), L"mconv", L".bat", GetTickCount(), opened);
    if (path.empty())
        return {};
    const std::string bytes = engine::toUtf8(
        engine::scriptText(settings().converterPath, parameters, inputPath ? inputPath : L"", outputPath, path));

    bool written = false;
    {
        win::UniqueFile file(opened);
        DWORD done = 0;
        written = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                  done == bytes.size();
    }
    // A cut script could run a cut command line with -y: never leave one.
    if (!written) {
        engine::traceFailure(L"WriteFile");
        DeleteFileW(path.c_str());
        return {};
    }
    return path;
}
