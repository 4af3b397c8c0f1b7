// What every GUI test of this executable shares: GDI+, the button images,
// the preset family, and a registry of its own.
#pragma once

#include <windows.h>

#include <string>

class VideoPreset;

namespace uitest {

// Opens the main dialog from `templateId` on a thread of its own and waits
// for it; closes it (as Escape does) and waits for the thread at the end.
class MainDialogSession {
public:
    explicit MainDialogSession(int templateId = 129);
    ~MainDialogSession();
    MainDialogSession(const MainDialogSession&) = delete;
    MainDialogSession& operator=(const MainDialogSession&) = delete;

    HWND dialog() const { return dialog_; }
    HWND item(int id) const { return GetDlgItem(dialog_, id); }
    // Closes it now, as Escape would; the destructor then does nothing more.
    void close();

private:
    HANDLE thread_ = nullptr;
    HWND dialog_ = nullptr;
};

// The folder of this test executable (where core\mirovex.exe is looked for).
std::wstring exeFolder();

}  // namespace uitest
