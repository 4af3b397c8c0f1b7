#include "engine/ConvertCore.h"
#include "engine/WorkFiles.h"
#include "tests/engine/EngineTestSupport.h"
#include "win/Scoped.h"

#include <gtest/gtest.h>

#include <set>

using namespace enginetest;

namespace {

TEST(ScriptText, IsTheCommandBetweenChcpAndTheSelfDelete) {
    struct Case {
        const char* name;
        const wchar_t* params;  // null with a null output: probing script
        const wchar_t* input;
        const wchar_t* output;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"converting", L"-crf 25.0 -vcodec libx264", L"C:\\v\\a.flv", L"D:\\out\\a.mp4",
         L"chcp 65001\r\n\r\n\"C:\\App\\core\\mirovex.exe\" -y -i \"C:\\v\\a.flv\" -crf 25.0 -vcodec libx264 "
         L"\"D:\\out\\a.mp4\"\r\n\r\ndel \"C:\\w\\mconv1.bat\""},
        {"probing", nullptr, L"C:\\v\\a.flv", nullptr,
         L"chcp 65001\r\n\r\n\"C:\\App\\core\\mirovex.exe\" -i \"C:\\v\\a.flv\"\r\n\r\ndel \"C:\\w\\mconv1.bat\""},
        {"empty parameters leave two spaces", L"", L"C:\\v\\a.flv", L"D:\\o.mp4",
         L"chcp 65001\r\n\r\n\"C:\\App\\core\\mirovex.exe\" -y -i \"C:\\v\\a.flv\"  \"D:\\o.mp4\"\r\n\r\ndel "
         L"\"C:\\w\\mconv1.bat\""},
        {"percent doubled everywhere", L"-vf scale=50%", L"C:\\v\\100%.flv", L"D:\\%out%\\a.mp4",
         L"chcp 65001\r\n\r\n\"C:\\App\\core\\mirovex.exe\" -y -i \"C:\\v\\100%%.flv\" -vf scale=50%% "
         L"\"D:\\%%out%%\\a.mp4\"\r\n\r\ndel \"C:\\w\\mconv1.bat\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::scriptText(L"C:\\App\\core\\mirovex.exe", c.params, c.input, c.output, L"C:\\w\\mconv1.bat"),
                  c.text)
            << c.name;
}

TEST(WorkFileNames, CarryTheTickCountAsASigned32BitNumber) {
    EXPECT_EQ(engine::scriptBaseName(L"C:\\w", 3000000000u), L"C:\\w\\mconv-1294967296");
    EXPECT_EQ(engine::scriptBaseName(L"C:\\w", 1234), L"C:\\w\\mconv1234");
    // Long folders are neither cut nor overrun.
    const std::wstring deep = L"C:\\" + std::wstring(400, L'd');
    EXPECT_EQ(engine::scriptBaseName(deep, 7), deep + L"\\mconv7");
}

TEST(WorkFileNames, AFreshFileNeverTakesAnExistingName) {
    TempFolder temp;
    writeFile(temp.file(L"mirovex-1294967296.txt"), "another run's capture");
    writeFile(temp.file(L"mirovex-1294967295.txt"), "and another");
    HANDLE file = INVALID_HANDLE_VALUE;
    const std::wstring path = engine::createFreshFile(temp.path(), L"mirovex", L".txt", 3000000000u, file);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(path, temp.file(L"mirovex-1294967294.txt"));
    EXPECT_EQ(readFile(temp.file(L"mirovex-1294967296.txt")), "another run's capture");
    EXPECT_EQ(readFile(temp.file(L"mirovex-1294967295.txt")), "and another");

    // A name the platform cannot use fails whole: nothing cut, nothing made.
    const std::wstring deep = temp.path() + L"\\" + std::wstring(300, L'd');
    EXPECT_TRUE(engine::createFreshFile(deep, L"mconv", L".bat", 1, file).empty());
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(filesIn(temp.path(), L"*").size(), 3u);
}

TEST(WorkFileNames, PartialOutputKeepsTheExtensionLast) {
    struct Case {
        const wchar_t* output;
        const wchar_t* partial;
    };
    const Case cases[] = {
        {L"D:\\out\\a.mp4", L"D:\\out\\a.partial5.mp4"},
        {L"D:\\out\\a.b.mp4", L"D:\\out\\a.b.partial5.mp4"},
        {L"D:\\out.1\\movie", L"D:\\out.1\\movie.partial5"},
        {L"D:\\out\\.mp4", L"D:\\out\\.partial5.mp4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::partialOutputPath(c.output, 5), c.partial);
}

TEST(WriteScript, WritesUtf8WithCrLfNoBomAndNoFinalLineEnd) {
    ConvertCore core;
    core.converterPath = L"C:\\App\\core\\mirovex.exe";
    const std::wstring path = core.writeScript(L"-crf 25.0", L"C:\\v\\ü-日本 100%.flv", L"D:\\out\\ü.mp4");
    ASSERT_FALSE(path.empty());
    const std::string bytes = readFile(path);
    DeleteFileW(path.c_str());

    const std::wstring folder = engine::workFolderPath();
    EXPECT_EQ(path.rfind(folder + L"\\mconv", 0), 0u) << utf8(path);
    EXPECT_EQ(path.substr(path.size() - 4), L".bat");
    EXPECT_EQ(folder.substr(folder.size() - 16), L"\\Media Converter");
    const std::string expected = "chcp 65001\r\n\r\n\"C:\\App\\core\\mirovex.exe\" -y -i \"C:\\v\\\xC3\xBC-\xE6\x97\xA5"
                                 "\xE6\x9C\xAC 100%%.flv\" -crf 25.0 \"D:\\out\\\xC3\xBC.mp4\"\r\n\r\ndel \"" +
                                 utf8(path) + "\"";
    EXPECT_EQ(bytes, expected);
}

TEST(RunProcess, AnEmptyCommandLineStartsNothing) {
    ConvertCore core;
    core.runState = Running;
    const double before = nowMs();
    EXPECT_FALSE(core.runProcess(L""));
    EXPECT_LT(nowMs() - before, 200);
    std::string text = "kept";
    EXPECT_FALSE(core.runProcess2(L"", &text));
    EXPECT_EQ(text, "kept");
}

// runProcess on a thread of its own, so that a hang fails the test instead.
struct RunProcessCall {
    ConvertCore* core;
    const std::wstring* script;
    bool result = false;
    static DWORD WINAPI run(LPVOID p) {
        auto* c = static_cast<RunProcessCall*>(p);
        c->result = c->core->runProcess(c->script->c_str());
        return 0;
    }
};

// The runner waits on the child, never on a read: a converter that has gone
// silent cannot hold the worker past the child's end.
TEST(RunProcess, ReturnsWhenASilentChildEnds) {
    TempFolder temp;
    ConverterSettings fake;
    fake.set(L"FAKECONV_PROBE_MS", L"1200");  // prints its header, then is silent
    const std::wstring source = temp.file(L"a.flv");
    writeFile(source, "FLV");
    ConvertCore core;
    core.converterPath = fakeConverterPath();
    const std::wstring script = core.writeScript(nullptr, source.c_str(), nullptr);
    ASSERT_FALSE(script.empty());
    core.runState = Running;
    core.parsingProgress = true;

    RunProcessCall call{&core, &script};
    win::UniqueHandle thread(CreateThread(nullptr, 0, RunProcessCall::run, &call, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    ASSERT_EQ(WaitForSingleObject(thread.get(), 20000), WAIT_OBJECT_0) << "runProcess did not return";
    EXPECT_TRUE(call.result);
    EXPECT_FALSE(fileExists(script));  // the script deleted itself
}

// mirovex*.txt files in the application-data folder that are not in `before`,
// once other processes' probes have had time to remove their own.
std::set<std::wstring> leftCaptureFiles(const std::set<std::wstring>& before) {
    std::set<std::wstring> left;
    waitUntil(
        [&] {
            left.clear();
            for (const std::wstring& name : filesIn(engine::applicationDataFolder(), L"mirovex*.txt"))
                if (!before.count(name))
                    left.insert(name);
            return left.empty();
        },
        3000);
    return left;
}

TEST(RunProcess2, ReturnsTheWholeCaptureAndDeletesIt) {
    TempFolder temp;
    struct Case {
        const char* name;
        int bytes;  // written to standard error by the script
    };
    const Case cases[] = {{"nothing on stderr", 0}, {"600 bytes: pieces of 256, 256 and 88", 600}};
    for (const Case& c : cases) {
        // A script that types a file of known bytes to its standard error.
        std::string payload;
        for (int i = 0; i < c.bytes; ++i)
            payload += static_cast<char>('a' + i % 26);
        writeFile(temp.file(L"payload.txt"), payload);
        const std::wstring script = temp.file(L"probe.bat");
        writeFile(script, "@echo off\r\ntype \"" + utf8(temp.file(L"payload.txt")) + "\" 1>&2\r\necho not captured");

        std::set<std::wstring> before;
        for (const std::wstring& name : filesIn(engine::applicationDataFolder(), L"mirovex*.txt"))
            before.insert(name);
        ConvertCore core;
        core.runState = Running;
        std::string text = "stale";
        EXPECT_TRUE(core.runProcess2(script.c_str(), &text)) << c.name;
        EXPECT_EQ(text, payload) << c.name;
        EXPECT_TRUE(leftCaptureFiles(before).empty()) << c.name;
    }
}

}  // namespace
