// fake_converter.exe: a test-only stand-in for the converter (never shipped).
// It speaks the two commands the engine gives the converter and prints what
// the engine reads, steered by environment variables:
//
//   "<this>" -i "<input>"                 probe: prints a "Duration:" line to stderr
//   "<this>" -y -i "<input>" ... "<out>"  convert: prints "time=" records, writes <out>,
//                                         quits on "q" from its standard input
//
//   FAKECONV_DURATION       text after "Duration: " (default 00:00:02.00); "none": no such line
//   FAKECONV_PROBE_MS       how long the probe takes before it ends (default 0)
//   FAKECONV_TIMES          comma-separated seconds of the "time=" records (default 0.5,1,1.5,2)
//   FAKECONV_PACE_MS        pause before each record (default 100)
//   FAKECONV_STREAM         "out" or "err": where the records go (default err, as FFmpeg)
//   FAKECONV_SPLIT          "1": write each record in two pieces, split inside its time field
//   FAKECONV_OUTPUT         "0": never create the output file
//   FAKECONV_NO_OUTPUT_FOR  no output for an input whose path contains this text
//   FAKECONV_QUIT_DELAY_MS  how long it goes on after the first "q" (default 0)
//   FAKECONV_EXIT           exit code of a conversion that was not stopped (default 0)
//   FAKECONV_CHECK_INPUT    "0": do not insist that the input exists (default: a missing
//                           input prints "No such file or directory" and exits 1, no output)
//   FAKECONV_LOG            file that receives one UTF-8 line per event, appended:
//                             args<TAB>arg1<TAB>arg2...   (every start, both commands)
//                             record <microseconds> <seconds>   (just before a record is written)
//                             quit <q bytes seen>   (when it ends on "q")
//                             end                   (when it ends after its last record)
//                           microseconds are QueryPerformanceCounter time, shared by all
//                           processes of the machine.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring env(const wchar_t* name, const wchar_t* fallback = L"") {
    wchar_t value[4096];
    DWORD n = GetEnvironmentVariableW(name, value, 4096);
    if (n == 0 || n >= 4096)
        return fallback;
    return value;
}

long envNumber(const wchar_t* name, long fallback) {
    std::wstring v = env(name);
    return v.empty() ? fallback : wcstol(v.c_str(), nullptr, 10);
}

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), n, nullptr, nullptr);
    return out;
}

long long microseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000000 / frequency.QuadPart;
}

void logLine(const std::string& line) {
    std::wstring path = env(L"FAKECONV_LOG");
    if (path.empty())
        return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr);
    CloseHandle(file);
}

void put(HANDLE stream, const std::string& text) {
    DWORD written = 0;
    WriteFile(stream, text.data(), (DWORD)text.size(), &written, nullptr);
}

std::atomic<int> g_quitBytes{0};
std::atomic<long long> g_firstQuit{0};

DWORD WINAPI readStdin(LPVOID) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char byte;
    DWORD got = 0;
    while (ReadFile(in, &byte, 1, &got, nullptr) && got == 1) {
        if (byte == 'q') {
            long long expected = 0;
            g_firstQuit.compare_exchange_strong(expected, microseconds());
            ++g_quitBytes;
        }
    }
    return 0;
}

// True once a "q" has come and the quit delay has run out.
bool quitting() {
    long long first = g_firstQuit.load();
    return first != 0 && microseconds() - first >= envNumber(L"FAKECONV_QUIT_DELAY_MS", 0) * 1000;
}

std::string timeField(double seconds) {
    char text[64];
    int h = (int)(seconds / 3600);
    int m = (int)((seconds - h * 3600) / 60);
    double s = seconds - h * 3600 - m * 60;
    snprintf(text, sizeof text, "%02d:%02d:%05.2f", h, m, s);
    return text;
}

