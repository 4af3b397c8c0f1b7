#include "ui/MainDialog.h"

#include "app/AppGlobals.h"
#include "app/Settings.h"
#include "engine/ConvertCore.h"
#include "presets/VideoPreset.h"
#include "resources/resource.h"
#include "ui/ImageButtons.h"
#include "ui/ProgressDialog.h"

#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const wchar_t kAppName[] = L"Quandril";
const wchar_t kVersion[] = L"1.1";
constexpr DWORD kOpenFileChars = 8320;

// The folder browser's initial selection and its result.
wchar_t g_browseBuffer[MAX_PATH];

void showMessage(const wchar_t* text) {
    MessageBoxW(g_hMainDialog, text, kAppName, MB_OK);
}

HWND fileList() {
    HWND list = GetDlgItem(g_hMainDialog, IDC_FILE_LIST);
    return IsWindow(list) ? list : nullptr;
}

// The entry's whole text, read by its own length; empty when unreadable.
std::wstring entryText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    if (copied <= 0)
        return {};
    text.resize(static_cast<size_t>(copied));
    return text;
}

int entryCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

bool canOpenForReading(const wchar_t* path) {
    FILE* file = _wfopen(path, L"r");
    if (!file)
        return false;
    fclose(file);
    return true;
}

// COM for the folder browser on this thread, for the length of one call.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (!initMainDialog(dialog))
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        return TRUE;
    case WM_DRAWITEM:
        if (lParam)
            drawImageButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL: closeMainDialog(); return TRUE;
        case IDC_CONVERT: startConversion(); return TRUE;
        case IDC_BROWSE: browseOutputFolder(); return TRUE;
        case IDC_ADD: addFiles(); return TRUE;
        case IDC_REMOVE: removeSelected(); return TRUE;
        case IDC_CLEAR: clearList(); return TRUE;
        case IDC_OPEN_FOLDER: openOutputFolder(); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

bool initMainDialog(HWND dialog) {
    g_hMainDialog = dialog;
    g_hAppIcon = LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_APP));
    std::wstring caption = std::wstring(kAppName) + L" " + kVersion;
    SetWindowTextW(dialog, caption.c_str());
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_hAppIcon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_hAppIcon));

    g_convertCore = new ConvertCore();
    const bool ready = g_convertCore->init();
    if (ready)
        fillPresetCombo();

    HWND folder = GetDlgItem(dialog, IDC_OUTPUT_FOLDER);
    if (IsWindow(folder))
        SetWindowTextW(folder, loadOutputFolder().c_str());
    createTooltips();
    return ready;
}

void closeMainDialog() {
    saveOutputFolder(outputFolderText(g_hMainDialog));
    if (g_convertCore) {
        g_convertCore->uninit();
        delete g_convertCore;
        g_convertCore = nullptr;
    }
    if (g_hTooltip) {
        DestroyWindow(g_hTooltip);
        g_hTooltip = nullptr;
    }
    EndDialog(g_hMainDialog, IDCANCEL);
}

void fillPresetCombo() {
    HWND combo = GetDlgItem(g_hMainDialog, IDC_PRESET);
    if (!IsWindow(combo) || !g_presetFamily)
        return;
    for (int i = 0; i < g_presetFamily->presetCount(); ++i) {
        const std::wstring name = g_presetFamily->presetName(i);
        if (!name.empty())
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

std::wstring joinFolderAndName(const std::wstring& folder, const wchar_t* name) {
    std::wstring path = folder;
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    path += name;
    return path;
}

void addFiles() {
    std::vector<wchar_t> buffer;
    try {
        buffer.assign(kOpenFileChars, L'\0');
    } catch (const std::bad_alloc&) {
        return;
    }
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = g_hMainDialog;
    ofn.hInstance = g_hInstance;
    ofn.lpstrFilter = L"Media Files (*.flv)\0*.flv\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = kOpenFileChars;
    ofn.lpstrTitle = L"Select Files";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    if (!GetOpenFileNameW(&ofn))
        return;
    // The last two characters stay NUL, so every walk below ends inside it.
    buffer[kOpenFileChars - 2] = buffer[kOpenFileChars - 1] = L'\0';

    if (canOpenForReading(buffer.data())) {
        addToList(buffer.data());
        return;
    }
    const std::wstring folder(buffer.data());
    for (size_t at = ofn.nFileOffset; at < kOpenFileChars && buffer[at] != L'\0';) {
        const wchar_t* name = buffer.data() + at;
        addToList(joinFolderAndName(folder, name).c_str());
        at += wcslen(name) + 1;
    }
}

int addToList(const wchar_t* path) {
    HWND list = fileList();
    if (!list)
        return -1;
    if (isInList(path))
        return -1;
    if (!hasFlvExtension(path))
        return -1;
    // Refused like any other file the program cannot convert.
    if (wcslen(path) > kMaxSourcePath)
        return -1;
    return static_cast<int>(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path)));
}

