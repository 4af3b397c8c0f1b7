// The hidden child processes that run the converter scripts: the converting
// run with its output pipe and stop pipe, and the probe with its capture file.
#include "engine/ConvertCore.h"
#include "engine/Trace.h"
#include "engine/WorkFiles.h"
#include "win/Scoped.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kPollMs = 300;
constexpr DWORD kProbeWaitMs = 100;
constexpr DWORD kChunkBytes = 4096;
// A poll takes what is waiting, bounded so a flood cannot hold off the stop.
constexpr int kMaxChunksPerPoll = 16;
constexpr DWORD kCaptureReadBytes = 256;

struct Child {
    win::UniqueHandle process;
    win::UniqueHandle thread;
};

// Starts a hidden child with the given command line; the platform runs a
// named batch file through its command interpreter.
bool startChild(const std::wstring& commandLine, STARTUPINFOW& startup, Child& child) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
        engine::traceFailure(L"CreateProcess");
        return false;
    }
    child.process.reset(info.hProcess);
    child.thread.reset(info.hThread);
    return true;
}

// A pipe whose child end is inherited and whose end of ours is not.
void makePipe(win::UniqueHandle& read, win::UniqueHandle& write, bool oursIsRead, const wchar_t* pipeFailure,
              const wchar_t* inheritFailure) {
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.bInheritHandle = TRUE;
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!CreatePipe(&r, &w, &attributes, 0)) {
        engine::traceFailure(pipeFailure);
        return;
    }
    read.reset(r);
    write.reset(w);
    if (!SetHandleInformation(oursIsRead ? r : w, HANDLE_FLAG_INHERIT, 0))
        engine::traceFailure(inheritFailure);
}

}  // namespace

bool ConvertCore::runProcess(const wchar_t* commandLine) {
    win::UniqueHandle outRead, outWrite, inRead, inWrite;
    makePipe(outRead, outWrite, true, L"StdoutRd CreatePipe", L"Stdout SetHandleInformation");
    makePipe(inRead, inWrite, false, L"Stdin CreatePipe", L"Stdin SetHandleInformation");
    // A converter that never reads its input must not block the worker once
    // the pipe is full of stop bytes: our end's writes never wait (measured
    // under Wine: 4096 bytes go in, further writes return at once).
    if (inWrite) {
        DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
        SetNamedPipeHandleState(inWrite.get(), &mode, nullptr, nullptr);
    }

    quitSent_ = false;
    if (commandLine == nullptr || *commandLine == L'\0') {
        engine::traceFailure(L"CreateProcess");
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.get();
    startup.hStdOutput = outWrite.get();
    startup.hStdError = outWrite.get();
    // Quoted: unquoted, a path with spaces lets the platform try each prefix
    // of it as a program of its own ("C:\Users\John.exe").
    Child child;
    if (!startChild(L"\"" + std::wstring(commandLine) + L"\"", startup, child))
        return false;
    // The child holds its own copies now. Without ours, the output pipe ends
    // when the child and what it started have ended, and reads see that.
    outWrite.reset();
    inRead.reset();
    engine::trace("----- ConvertCore::runProcess -----\n");

    while (WaitForSingleObject(child.process.get(), kPollMs) == WAIT_TIMEOUT) {
        const LONG state = runState;
        if (state == Running) {
            readOutput(outRead.get());
        } else if (state == StopRequested && inWrite) {
            DWORD written = 0;
            WriteFile(inWrite.get(), "q", 1, &written, nullptr);
            quitSent_ = true;
        }
    }
    child = {};
    engine::trace("----- runProcess : CloseHandle -----\n");
    return true;
}

void ConvertCore::readOutput(HANDLE pipe) {
    HANDLE own = GetStdHandle(STD_OUTPUT_HANDLE);
    engine::trace("----------\n");
    if (chunk_.empty())
        chunk_.resize(kChunkBytes + 1);
    // Only what is already there: a read must never wait on a silent
    // converter, or a stop request would not reach it.
    for (int n = 0; n < kMaxChunksPerPoll; ++n) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0)
            return;
        DWORD got = 0;
        if (!ReadFile(pipe, chunk_.data(), std::min(available, kChunkBytes), &got, nullptr) || got == 0)
            return;
        chunk_[got] = '\0';
        engine::traceText(chunk_.data());
        if (parsingProgress)
            parseProgress(std::string(chunk_.data(), strnlen(chunk_.data(), got)));
        // A process started with a standard output gets a copy of the chunks.
        if (own != nullptr && own != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(own, chunk_.data(), got, &written, nullptr);
        }
    }
}

bool ConvertCore::runProcess2(const wchar_t* scriptPath, std::string* capturedText) {
    if (scriptPath == nullptr || *scriptPath == L'\0') {
        engine::traceFailure(L"CreateProcess");
        return false;
    }
    // The name is taken here, so no other probe shares it; the interpreter's
    // "2>" then empties and fills the file.
    const std::wstring appData = engine::applicationDataFolder();
    HANDLE reserved = INVALID_HANDLE_VALUE;
    const std::wstring capture =
        appData.empty() ? std::wstring() : engine::createFreshFile(appData, L"mirovex", L".txt", GetTickCount(), reserved);
    win::UniqueFile(reserved).reset();
    if (capture.empty()) {
        engine::traceFailure(L"CreateProcess");
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    Child child;
    if (!startChild(L"\"" + std::wstring(scriptPath) + L"\" 2> \"" + capture + L"\"", startup, child)) {
        DeleteFileW(capture.c_str());
        return false;
    }
    engine::trace("----- ConvertCore::runProcess2 -----\n");

    // After a stop request the probe runs on unobserved.
    while (WaitForSingleObject(child.process.get(), kProbeWaitMs) == WAIT_TIMEOUT && runState == Running) {
    }
    child = {};
    engine::trace("----- runProcess2 : CloseHandle -----\n");

    std::string collected;
    {
        win::UniqueFile file(CreateFileW(capture.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            char piece[kCaptureReadBytes + 1];
            DWORD got = 0;
            while (ReadFile(file.get(), piece, kCaptureReadBytes, &got, nullptr) && got > 0) {
                piece[got] = '\0';
                collected.append(piece, strnlen(piece, got));
            }
        }
    }
    if (capturedText)
        *capturedText = std::move(collected);
    DeleteFileW(capture.c_str());
    return true;
}
