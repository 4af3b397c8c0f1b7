// engine_bench: what the engine costs per file over the converter alone, and
// how far the shown percentage lags behind the converter's records.
//
// The job: the test converter (build/<tree>/tests/fake_converter.exe) prints
// ten "time=" records of a 10 s source, 50 ms apart: half a second per file.
//   1. converter alone: the converting command started directly, N times;
//   2. engine: ConvertCore converts N such files (probe script, converting
//      script, cmd.exe, 300 ms polls, output check), timed from start to the
//      end of the run, while this thread samples the current task every 5 ms.
// Lag: for each record the converter logged (with its time of writing), the
// first sample of that task showing at least the record's percentage (the
// final 100 of a file included). Measured on the same run, and on a longer
// job (30 records 100 ms apart) where a file sees many polls.
#include "engine/ConvertCore.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

long long microseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000000 / frequency.QuadPart;
}

std::wstring folderOfSelf() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.rfind(L'\\'));
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

std::string readFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    char piece[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0)
        bytes.append(piece, got);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return bytes;
}

// Runs one command line and waits for it.
void runDirect(std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        fprintf(stderr, "cannot start the converter\n");
        return;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

struct Sample {
    long long at;
    int32_t index;
    int32_t percent;
};


struct EngineRun {
    double seconds = 0;
    int converted = 0;
    std::vector<double> lags;  // ms
    int unseen = 0;
};

// Converts `sources` with the engine while sampling the current task.
EngineRun runEngine(const std::wstring& converter, const std::vector<std::wstring>& sources, const std::wstring& out,
                    const std::wstring& log, int32_t duration) {
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"FAKECONV_LOG", log.c_str());
    ConvertCore core;
    core.init();
    core.converterPath = converter;
    core.outputFolder = out;
    core.outputExt = L"mp4";
    core.presetParams = L"-crf 25.0";
    for (const std::wstring& source : sources)
        core.addTask(source.c_str());
    std::vector<Sample> samples;
    EngineRun run;
    const long long begin = microseconds();
    core.start();
    while (core.runState <= StopRequested) {
        TaskSnapshot snapshot;
        if (core.getCurrentTask(snapshot) &&
            (samples.empty() || samples.back().index != snapshot.index || samples.back().percent != snapshot.percent))
            samples.push_back({microseconds(), snapshot.index, snapshot.percent});
        Sleep(5);
    }
    run.seconds = (microseconds() - begin) / 1e6;
    core.waitForWorker();
    run.converted = core.countCompleted();
    SetEnvironmentVariableW(L"FAKECONV_LOG", nullptr);

    int index = -1;
    const std::string text = readFile(log);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (line.rfind("args\t-y", 0) == 0)
            ++index;
        long long at = 0;
        double seconds = 0;
        if (sscanf(line.c_str(), "record %lld %lf", &at, &seconds) != 2)
            continue;
        const int32_t expected = (int32_t)(seconds * 100 / duration);
        auto shown = std::find_if(samples.begin(), samples.end(),
                                  [&](const Sample& s) { return s.index == index && s.percent >= expected; });
        if (shown == samples.end())
            ++run.unseen;
        else
            run.lags.push_back(std::max(0.0, (shown->at - at) / 1000.0));
    }
    std::sort(run.lags.begin(), run.lags.end());
    return run;
}

void printLag(const char* title, const EngineRun& run) {
    auto quantile = [&](double q) { return run.lags.empty() ? 0.0 : run.lags[(size_t)(q * (run.lags.size() - 1))]; };
    double mean = 0;
    for (double l : run.lags)
        mean += l / run.lags.size();
    int withinPoll = 0;
    for (double l : run.lags)
        withinPoll += l <= 300.0;
    printf("%s: %zu records, %d never shown; mean %.0f ms, median %.0f ms, p90 %.0f ms, max %.0f ms; "
           "%d within 300 ms\n",
           title, run.lags.size(), run.unseen, mean, quantile(0.5), quantile(0.9),
           run.lags.empty() ? 0.0 : run.lags.back(), withinPoll);
}

std::wstring recordList(int count, int step) {
    std::wstring list;
    for (int i = 1; i <= count; ++i)
        list += (i > 1 ? L"," : L"") + std::to_wstring(i * step);
    return list;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int files = argc > 1 ? _wtoi(argv[1]) : 10;
    const std::wstring converter = folderOfSelf() + L"\\..\\tests\\fake_converter.exe";
    wchar_t tempBuffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, tempBuffer);
    const std::wstring folder = std::wstring(tempBuffer) + L"quandril-bench-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring out = folder + L"\\out";
    const std::wstring log = folder + L"\\converter.log";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(out.c_str(), nullptr);

    // The half-second job: ten records of a 10 s source, 50 ms apart.
    SetEnvironmentVariableW(L"FAKECONV_TIMES", recordList(10, 1).c_str());
    SetEnvironmentVariableW(L"FAKECONV_PACE_MS", L"50");
    SetEnvironmentVariableW(L"FAKECONV_DURATION", L"00:00:10.00");

    std::vector<std::wstring> sources;
    for (int i = 0; i < files; ++i) {
        sources.push_back(folder + L"\\clip" + std::to_wstring(i) + L".flv");
        writeFile(sources.back(), "FLV");
    }

    // 1. The converter alone, then 2. the engine, in one run side by side.
    long long begin = microseconds();
    for (int i = 0; i < files; ++i)
        runDirect(L"\"" + converter + L"\" -y -i \"" + sources[i] + L"\" -crf 25.0 \"" + out + L"\\direct" +
                  std::to_wstring(i) + L".mp4\"");
    const double alone = (microseconds() - begin) / 1e6;
    const EngineRun engine = runEngine(converter, sources, out, log, 10);
    for (int i = 0; i < files; ++i)
        DeleteFileW((out + L"\\clip" + std::to_wstring(i) + L".mp4").c_str());

    // 3. A longer job for the lag: 30 records of a 30 s source, 100 ms apart.
    SetEnvironmentVariableW(L"FAKECONV_TIMES", recordList(30, 1).c_str());
    SetEnvironmentVariableW(L"FAKECONV_PACE_MS", L"100");
    SetEnvironmentVariableW(L"FAKECONV_DURATION", L"00:00:30.00");
    const std::vector<std::wstring> few(sources.begin(), sources.begin() + std::min(files, 3));
    const EngineRun longer = runEngine(converter, few, out, log, 30);

    printf("\nfiles: %d, job: 10 records 50 ms apart (0.5 s)\n", files);
    printf("converter alone : %7.3f s total, %6.3f s per file\n", alone, alone / files);
    printf("engine          : %7.3f s total, %6.3f s per file (%d of %d converted)\n", engine.seconds,
           engine.seconds / files, engine.converted, files);
    printf("overhead        : %6.3f s per file, ratio engine/alone %.2f\n", (engine.seconds - alone) / files,
           engine.seconds / alone);
    printLag("lag, 0.5 s job ", engine);
    printLag("lag, 3 s job   ", longer);

    for (const std::wstring& source : sources)
        DeleteFileW(source.c_str());
    for (int i = 0; i < files; ++i) {
        DeleteFileW((out + L"\\direct" + std::to_wstring(i) + L".mp4").c_str());
        DeleteFileW((out + L"\\clip" + std::to_wstring(i) + L".mp4").c_str());
    }
    DeleteFileW(log.c_str());
    RemoveDirectoryW(out.c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}