bool isInList(const wchar_t* path) {
    HWND list = fileList();
    if (!list)
        return false;
    const int count = entryCount(list);
    for (int i = 0; i < count; ++i) {
        const std::wstring text = entryText(list, i);
        if (!text.empty() && lstrcmpW(path, text.c_str()) == 0)
            return true;
    }
    return false;
}

bool hasFlvExtension(const wchar_t* path) {
    const wchar_t* dot = wcsrchr(path, L'.');
    if (!dot || dot[1] == L'\0')
        return false;
    std::wstring tail(dot + 1);
    for (wchar_t& c : tail)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return tail == L"flv";
}

void removeSelected() {
    HWND list = fileList();
    if (!list)
        return;
    for (int i = entryCount(list) - 1; i >= 0; --i)
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            SendMessageW(list, LB_DELETESTRING, i, 0);
}

void clearList() {
    HWND list = fileList();
    if (!list)
        return;
    for (int i = entryCount(list) - 1; i >= 0; --i)
        SendMessageW(list, LB_DELETESTRING, i, 0);
}

int CALLBACK browseCallback(HWND browser, UINT message, LPARAM, LPARAM) {
    if (message == BFFM_INITIALIZED)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(g_browseBuffer));
    return 0;
}

void browseOutputFolder() {
    g_browseBuffer[0] = L'\0';
    // A folder text too long for the buffer cannot be a selection the
    // browser could open: it then starts at its default place.
    const std::wstring current = outputFolderText(g_hMainDialog);
    if (!current.empty() && current.size() < MAX_PATH)
        wcscpy(g_browseBuffer, current.c_str());

    ComScope com;
    BROWSEINFOW info = {};
    info.hwndOwner = g_hMainDialog;
    info.lpszTitle = L"Select a folder";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
    info.lpfn = browseCallback;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen)
        return;
    if (SHGetPathFromIDListW(chosen, g_browseBuffer)) {
        HWND edit = GetDlgItem(g_hMainDialog, IDC_OUTPUT_FOLDER);
        if (IsWindow(edit))
            SetWindowTextW(edit, g_browseBuffer);
    }
    CoTaskMemFree(chosen);
}

void openOutputFolder() {
    const std::wstring folder = outputFolderText(g_hMainDialog);
    if (!folder.empty())
        ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOW);
}

std::wstring outputFolderText(HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_OUTPUT_FOLDER);
    if (!IsWindow(edit))
        return {};
    const int length = GetWindowTextLengthW(edit);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(edit, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::wstring locateConverter() {
    // Grown until the whole module path fits: a deep install folder must
    // give the real path, not a cut one.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            path.clear();
            break;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos)
        path.resize(slash);
    path += L"\\core\\";
    path += L"mirovex.exe";
    return path;
}

bool startConversion() {
    HWND list = fileList();
    if (!list)
        return false;
    if (entryCount(list) <= 0) {
        showMessage(L"Please add source files.");
        return false;
    }
    const std::wstring folder = outputFolderText(g_hMainDialog);
    if (folder.empty()) {
        showMessage(L"Please select output folder.");
        return false;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        showMessage(L"The output folder doesn't exist.");
        return false;
    }
    int preset = 0;
    if (g_presetFamily && g_presetFamily->presetCount() >= 2) {
        HWND combo = GetDlgItem(g_hMainDialog, IDC_PRESET);
        preset = IsWindow(combo) ? static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)) : -1;
        if (preset < 0)
            preset = 0;
    }
    const std::wstring converter = locateConverter();
    const DWORD converterAttributes = GetFileAttributesW(converter.c_str());
    if (converterAttributes == INVALID_FILE_ATTRIBUTES || (converterAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        showMessage(L"There isn't a core file.");
        return false;
    }

    ConvertCore& core = *g_convertCore;
    core.converterPath = converter;
    core.outputFolder = folder;
    core.outputExt = g_presetFamily ? g_presetFamily->outputExtension() : L"";
    core.presetParams = g_presetFamily ? g_presetFamily->presetParameters(preset) : L"";
    core.clearTasks();
    const int count = entryCount(list);
    for (int i = 0; i < count; ++i) {
        const std::wstring path = entryText(list, i);
        if (!path.empty())
            core.addTask(path.c_str());
    }
    if (core.tasks.empty())
        return false;

    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), g_hMainDialog, progressDialogProc, 0);
    selectCompleted();
    return true;
}

void selectCompleted() {
    HWND list = fileList();
    if (!list || !g_convertCore)
        return;
    const int count = entryCount(list);
    if (count <= 0)
        return;
    ConvertCore& core = *g_convertCore;
    const int n = std::min(count, static_cast<int>(core.tasks.size()));
    WaitForSingleObject(core.lockEvent, INFINITE);
    for (int i = 0; i < n; ++i)
        SendMessageW(list, LB_SETSEL, core.tasks[static_cast<size_t>(i)]->percent == 100 ? TRUE : FALSE, i);
    SetEvent(core.lockEvent);
}
