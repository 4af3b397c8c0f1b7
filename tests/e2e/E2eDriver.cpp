// Drives Quandril.exe, started as its own process, only through its windows,
// as a person would, and writes what it saw, one fact a line (UTF-8), into a
// file for the host-side test to check (not to standard output: under Wine the
// application's children and debug traces reach the same Unix stream). Steps
// come from a UTF-8 file, one a line, fields separated by tabs:
//
//   start <Quandril.exe>                  start it; print the window's state
//   add <full path>                       Add, type one full path, Open
//   addmany <folder> <name> <name>...     Add, go to the folder, type the names
//   preset <index>                        choose a preset in the combo box
//   folder <text>                         type the output folder
//   convert <answers> <stop at>           Convert and watch the run to its end
//   list                                  print the list and its selection
//   remove                                press Remove
//   close                                 close the window, wait for the exit
//   run <command line>                    run a program hidden, print its time
//
// <answers> is one letter per replace question, Y or N, in order ("-" when
// none is expected). <stop at> is "-" or a task index: once that file shows
// progress, press Stop and answer No, see the run go on, then Stop and Yes.
// Any step that does not come about within its time ends the driver with
// "fail <what>" and exit code 1.
#include "tests/ui/DialogDriver.h"
#include "win/Scoped.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Ids of the application's dialogs, as a person meets them.
constexpr int kConvert = 1001;
constexpr int kOutputFolder = 1006;
constexpr int kPreset = 1009;
constexpr int kAdd = 1010;
constexpr int kRemove = 1011;
constexpr int kList = 1013;
constexpr int kFileLine = 1016;
constexpr int kBar = 1017;
constexpr int kCounterLine = 1018;
constexpr int kStop = 1020;
constexpr int kClose = 1021;

const wchar_t kMainCaption[] = L"Quandril 1.1";
const wchar_t kBoxCaption[] = L"Quandril";
const wchar_t kProgressCaption[] = L"Progress";
const wchar_t kOpenCaption[] = L"Select Files";

// Generous: a whole batch of short files, on a shared and busy machine.
constexpr DWORD kStartMs = 60000;
constexpr DWORD kRunMs = 600000;
// A person reads a question before answering it.
constexpr DWORD kReadMs = 300;

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// Line breaks inside a text (the replace question has one) would split a fact.
std::wstring oneLine(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\n' || c == L'\r')
            c = L'|';
    return text;
}

FILE* g_facts = stdout;

void fact(const std::wstring& line) {
    const std::string bytes = utf8(line) + "\n";
    fwrite(bytes.data(), 1, bytes.size(), g_facts);
    fflush(g_facts);
}

[[noreturn]] void fail(const std::wstring& what) {
    fact(L"fail " + what);
    exit(1);
}

ULONGLONG now() {
    return GetTickCount64();
}

std::wstring ms(ULONGLONG since) {
    return std::to_wstring(now() - since);
}

// What the progress window shows at one moment.
struct Sample {
    std::wstring counter;
    std::wstring file;
    LRESULT position = 0;
    LRESULT maximum = 0;
    bool operator==(const Sample&) const = default;
};

Sample sample(HWND progress) {
    HWND bar = GetDlgItem(progress, kBar);
    return {driver::itemText(progress, kCounterLine), driver::itemText(progress, kFileLine),
            SendMessageW(bar, PBM_GETPOS, 0, 0), SendMessageW(bar, PBM_GETRANGE, FALSE, 0)};
}

// A tick can fall between two reads and mix two moments: read until two
// readings in a row agree.
Sample stableSample(HWND progress) {
    Sample last = sample(progress);
    for (int i = 0; i < 20; ++i) {
        Sample next = sample(progress);
        if (next == last)
            break;
        last = next;
    }
    return last;
}

