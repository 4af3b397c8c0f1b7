#include "tests/ui/DialogDriver.h"

#include <objidl.h>
#include <shellapi.h>

#include <gdiplus.h>

#include <fstream>
#include <memory>

namespace driver {

bool waitFor(const std::function<bool()>& ready, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (ready())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
}

namespace {

struct Search {
    DWORD processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (wcscmp(className, L"#32770") != 0 || text(window) != *search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND findDialogOf(DWORD processId, const std::wstring& caption) {
    Search search{processId, &caption, nullptr};
    EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

namespace {
DWORD g_targetProcess = 0;
}

void setTargetProcess(DWORD processId) {
    g_targetProcess = processId;
}

HWND findDialog(const std::wstring& caption) {
    return findDialogOf(g_targetProcess ? g_targetProcess : GetCurrentProcessId(), caption);
}

HWND waitForDialog(const std::wstring& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    waitFor([&] { return (found = findDialog(caption)) != nullptr; }, timeoutMs);
    return found;
}

bool dialogGone(HWND dialog) {
    return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

std::wstring text(HWND window) {
    // WM_GETTEXT answers across threads and processes alike.
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring value(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(window, WM_GETTEXT, value.size(), reinterpret_cast<LPARAM>(value.data()));
    value.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return value;
}

std::wstring itemText(HWND dialog, int id) {
    return text(GetDlgItem(dialog, id));
}

void setItemText(HWND dialog, int id, const std::wstring& value) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
}

void click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool isShown(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

bool isEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

namespace {

BOOL CALLBACK findStaticText(HWND child, LPARAM param) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") != 0)
        return TRUE;
    std::wstring value = text(child);
    if (value.empty())
        return TRUE;
    *reinterpret_cast<std::wstring*>(param) = value;
    return FALSE;
}

}  // namespace

std::wstring messageBoxText(HWND box) {
    std::wstring value;
    EnumChildWindows(box, findStaticText, reinterpret_cast<LPARAM>(&value));
    return value;
}

std::wstring answerMessageBox(int button, DWORD timeoutMs) {
    HWND box = waitForDialog(L"Quandril", timeoutMs);
    if (!box)
        return {};
    std::wstring value;
    // The box fills its text while it initialises: wait until it is there.
    waitFor([&] { return !(value = messageBoxText(box)).empty(); }, 5000);
    // Pressed again until the box is gone. Under Wine a new box may not
    // answer for a second or two after it shows (it beeps first).
    HWND target = GetDlgItem(box, button);
    waitFor([&] {
        PostMessageW(target, BM_CLICK, 0, 0);
        return waitFor([&] { return !IsWindow(box); }, 300);
    });
    return value;
}

std::vector<std::wstring> listEntries(HWND list) {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0)
            continue;  // deleted meanwhile
        std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(length));
        entries.push_back(entry);
    }
    return entries;
}

std::vector<int> selectedIndexes(HWND list) {
    std::vector<int> selected;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            selected.push_back(i);
    return selected;
}

namespace {

constexpr int kFileNameCombo = 0x47C;

BOOL CALLBACK findEdit(HWND child, LPARAM param) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Edit") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

}  // namespace

HWND openDialogNameEdit(HWND dialog) {
    HWND edit = nullptr;
    waitFor([&] {
        EnumChildWindows(GetDlgItem(dialog, kFileNameCombo), findEdit, reinterpret_cast<LPARAM>(&edit));
        if (!edit)
            edit = GetDlgItem(dialog, 0x480);
        return edit != nullptr;
    }, 5000);
    return edit;
}

namespace {

void typeAndOpen(HWND dialog, const std::wstring& value) {
    HWND edit = openDialogNameEdit(dialog);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

}  // namespace

void chooseInOpenDialog(const std::wstring& fullPath) {
    HWND dialog = waitForDialog(L"Select Files");
    if (!dialog)
        return;
    typeAndOpen(dialog, fullPath);
    waitFor([&] { return dialogGone(dialog); });
}

void chooseInOpenDialog(const std::wstring& folder, const std::vector<std::wstring>& names) {
    HWND dialog = waitForDialog(L"Select Files");
    if (!dialog)
        return;
    // First into the folder (the dialog navigates and stays), then the names.
    HWND edit = openDialogNameEdit(dialog);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    std::wstring quoted;
    for (const std::wstring& name : names)
        quoted += L"\"" + name + L"\" ";
    typeAndOpen(dialog, quoted);
    waitFor([&] { return dialogGone(dialog); });
}

void cancelOpenDialog() {
    HWND dialog = waitForDialog(L"Select Files");
    if (!dialog)
        return;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    waitFor([&] { return dialogGone(dialog); });
}

TempFolder::TempFolder(const std::wstring& name) {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"quandril-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    // SHFileOperation wants a double-NUL-terminated list.
    std::wstring from = path_;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::wstring TempFolder::write(const std::wstring& name, const std::string& content) const {
    const std::wstring full = file(name);
    std::ofstream(full.c_str(), std::ios::binary) << content;
    return full;
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

bool pngEncoder(CLSID* clsid) {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    if (size == 0)
        return false;
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.get());
    Gdiplus::GetImageEncoders(count, size, encoders);
    for (UINT i = 0; i < count; ++i) {
        if (wcscmp(encoders[i].MimeType, L"image/png") == 0) {
            *clsid = encoders[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

bool saveScreenshot(HWND window, const std::wstring& path) {
    RECT rect = {};
    if (window)
        GetWindowRect(window, &rect);
    else
        GetWindowRect(GetDesktopWindow(), &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    bool saved = false;
    CLSID png;
    if (pngEncoder(&png)) {
        Gdiplus::Bitmap image(bitmap, nullptr);
        saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

}  // namespace driver
