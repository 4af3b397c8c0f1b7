// The main dialog: the list of source files, the preset, the output folder
// and the commands that act on them.
#pragma once

#include <windows.h>

#include <string>

// Longest source path the list accepts. The entries are read back by their
// real length, but the engine writes each path into a script line and a
// converter command, which are bounded by MAX_PATH-sized names on Windows.
constexpr size_t kMaxSourcePath = MAX_PATH - 1;

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

bool initMainDialog(HWND dialog);
void closeMainDialog();
void fillPresetCombo();
void addFiles();
int addToList(const wchar_t* path);
bool isInList(const wchar_t* path);
bool hasFlvExtension(const wchar_t* path);
void removeSelected();
void clearList();
void browseOutputFolder();
int CALLBACK browseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);
void openOutputFolder();
std::wstring outputFolderText(HWND dialog);
std::wstring locateConverter();
bool startConversion();
void selectCompleted();

// A name chosen in a folder: the folder, a backslash unless the folder
// already ends with one (a drive root), and the name.
std::wstring joinFolderAndName(const std::wstring& folder, const wchar_t* name);
