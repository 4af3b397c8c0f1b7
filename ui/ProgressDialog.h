// The progress dialog: starts the run of the main dialog's ConvertCore,
// shows the current file, the counter and the bar, and lets the user stop.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

bool initProgressDialog(HWND dialog);
void updateProgress(HWND dialog);
void confirmStop(HWND dialog);
// The core's OverwriteCallback: asks on the worker thread, owned by the
// progress dialog given as `param`. 1 replaces the file.
int32_t confirmOverwrite(int32_t kind, INT_PTR param);

// "index+1 / count (overall/count%)" while a task runs, percent of that task.
std::wstring runningCounterText(long index, long count, long percent);
// "done / count (rounded%)" once the run is complete.
std::wstring completeCounterText(long done, long count);