std::vector<double> recordTimes() {
    std::vector<double> times;
    std::string list = utf8(env(L"FAKECONV_TIMES", L"0.5,1,1.5,2"));
    size_t pos = 0;
    while (pos < list.size()) {
        size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        times.push_back(atof(list.substr(pos, comma - pos).c_str()));
        pos = comma + 1;
    }
    return times;
}

int convert(const std::wstring& input, const std::wstring& output) {
    HANDLE stream = GetStdHandle(env(L"FAKECONV_STREAM") == L"out" ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    HANDLE reader = CreateThread(nullptr, 0, readStdin, nullptr, 0, nullptr);
    if (reader)
        CloseHandle(reader);

    std::wstring noOutputFor = env(L"FAKECONV_NO_OUTPUT_FOR");
    bool writeOutput = env(L"FAKECONV_OUTPUT") != L"0" &&
                       (noOutputFor.empty() || input.find(noOutputFor) == std::wstring::npos);
    HANDLE out = INVALID_HANDLE_VALUE;
    if (writeOutput) {
        out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE)
            put(out, "fake mp4 from " + utf8(input) + "\n");
    }
    put(stream, "Stream mapping:\n  Stream #0:0 -> #0:0 (flv1 (flv) -> h264 (libx264))\nPress [q] to stop\n");

    const long pace = envNumber(L"FAKECONV_PACE_MS", 100);
    const bool split = env(L"FAKECONV_SPLIT") == L"1";
    int frame = 0;
    bool stopped = false;
    for (double seconds : recordTimes()) {
        for (long waited = 0; waited < pace && !stopped; waited += 10) {
            Sleep(10);
            stopped = quitting();
        }
        if (stopped || (stopped = quitting()))
            break;
        frame += 12;
        char head[96];
        snprintf(head, sizeof head, "frame=%5d fps= 24 q=28.0 size=%8dkB time=", frame, frame * 3);
        std::string record = head + timeField(seconds) + " bitrate= 512.0kbits/s speed=1.0x    \r";
        logLine("record " + std::to_string(microseconds()) + " " + std::to_string(seconds));
        if (split) {
            size_t cut = record.find("time=") + 8;
            put(stream, record.substr(0, cut));
            Sleep(30);
            put(stream, record.substr(cut));
        } else {
            put(stream, record);
        }
    }
    if (out != INVALID_HANDLE_VALUE) {
        put(out, stopped ? "stopped\n" : "complete\n");
        CloseHandle(out);
    }
    if (stopped) {
        put(stream, "\n[q] command received. Exiting.\n");
        logLine("quit " + std::to_string(g_quitBytes.load()));
        return 0;
    }
    logLine("end");
    return (int)envNumber(L"FAKECONV_EXIT", 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string args = "args";
    for (int i = 1; i < argc; ++i)
        args.append(1, '\t').append(utf8(argv[i]));
    logLine(args);

    std::wstring input, output;
    bool overwrite = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"-i" && i + 1 < argc)
            input = argv[++i];
        else if (arg == L"-y")
            overwrite = true;
    }
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    put(err, "mirovex version 5.1 Copyright (c) the FFmpeg developers\n");
    if (env(L"FAKECONV_CHECK_INPUT") != L"0" && GetFileAttributesW(input.c_str()) == INVALID_FILE_ATTRIBUTES) {
        put(err, utf8(input) + ": No such file or directory\n");
        return 1;
    }
    put(err, "Input #0, flv, from '" + utf8(input) + "':\n");
    if (!overwrite) {
        std::wstring duration = env(L"FAKECONV_DURATION", L"00:00:02.00");
        if (duration != L"none")
            put(err, "  Duration: " + utf8(duration) + ", start: 0.000000, bitrate: 512 kb/s\n");
        put(err, "  Stream #0:0: Video: flv1, yuv420p, 320x240, 24 fps\n");
        Sleep((DWORD)envNumber(L"FAKECONV_PROBE_MS", 0));
        put(err, "At least one output file must be specified\n");
        return 1;
    }
    output = argv[argc - 1];
    return convert(input, output);
}
