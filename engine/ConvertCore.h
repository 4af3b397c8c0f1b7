// The conversion engine: the task list and its lock, the worker thread that
// converts the list file by file through the external converter, and the
// parsing of the converter's output into durations and percentages.
// No window code lives here; the engine reports nothing to the user.
#pragma once

#include "engine/OutputParsing.h"
#include "win/Scoped.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum RunState : int32_t {
    Idle = 0,
    Running = 1,
    StopRequested = 2,  // states up to here: the run has not ended
    Stopped = 3,
    Completed = 4,
};

// Asked on the worker thread before an existing output is replaced. The
// engine asks only kind 1; exactly 1 allows the replacement.
using OverwriteCallback = int32_t (*)(int32_t kind, INT_PTR param);
constexpr int32_t kOverwriteRequest = 1;

struct ConvertTask {
    int32_t index = 0;
    std::wstring inputPath;
    std::wstring outputPath;
    int32_t duration = 0;  // whole seconds; 0 when unknown
    int32_t percent = 0;   // 0..100; 100 counts as done
};

// A copy of a task, read without holding the lock.
struct TaskSnapshot {
    int32_t index = 0;
    std::wstring inputPath;
    std::wstring outputPath;
    int32_t duration = 0;
    int32_t percent = 0;
};

class ConvertCore {
public:
    ConvertCore();
    virtual ~ConvertCore();
    ConvertCore(const ConvertCore&) = delete;
    ConvertCore& operator=(const ConvertCore&) = delete;

    virtual bool init();
    virtual bool uninit();
    virtual bool convert(const std::wstring& inputPath, const std::wstring& outputPath);
    virtual bool start();
    virtual void onRunFinished();

    // Task list (locked operations).
    bool clearTasks();
    bool hasTask(const wchar_t* path) const;
    bool addTask(const wchar_t* path);
    bool getCurrentTask(TaskSnapshot& snapshot);
    void setTaskPercent(int32_t index, int32_t percent);
    int countCompleted();

    // The run.
    void stop();
    // Returns once the worker of the last run has returned (at once when
    // there is none). start, clearTasks, uninit and the destructor call it,
    // so a stopped run that is still finishing its file never overlaps them.
    // A subclass that overrides onRunFinished calls it in its own destructor.
    void waitForWorker();
    static DWORD WINAPI threadProc(LPVOID parameter);
    static void runProc(ConvertCore* core);
    std::wstring makeOutputPath(const std::wstring& inputPath, const std::wstring& folder) const;

    // Scripts, child processes and output parsing.
    std::wstring writeScript(const wchar_t* parameters, const wchar_t* inputPath, const wchar_t* outputPath);
    bool runProcess(const wchar_t* commandLine);
    void readOutput(HANDLE pipe);
    bool runProcess2(const wchar_t* scriptPath, std::string* capturedText);
    int32_t probeDuration(const wchar_t* inputPath);
    void parseProgress(const std::string& chunk);

    // The lock of the task list: an auto-reset event, signalled when free.
    // The main dialog takes it directly to read several tasks at once.
    HANDLE lockEvent = nullptr;
    HANDLE workerThread = nullptr;

    std::wstring converterPath;
    std::wstring outputFolder;
    std::wstring presetParams;
    std::wstring outputExt;

    std::vector<ConvertTask*> tasks;
    std::map<std::wstring, ConvertTask*> tasksByPath;

    volatile LONG runState = Idle;
    int32_t currentIndex = -1;
    bool parsingProgress = false;

    OverwriteCallback overwriteCallback = nullptr;
    INT_PTR callbackParam = 0;

private:
    // What a run reads of the public settings, copied by start: after a stop
    // the dialogs may assign new settings while the old worker still
    // finishes its file.
    struct RunSettings {
        std::wstring converterPath;
        std::wstring outputFolder;
        std::wstring presetParams;
        std::wstring outputExt;
        OverwriteCallback overwriteCallback = nullptr;
        INT_PTR callbackParam = 0;
    };
    // The worker's copy on the worker thread, the public fields elsewhere.
    RunSettings settings() const;
    void finishRun();

    RunSettings run_;
    win::UniqueHandle workerDone_;  // our own handle: the worker closes workerThread itself
    DWORD workerId_ = 0;
    bool quitSent_ = false;         // runProcess wrote the stop byte to its child
    std::vector<char> chunk_;       // the output reader's buffer
    engine::LineAccumulator lines_; // the progress parser's line accumulator
};

// Free helpers of the engine (pure, or platform queries only).
std::wstring fileNameOf(const std::wstring& path);
std::wstring makeScriptPath();
int32_t parseTime(const std::string& text);
