// Shared pieces of the main- and progress-dialog tests: sources on disk,
// steering of the test converter, and a run through the real Convert button.
#pragma once

#include "tests/ui/DialogDriver.h"
#include "tests/ui/UiEnvironment.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace uitest {

// Sets environment variables for the test converter (children inherit them)
// and removes them again at the end.
class ConverterSteering {
public:
    ConverterSteering(std::initializer_list<std::pair<const wchar_t*, std::wstring>> values);
    ~ConverterSteering();

private:
    std::vector<std::wstring> names_;
};

// A main dialog with sources in the list and an output folder typed in.
class ConvertFixture {
public:
    explicit ConvertFixture(const std::wstring& name, int templateId = 129);
    MainDialogSession& session() { return session_; }
    driver::TempFolder& sources() { return sources_; }
    driver::TempFolder& outputs() { return outputs_; }
    // Writes the source files and adds them to the list as the user would.
    void add(const std::vector<std::wstring>& names);
    // Presses Convert and waits for the progress dialog.
    HWND convert();
    HWND list() { return session_.item(1013); }

private:
    driver::TempFolder sources_;
    driver::TempFolder outputs_;
    MainDialogSession session_;
};

}  // namespace uitest
