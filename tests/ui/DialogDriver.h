// Drives real dialogs from another thread, as a person would: finds windows
// by caption, reads and sets texts, clicks buttons, answers message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace driver {

constexpr DWORD kWaitMs = 30000;  // generous: these machines are shared

// Polls `ready` every 20 ms until it holds or `timeoutMs` has passed.
bool waitFor(const std::function<bool()>& ready, DWORD timeoutMs = kWaitMs);

// The process whose windows the functions below look for: this one unless
// set (Quandril.exe run as its own process).
void setTargetProcess(DWORD processId);

// A visible dialog ("#32770") of the target process with exactly this caption.
HWND findDialog(const std::wstring& caption);
HWND waitForDialog(const std::wstring& caption, DWORD timeoutMs = kWaitMs);
// The same for a process given by id (Quandril.exe run as its own process).
HWND findDialogOf(DWORD processId, const std::wstring& caption);
bool dialogGone(HWND dialog);

std::wstring text(HWND window);
std::wstring itemText(HWND dialog, int id);
void setItemText(HWND dialog, int id, const std::wstring& value);
// A click as the button would send it, queued to the dialog's thread.
void click(HWND dialog, int id);
bool isShown(HWND dialog, int id);
bool isEnabled(HWND dialog, int id);

// The text of a message box (its static text child).
std::wstring messageBoxText(HWND box);
// Waits for a "Quandril" message box, answers it with `button` (IDOK, IDYES,
// IDNO) and returns its text; empty when none came.
std::wstring answerMessageBox(int button, DWORD timeoutMs = kWaitMs);

// List box helpers.
std::vector<std::wstring> listEntries(HWND list);
std::vector<int> selectedIndexes(HWND list);

// The open-file dialog's file-name edit: inside combo 0x47C (a ComboBoxEx
// whose combo box holds the edit, under Wine), or edit 0x480 of older
// templates; null when it has not appeared within 5 s.
HWND openDialogNameEdit(HWND dialog);
// Chooses files in the open-file dialog titled "Select Files": one full path,
// or names in one folder.
void chooseInOpenDialog(const std::wstring& fullPath);
void chooseInOpenDialog(const std::wstring& folder, const std::vector<std::wstring>& names);
// Presses Cancel in the open-file dialog.
void cancelOpenDialog();

// Runs a modal dialog on a thread of its own, so the test thread can drive it.
class ModalThread {
public:
    explicit ModalThread(std::function<void()> run) : thread_(std::move(run)) {}
    ~ModalThread() { join(); }
    void join() {
        if (thread_.joinable())
            thread_.join();
    }

private:
    std::thread thread_;
};

// Files for a test: a fresh folder under the temporary folder, removed with
// everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name);
    ~TempFolder();
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    // Writes `content` into a new file; returns its full path.
    std::wstring write(const std::wstring& name, const std::string& content = "FLV") const;

private:
    std::wstring path_;
};

std::string readFile(const std::wstring& path);
bool fileExists(const std::wstring& path);

// Saves what the screen shows of a window as a PNG (GDI+ must be started).
bool saveScreenshot(HWND window, const std::wstring& path);

}  // namespace driver
