// The task list and the run: the worker thread walks the tasks, derives each
// output name, asks before replacing an existing output and converts.
#include "engine/ConvertCore.h"

#include "engine/TaskListLock.h"
#include "engine/Trace.h"
#include "engine/WorkFiles.h"

namespace {

// The output counts as existing when it can be opened for reading.
bool canOpenForReading(const std::wstring& path) {
    win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

bool isNonEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

// Two texts that name one existing file (letter case, doubled backslashes,
// short names, links): the converter would write over its own source.
bool nameSameFile(const std::wstring& a, const std::wstring& b) {
    auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        win::UniqueFile file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    if (!identify(a, first) || !identify(b, second))
        return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

namespace engine {

std::wstring partialOutputPath(const std::wstring& outputPath, DWORD tick) {
    const size_t slash = outputPath.rfind(L'\\');
    size_t dot = outputPath.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        dot = outputPath.size();
    // The extension stays last: the converter picks its format by it.
    return outputPath.substr(0, dot) + L".partial" + tickText(tick) + outputPath.substr(dot);
}

}  // namespace engine

// ---- Construction and the task list ----

ConvertCore::ConvertCore() { lockEvent = CreateEventW(nullptr, FALSE, TRUE, nullptr); }

ConvertCore::~ConvertCore() {
    clearTasks();
    if (lockEvent)
        CloseHandle(lockEvent);
}

// Without its lock the engine cannot guard the task list: report that here,
// where the main dialog looks.
bool ConvertCore::init() { return lockEvent != nullptr; }

bool ConvertCore::uninit() { return clearTasks(); }

bool ConvertCore::clearTasks() {
    waitForWorker();
    engine::TaskListLock lock(lockEvent);
    for (ConvertTask* task : tasks)
        delete task;
    tasks.clear();
    tasksByPath.clear();
    currentIndex = -1;
    return true;
}

bool ConvertCore::hasTask(const wchar_t* path) const { return tasksByPath.count(path) != 0; }

bool ConvertCore::addTask(const wchar_t* path) {
    if (hasTask(path))
        return false;
    engine::TaskListLock lock(lockEvent);
    auto task = new ConvertTask;
    task->index = static_cast<int32_t>(tasks.size());
    task->inputPath = path;
    tasks.push_back(task);
    tasksByPath[path] = task;
    return true;
}

bool ConvertCore::getCurrentTask(TaskSnapshot& snapshot) {
    engine::TaskListLock lock(lockEvent);
    if (currentIndex < 0 || currentIndex >= static_cast<int32_t>(tasks.size()))
        return false;
    const ConvertTask& task = *tasks[currentIndex];
    snapshot.index = task.index;
    snapshot.inputPath = task.inputPath;
    snapshot.outputPath = task.outputPath;
    snapshot.duration = task.duration;
    snapshot.percent = task.percent;
    return true;
}

void ConvertCore::setTaskPercent(int32_t index, int32_t percent) {
    if (index < 0 || index >= static_cast<int32_t>(tasks.size()))
        return;
    engine::TaskListLock lock(lockEvent);
    tasks[index]->percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

int ConvertCore::countCompleted() {
    engine::TaskListLock lock(lockEvent);
    int count = 0;
    for (const ConvertTask* task : tasks)
        count += task->percent == 100;
    return count;
}

// ---- The run ----

ConvertCore::RunSettings ConvertCore::settings() const {
    if (workerId_ != 0 && GetCurrentThreadId() == workerId_)
        return run_;
    return {converterPath, outputFolder, presetParams, outputExt, overwriteCallback, callbackParam};
}

void ConvertCore::waitForWorker() {
    // The worker itself (say, inside the callback) must not wait for its own end.
    if (!workerDone_ || GetCurrentThreadId() == workerId_)
        return;
    WaitForSingleObject(workerDone_.get(), INFINITE);
    workerDone_.reset();
    workerId_ = 0;
}

bool ConvertCore::start() {
    waitForWorker();
    if (workerThread) {
        CloseHandle(workerThread);
        workerThread = nullptr;
    }
    run_ = {converterPath, outputFolder, presetParams, outputExt, overwriteCallback, callbackParam};
    InterlockedExchange(&runState, Running);

    // Suspended until its handles are stored: a worker that ended at once
    // would otherwise close workerThread before it was set.
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, threadProc, this, CREATE_SUSPENDED, &id);
    if (!thread) {
        engine::traceFailure(L"CreateThread");
        InterlockedExchange(&runState, Stopped);  // no worker would ever end the run
        return false;
    }
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
        engine::traceFailure(L"DuplicateHandle");
    workerDone_.reset(own);
    workerId_ = id;
    workerThread = thread;
    ResumeThread(thread);
    return true;
}

void ConvertCore::stop() {
    InterlockedCompareExchange(&runState, StopRequested, Running);
    Sleep(100);
    for (int i = 0; i < 9; ++i) {
        if (runState > StopRequested)
            return;
        Sleep(100);
    }
}

DWORD WINAPI ConvertCore::threadProc(LPVOID parameter) {
    if (parameter)
        runProc(static_cast<ConvertCore*>(parameter));
    return 0;
}

void ConvertCore::runProc(ConvertCore* core) {
    const RunSettings run = core->settings();
    try {
        const int32_t count = static_cast<int32_t>(core->tasks.size());
        for (int32_t i = 0; i < count && core->runState == Running; ++i) {
            engine::trace("----- runProc : %ld -----\n", static_cast<long>(i));
            std::wstring input, output;
            {
                engine::TaskListLock lock(core->lockEvent);
                input = core->tasks[i]->inputPath;
                output = core->makeOutputPath(input, run.outputFolder);
                core->tasks[i]->outputPath = output;
                core->currentIndex = i;
            }
            core->setTaskPercent(i, 0);

            if (input == output) {
                core->setTaskPercent(i, 100);
                continue;
            }
            // A file there that cannot be read (locked, no rights) is still the
            // user's: it is replaced only when the user agrees, like any other.
            bool doConvert = true;
            if (nameSameFile(input, output))
                doConvert = false;
            else if (GetFileAttributesW(output.c_str()) != INVALID_FILE_ATTRIBUTES)
                doConvert = run.overwriteCallback && run.overwriteCallback(kOverwriteRequest, run.callbackParam) == 1;
            if (doConvert) {
                engine::trace("runProc : convert\n");
                core->convert(input, output);
            }
            core->setTaskPercent(i, canOpenForReading(output) ? 100 : 0);
        }
    } catch (...) {
        // Out of memory: end the run as stopped rather than let it cross the thread's entry.
        engine::trace("runProc : exception\n");
        InterlockedCompareExchange(&core->runState, StopRequested, Running);
    }
    core->finishRun();
}

void ConvertCore::finishRun() {
    // One indivisible step against stop's Running -> StopRequested.
    LONG seen = runState;
    for (;;) {
        const LONG final = seen == Running ? Completed : Stopped;
        const LONG before = InterlockedCompareExchange(&runState, final, seen);
        if (before == seen)
            break;
        seen = before;
    }
    onRunFinished();
    HANDLE thread = workerThread;
    workerThread = nullptr;
    if (thread)
        CloseHandle(thread);
    engine::TaskListLock lock(lockEvent);
    currentIndex = -1;
}

bool ConvertCore::convert(const std::wstring& inputPath, const std::wstring& outputPath) {
    engine::trace("----- convert -----\n");
    const int32_t duration = probeDuration(inputPath.c_str());
    {
        engine::TaskListLock lock(lockEvent);
        engine::trace("duration:%ld\n", static_cast<long>(duration));
        if (currentIndex >= 0 && currentIndex < static_cast<int32_t>(tasks.size()))
            tasks[currentIndex]->duration = duration;
        engine::trace("----------\n");
    }

    // The converter writes beside the output under a name of its own; only a
    // non-empty file of a run that ended without being asked to quit takes
    // the output's name. So a stopped conversion never leaves a cut file
    // under that name, and never destroys the file the user had there.
    DWORD tick = GetTickCount();
    std::wstring partial = engine::partialOutputPath(outputPath, tick);
    while (GetFileAttributesW(partial.c_str()) != INVALID_FILE_ATTRIBUTES)
        partial = engine::partialOutputPath(outputPath, ++tick);

    const std::wstring script = writeScript(settings().presetParams.c_str(), inputPath.c_str(), partial.c_str());
    parsingProgress = true;
    runProcess(script.c_str());
    parsingProgress = false;
    DeleteFileW(script.c_str());

    if (!quitSent_ && isNonEmptyFile(partial)) {
        if (!MoveFileExW(partial.c_str(), outputPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            engine::traceFailure(L"MoveFileEx");
    }
    DeleteFileW(partial.c_str());  // whatever is left of it
    return true;
}

std::wstring ConvertCore::makeOutputPath(const std::wstring& inputPath, const std::wstring& folder) const {
    std::wstring path = folder + L"\\" + fileNameOf(inputPath);
    const std::wstring ext = settings().outputExt;
    if (ext.empty())
        return path;
    const size_t dot = path.rfind(L'.');
    const size_t slash = path.rfind(L'\\');
    if (dot != std::wstring::npos && dot > slash)
        return path.substr(0, dot + 1) + ext;
    return path + L"." + ext;
}

void ConvertCore::onRunFinished() {}

std::wstring fileNameOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
