// Test driver: runs a batch script the way the application runs a converting
// script (hidden, through the command interpreter, stdout and stderr on one
// pipe, stdin on another), reads the output until the converter reports a
// media time of at least one second, then writes "q" every 300 ms until the
// child ends. Prints "stop_ms=<from the first q to the end>" and the output.
#include "win/Scoped.h"

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: converter_stop_driver script.bat\n");
        return 2;
    }
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    win::UniqueHandle outRead, outWrite, inRead, inWrite;
    if (!CreatePipe(outRead.receive(), outWrite.receive(), &sa, 0) ||
        !CreatePipe(inRead.receive(), inWrite.receive(), &sa, 0))
        return 3;
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead.get();
    si.hStdOutput = outWrite.get();
    si.hStdError = outWrite.get();
    PROCESS_INFORMATION pi{};
    std::wstring command = argv[1];
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        return 4;
    win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    // Only the child holds these now: reads end when it ends.
    outWrite.reset();
    inRead.reset();

    std::string output;
    bool stopping = false;
    DWORD firstQ = 0;
    const DWORD started = GetTickCount();
    while (WaitForSingleObject(process.get(), 300) == WAIT_TIMEOUT) {
        if (GetTickCount() - started > 120000) {
            TerminateProcess(process.get(), 9);
            printf("timeout\n");
            return 5;
        }
        if (!stopping) {
            DWORD avail = 0;
            while (PeekNamedPipe(outRead.get(), nullptr, 0, nullptr, &avail, nullptr) && avail) {
                char buf[4096];
                DWORD got = 0;
                if (!ReadFile(outRead.get(), buf, sizeof buf, &got, nullptr) || !got)
                    break;
                output.append(buf, got);
            }
            const auto at = output.rfind("time=");
            if (at != std::string::npos && output.compare(at + 5, 8, "00:00:00") != 0 &&
                output.compare(at + 5, 3, "N/A") != 0) {
                stopping = true;
                firstQ = GetTickCount();
            }
        }
        if (stopping) {
            DWORD written = 0;
            WriteFile(inWrite.get(), "q", 1, &written, nullptr);
        }
    }
    const DWORD ended = GetTickCount();
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(outRead.get(), buf, sizeof buf, &got, nullptr) && got)
        output.append(buf, got);
    printf("stop_ms=%ld\nexit=%lu\n", stopping ? static_cast<long>(ended - firstQ) : -1L,
           static_cast<unsigned long>(code));
    fwrite(output.data(), 1, output.size(), stdout);
    return 0;
}
