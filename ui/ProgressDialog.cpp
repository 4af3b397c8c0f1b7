#include "ui/ProgressDialog.h"

#include "app/AppGlobals.h"
#include "engine/ConvertCore.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <cwchar>

namespace {

const wchar_t kAppName[] = L"Quandril";
constexpr UINT_PTR kPollTimer = 100;
constexpr UINT kPollPeriodMs = 100;

// The id SetTimer gave, for KillTimer.
UINT_PTR g_progressTimer = 0;

std::wstring counterText(long first, long count, long percent) {
    wchar_t text[256];
    swprintf(text, 256, L"%ld / %ld (%ld%%)", first, count, percent);
    return text;
}

void setText(HWND dialog, int id, const std::wstring& text) {
    HWND control = GetDlgItem(dialog, id);
    if (!text.empty() && IsWindow(control))
        SetWindowTextW(control, text.c_str());
}

void showControl(HWND dialog, int id, int show) {
    HWND control = GetDlgItem(dialog, id);
    if (IsWindow(control))
        ShowWindow(control, show);
}

}  // namespace

std::wstring runningCounterText(long index, long count, long percent) {
    const long overall = index * 100 + percent;
    return counterText(index + 1, count, count > 0 ? overall / count : 0);
}

std::wstring completeCounterText(long done, long count) {
    // A half rounds up: 1 of 8 is 12.5, shown as 13.
    const long percent = count > 0 ? static_cast<long>(done * 100.0 / count + 0.5) : 0;
    return counterText(done, count, percent);
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (!initProgressDialog(dialog))
            EndDialog(dialog, 2);
        return TRUE;
    case WM_CLOSE:
        return TRUE;  // no Alt+F4: only Stop or Close end the dialog
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_STOP: confirmStop(dialog); return TRUE;
        case IDC_CLOSE: EndDialog(dialog, 1); return TRUE;
        }
        return FALSE;  // Escape (IDCANCEL) included
    case WM_TIMER:
        updateProgress(dialog);
        return TRUE;
    }
    return FALSE;
}

bool initProgressDialog(HWND dialog) {
    ConvertCore& core = *g_convertCore;
    core.overwriteCallback = confirmOverwrite;
    core.callbackParam = reinterpret_cast<INT_PTR>(dialog);
    if (!core.start())
        return false;
    showControl(dialog, IDC_STOP, SW_SHOW);
    showControl(dialog, IDC_CLOSE, SW_HIDE);
    g_progressTimer = SetTimer(dialog, kPollTimer, kPollPeriodMs, nullptr);
    updateProgress(dialog);
    return true;
}

void updateProgress(HWND dialog) {
    ConvertCore& core = *g_convertCore;
    const long count = static_cast<long>(core.tasks.size());
    const LONG state = core.runState;
    std::wstring counter;
    std::wstring file;
    long barMax = 0;
    long barPos = 0;

    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    if (state == Running) {
        TaskSnapshot task;
        if (core.getCurrentTask(task)) {
            barMax = count * 100;
            barPos = task.index * 100L + task.percent;
            file = task.inputPath;
            counter = runningCounterText(task.index, count, task.percent);
        }
    } else if (state == Completed) {
        file = L"Complete";
        counter = completeCounterText(core.countCompleted(), count);
        if (IsWindow(bar))
            ShowWindow(bar, SW_HIDE);
        KillTimer(dialog, g_progressTimer);
    }
    setText(dialog, IDC_COUNTER_LINE, counter);
    setText(dialog, IDC_FILE_LINE, file);
    if (IsWindow(bar)) {
        SendMessageW(bar, PBM_SETRANGE32, 0, barMax);
        SendMessageW(bar, PBM_SETPOS, barPos, 0);
    }

    const LONG after = core.runState;
    if (after == Running)
        return;
    if (after == StopRequested) {
        // The worker is still finishing its file: stay up, Stop disabled,
        // so neither a new Convert nor the main dialog's close can overlap it.
        EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
        return;
    }
    showControl(dialog, IDC_STOP, SW_HIDE);
    showControl(dialog, IDC_CLOSE, SW_SHOW);
    if (after != Completed)
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, 0), 0);
}

void confirmStop(HWND dialog) {
    if (MessageBoxW(dialog, L"Are you sure you want to stop the conversion?", kAppName, MB_YESNO) != IDYES)
        return;
    // Disabled at once: the run is ending, a second question makes no sense.
    EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
    g_convertCore->stop();
}

int32_t confirmOverwrite(int32_t kind, INT_PTR param) {
    if (kind != kOverwriteRequest)
        return 0;
    TaskSnapshot task;
    g_convertCore->getCurrentTask(task);
    const std::wstring question = L"'" + task.outputPath + L"' already exists.\nDo you want to replace it?";
    const int answer = MessageBoxW(reinterpret_cast<HWND>(param), question.c_str(), kAppName, MB_YESNO);
    return answer == IDYES ? 1 : 0;
}