class Session {
public:
    void start(const std::wstring& exe) {
        // Started from its own folder, as a shortcut or a double click would.
        std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        const ULONGLONG begin = now();
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                            &startup, &info))
            fail(L"start " + std::to_wstring(GetLastError()));
        win::UniqueHandle thread(info.hThread);
        process_.reset(info.hProcess);
        processId_ = info.dwProcessId;
        if (!driver::waitFor([&] { return (main_ = driver::findDialogOf(processId_, kMainCaption)) != nullptr; },
                             kStartMs))
            fail(L"no main window");
        fact(L"started " + ms(begin));
        HWND combo = GetDlgItem(main_, kPreset);
        const int presets = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < presets; ++i) {
            const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
            std::wstring name(static_cast<size_t>(length) + 1, L'\0');
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name.data()));
            name.resize(static_cast<size_t>(length));
            fact(L"preset_item " + std::to_wstring(i) + L"\t" + name);
        }
        fact(L"preset_current " + std::to_wstring(SendMessageW(combo, CB_GETCURSEL, 0, 0)));
        fact(L"folder\t" + driver::itemText(main_, kOutputFolder));
    }

    void add(const std::wstring& folder, const std::vector<std::wstring>& names) {
        HWND list = GetDlgItem(main_, kList);
        const LRESULT before = SendMessageW(list, LB_GETCOUNT, 0, 0);
        driver::click(main_, kAdd);
        HWND dialog = nullptr;
        if (!driver::waitFor([&] { return (dialog = driver::findDialogOf(processId_, kOpenCaption)) != nullptr; }))
            fail(L"no open-file dialog");
        // The dialog may show before its children are all made.
        HWND edit = driver::openDialogNameEdit(dialog);
        if (!edit)
            fail(L"no file-name field in the open-file dialog");
        std::wstring typed;
        if (names.empty()) {
            typed = folder;
        } else {
            // Into the folder first (the dialog navigates and stays), then the names.
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            for (const std::wstring& name : names)
                typed += L"\"" + name + L"\" ";
        }
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        if (!driver::waitFor([&] { return driver::dialogGone(dialog); }))
            fail(L"open-file dialog stayed");
        const LRESULT expected = before + static_cast<LRESULT>(names.empty() ? 1 : names.size());
        // Refused files never come; give the list a moment, then report what is there.
        driver::waitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) >= expected; }, 5000);
        fact(L"count " + std::to_wstring(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    }

    void preset(int index) {
        HWND combo = GetDlgItem(main_, kPreset);
        SendMessageW(combo, CB_SETCURSEL, index, 0);
        fact(L"preset_current " + std::to_wstring(SendMessageW(combo, CB_GETCURSEL, 0, 0)));
    }

    void folder(const std::wstring& text) {
        driver::setItemText(main_, kOutputFolder, text);
    }

    void convert(const std::wstring& answers, int stopAt) {
        size_t answered = 0;
        bool stopDone = stopAt < 0;
        std::wstring lastProgress;
        HWND progress = nullptr;
        const ULONGLONG begin = now();
        driver::click(main_, kConvert);
        const ULONGLONG end = begin + kRunMs;
        while (now() < end) {
            if (HWND box = driver::findDialogOf(processId_, kBoxCaption)) {
                std::wstring question = waitForText(box);
                if (!progress) {
                    // Convert refused: the main dialog's own message.
                    fact(L"message\t" + oneLine(question));
                    answer(box, IDOK);
                    return;
                }
                const wchar_t letter = answered < answers.size() ? answers[answered] : L'N';
                ++answered;
                fact(L"question " + ms(begin) + L"\t" + oneLine(question));
                answer(box, letter == L'Y' ? IDYES : IDNO);
                fact(std::wstring(L"answer ") + letter);
                continue;
            }
            if (!progress) {
                progress = driver::findDialogOf(processId_, kProgressCaption);
                if (progress)
                    fact(L"progress_shown " + ms(begin));
                Sleep(10);
                continue;
            }
            if (driver::dialogGone(progress)) {
                fact(L"progress_closed " + ms(begin));
                break;
            }
            const Sample sample = stableSample(progress);
            const std::wstring& file = sample.file;
            const LRESULT position = sample.position;
            const LRESULT maximum = sample.maximum;
            const std::wstring seen = sample.counter + L"\t" + file + L"\t" + std::to_wstring(position) + L"\t" +
                                      std::to_wstring(maximum);
            if (seen != lastProgress) {
                lastProgress = seen;
                fact(L"progress " + ms(begin) + L"\t" + seen);
            }
            if (file == L"Complete") {
                completeRun(progress, begin);
                break;
            }
            if (!stopDone && maximum > 0 && position > stopAt * 100L) {
                stopRun(progress, position);
                stopDone = true;
            }
            Sleep(15);
        }
        if (now() >= end)
            fail(L"run did not end");
        if (answered != (answers == L"-" ? 0 : answers.size()))
            fact(L"answers_unused");
        // The main dialog takes the keyboard again once the modal run is over.
        if (!driver::waitFor([&] { return IsWindowEnabled(main_) != FALSE; }, 10000))
            fail(L"main window stayed disabled");
        list();
    }

    void list() {
        HWND list = GetDlgItem(main_, kList);
        const std::vector<std::wstring> entries = driver::listEntries(list);
        const std::vector<int> selected = driver::selectedIndexes(list);
        for (size_t i = 0; i < entries.size(); ++i) {
            bool isSelected = false;
            for (int s : selected)
                isSelected = isSelected || s == static_cast<int>(i);
            fact(std::wstring(L"entry ") + (isSelected ? L"1" : L"0") + L"\t" + entries[i]);
        }
    }

    void remove() {
        HWND list = GetDlgItem(main_, kList);
        const LRESULT before = SendMessageW(list, LB_GETCOUNT, 0, 0);
        const size_t selected = driver::selectedIndexes(list).size();
        driver::click(main_, kRemove);
        driver::waitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) == before - static_cast<LRESULT>(selected); },
                        5000);
        fact(L"count " + std::to_wstring(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    }

    void close() {
        // The caption's close box: the dialog manager turns it into IDCANCEL.
        PostMessageW(main_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.get(), kStartMs) != WAIT_OBJECT_0)
            fail(L"process did not end");
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        fact(L"exit " + std::to_wstring(code));
    }

private:
    std::wstring waitForText(HWND box) {
        std::wstring value;
        driver::waitFor([&] { return !(value = driver::messageBoxText(box)).empty(); }, 5000);
        return value;
    }

    void answer(HWND box, int button) {
        Sleep(kReadMs);
        driver::click(box, button);
        if (!driver::waitFor([&] { return driver::dialogGone(box); }))
            fail(L"message box stayed");
    }

    void completeRun(HWND progress, ULONGLONG begin) {
        fact(L"complete " + ms(begin));
        // The tick that shows "Complete" swaps the buttons and hides the bar.
        driver::waitFor([&] { return driver::isShown(progress, kClose); }, 5000);
        fact(L"complete_state stop=" + std::to_wstring(driver::isShown(progress, kStop)) +
             L" close=" + std::to_wstring(driver::isShown(progress, kClose)) +
             L" bar=" + std::to_wstring(driver::isShown(progress, kBar)) + L"\t" +
             driver::itemText(progress, kCounterLine));
        driver::click(progress, kClose);
        if (!driver::waitFor([&] { return driver::dialogGone(progress); }))
            fail(L"progress window stayed after Close");
    }

    HWND waitForBox() {
        HWND box = nullptr;
        if (!driver::waitFor([&] { return (box = driver::findDialogOf(processId_, kBoxCaption)) != nullptr; }))
            fail(L"no stop question");
        return box;
    }

    void stopRun(HWND progress, LRESULT position) {
        driver::click(progress, kStop);
        HWND box = waitForBox();
        fact(L"stop_question\t" + waitForText(box));
        answer(box, IDNO);
        // No: the run goes on, with the bar moving and Stop still there.
        const bool goesOn = driver::waitFor(
            [&] {
                return !driver::dialogGone(progress) && SendMessageW(GetDlgItem(progress, kBar), PBM_GETPOS, 0, 0) > position;
            },
            60000);
        fact(L"after_no moving=" + std::to_wstring(goesOn) + L" stop=" + std::to_wstring(driver::isShown(progress, kStop)) +
             L" enabled=" + std::to_wstring(driver::isEnabled(progress, kStop)));
        driver::click(progress, kStop);
        box = waitForBox();
        waitForText(box);
        Sleep(kReadMs);
        fact(L"stop_at " + std::to_wstring(SendMessageW(GetDlgItem(progress, kBar), PBM_GETPOS, 0, 0)));
        driver::click(box, IDYES);
        const ULONGLONG yes = now();
        // Yes taken: the question goes and Stop is disabled at once.
        const bool taken = driver::waitFor(
            [&] { return driver::dialogGone(box) && (driver::dialogGone(progress) || !driver::isEnabled(progress, kStop)); },
            5000);
        fact(L"yes_taken " + std::to_wstring(taken) + L" " + ms(yes));
        if (!driver::waitFor([&] { return driver::dialogGone(progress); }, 60000))
            fail(L"progress window stayed after the stop");
        fact(L"stop_closed " + ms(yes));
    }

    win::UniqueHandle process_;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// The benchmark's reference: one program on its own, output thrown away.
void runTimed(std::wstring commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    win::UniqueFile sink(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = sink.get();
    startup.hStdOutput = sink.get();
    startup.hStdError = sink.get();
    PROCESS_INFORMATION info = {};
    const ULONGLONG begin = now();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
        fail(L"run " + std::to_wstring(GetLastError()));
    win::UniqueHandle thread(info.hThread);
    win::UniqueHandle process(info.hProcess);
    WaitForSingleObject(process.get(), INFINITE);
    const std::wstring elapsed = ms(begin);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    fact(L"timed " + elapsed + L" " + std::to_wstring(code));
}

std::vector<std::wstring> split(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::wstringstream in(line);
    std::wstring field;
    while (std::getline(in, field, L'\t'))
        fields.push_back(field);
    return fields;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: e2e_driver <steps file> <facts file>\n");
        return 2;
    }
    g_facts = _wfopen(argv[2], L"wb");
    if (!g_facts) {
        fwprintf(stderr, L"cannot write %ls\n", argv[2]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in)
        fail(L"cannot read the steps");
    Session session;
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        const std::vector<std::wstring> step = split(wide(raw));
        if (step.empty())
            continue;
        fact(L"step\t" + wide(raw));
        const std::wstring& verb = step[0];
        auto arg = [&](size_t i) { return i < step.size() ? step[i] : std::wstring(); };
        if (verb == L"start")
            session.start(arg(1));
        else if (verb == L"add")
            session.add(arg(1), {});
        else if (verb == L"addmany")
            session.add(arg(1), std::vector<std::wstring>(step.begin() + 2, step.end()));
        else if (verb == L"preset")
            session.preset(_wtoi(arg(1).c_str()));
        else if (verb == L"folder")
            session.folder(arg(1));
        else if (verb == L"convert")
            session.convert(arg(1), arg(2) == L"-" || arg(2).empty() ? -1 : _wtoi(arg(2).c_str()));
        else if (verb == L"list")
            session.list();
        else if (verb == L"remove")
            session.remove();
        else if (verb == L"close")
            session.close();
        else if (verb == L"run")
            runTimed(arg(1));
        else
            fail(L"unknown step " + verb);
    }
    fact(L"end");
    return 0;
}
