#include "engine/ConvertCore.h"
#include "engine/WorkFiles.h"
#include "tests/engine/EngineTestSupport.h"
#include "win/Scoped.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace enginetest;

namespace {

// ---- The task list ----

TEST(TaskList, AddsEachPathOnceExactlyAsWritten) {
    ConvertCore core;
    EXPECT_TRUE(core.init());
    EXPECT_TRUE(core.init());
    EXPECT_TRUE(core.addTask(L"C:\\v\\a.flv"));
    EXPECT_FALSE(core.addTask(L"C:\\v\\a.flv"));
    EXPECT_TRUE(core.addTask(L"C:\\v\\A.flv"));  // case-sensitive
    ASSERT_EQ(core.tasks.size(), 2u);
    EXPECT_EQ(core.tasks[0]->index, 0);
    EXPECT_EQ(core.tasks[1]->index, 1);
    EXPECT_TRUE(core.hasTask(L"C:\\v\\A.flv"));
    EXPECT_FALSE(core.hasTask(L"C:\\v\\b.flv"));

    EXPECT_TRUE(core.clearTasks());
    EXPECT_TRUE(core.tasks.empty());
    EXPECT_FALSE(core.hasTask(L"C:\\v\\a.flv"));
    EXPECT_TRUE(core.addTask(L"C:\\v\\A.flv"));
    EXPECT_EQ(core.tasks[0]->index, 0);
    EXPECT_TRUE(core.uninit());
    EXPECT_TRUE(core.tasks.empty());
}

TEST(TaskList, PercentIsClampedAndOutOfRangeIndexesIgnored) {
    ConvertCore core;
    core.addTask(L"a");
    core.addTask(L"b");
    struct Case {
        int32_t index, percent;
        int32_t first, second;  // both tasks' percent afterwards
    };
    const Case cases[] = {{0, 150, 100, 0}, {0, -5, 0, 0}, {1, 99, 0, 99}, {-1, 50, 0, 99},
                          {2, 50, 0, 99},   {0, 100, 100, 99}};
    for (const Case& c : cases) {
        core.setTaskPercent(c.index, c.percent);
        EXPECT_EQ(core.tasks[0]->percent, c.first) << c.index << " " << c.percent;
        EXPECT_EQ(core.tasks[1]->percent, c.second) << c.index << " " << c.percent;
    }
    EXPECT_EQ(core.countCompleted(), 1);  // 99 is not done
    core.clearTasks();
    EXPECT_EQ(core.countCompleted(), 0);
}

TEST(TaskList, CurrentTaskIsCopiedOnlyWhileThereIsOne) {
    ConvertCore core;
    TaskSnapshot snapshot;
    snapshot.percent = 7;
    EXPECT_FALSE(core.getCurrentTask(snapshot));
    EXPECT_EQ(snapshot.percent, 7);
    core.addTask(L"C:\\v\\a.flv");
    core.tasks[0]->outputPath = L"D:\\a.mp4";
    core.tasks[0]->duration = 83;
    core.tasks[0]->percent = 50;
    core.currentIndex = 0;
    ASSERT_TRUE(core.getCurrentTask(snapshot));
    EXPECT_EQ(snapshot.inputPath, L"C:\\v\\a.flv");
    EXPECT_EQ(snapshot.outputPath, L"D:\\a.mp4");
    EXPECT_EQ(snapshot.duration, 83);
    EXPECT_EQ(snapshot.percent, 50);
    core.clearTasks();
    EXPECT_EQ(core.currentIndex, -1);
    EXPECT_FALSE(core.getCurrentTask(snapshot));
}

// ---- Output names ----

TEST(OutputNames, FolderBackslashFileNameAndExtension) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* input;
        const wchar_t* ext;
        const wchar_t* output;
    };
    const Case cases[] = {
        {L"D:\\out", L"C:\\v\\a.flv", L"mp4", L"D:\\out\\a.mp4"},
        {L"D:\\out", L"C:\\v\\a.b.flv", L"mp4", L"D:\\out\\a.b.mp4"},
        {L"D:\\out", L"C:\\v\\movie", L"mp4", L"D:\\out\\movie.mp4"},
        {L"D:\\out.1", L"C:\\v\\movie", L"mp4", L"D:\\out.1\\movie.mp4"},
        {L"D:\\out", L"C:\\v\\a.", L"mp4", L"D:\\out\\a.mp4"},
        {L"D:\\out", L"C:\\v\\.flv", L"mp4", L"D:\\out\\.mp4"},
        {L"D:\\", L"C:\\v\\a.flv", L"mp4", L"D:\\\\a.mp4"},
        {L"", L"C:\\v\\a.flv", L"mp4", L"\\a.mp4"},
        {L"D:\\out", L"a.flv", L"mp4", L"D:\\out\\a.mp4"},
        {L"D:\\out", L"C:/v/a.flv", L"mp4", L"D:\\out\\C:/v/a.mp4"},
        {L"D:\\out", L"C:\\v\\a.flv", L"", L"D:\\out\\a.flv"},
    };
    ConvertCore core;
    for (const Case& c : cases) {
        core.outputExt = c.ext;
        EXPECT_EQ(core.makeOutputPath(c.input, c.folder), c.output) << utf8(c.folder) << " + " << utf8(c.input);
    }
    EXPECT_EQ(fileNameOf(L"C:\\v\\a.flv"), L"a.flv");
    EXPECT_EQ(fileNameOf(L"a.flv"), L"a.flv");
    EXPECT_EQ(fileNameOf(L"C:\\v\\"), L"");
}

// ---- Whole runs with the test converter, through scripts and cmd.exe ----

class Run : public ::testing::Test {
protected:
    void SetUp() override {
        core_ = std::make_unique<ConvertCore>();
        ASSERT_TRUE(core_->init());
        core_->converterPath = fakeConverterPath();
        core_->outputFolder = temp_.path() + L"\\out";
        core_->outputExt = L"mp4";
        core_->presetParams = L"-vcodec libx264 -crf 25.0";
        CreateDirectoryW(core_->outputFolder.c_str(), nullptr);
        fake_.set(L"FAKECONV_LOG", log());
        fake_.set(L"FAKECONV_PACE_MS", L"50");
    }
    void TearDown() override {
        if (core_)
            core_->waitForWorker();
        for (const std::wstring& name : filesIn(core_ ? core_->outputFolder : temp_.path() + L"\\out", L"*"))
            DeleteFileW((temp_.path() + L"\\out\\" + name).c_str());
        RemoveDirectoryW((temp_.path() + L"\\out").c_str());
    }

    std::wstring log() const { return temp_.file(L"converter.log"); }
    std::wstring source(const std::wstring& name) {
        std::wstring path = temp_.file(name);
        writeFile(path, "FLV source");
        return path;
    }
    std::wstring output(const std::wstring& name) const { return temp_.path() + L"\\out\\" + name; }
    std::vector<int32_t> percents() const {
        std::vector<int32_t> values;
        for (const ConvertTask* task : core_->tasks)
            values.push_back(task->percent);
        return values;
    }
    int conversions() const {
        int n = 0;
        for (const auto& args : loggedCommands(log()))
            n += !args.empty() && args[0] == "-y";
        return n;
    }
    static std::set<std::wstring> workFiles() {
        std::set<std::wstring> names;
        for (const std::wstring& name : filesIn(engine::workFolderPath(), L"mconv*.bat"))
            names.insert(name);
        for (const std::wstring& name : filesIn(engine::applicationDataFolder(), L"mirovex*.txt"))
            names.insert(name);
        return names;
    }
    std::vector<std::wstring> partialsLeft() const { return filesIn(temp_.path() + L"\\out", L"*.partial*"); }

    TempFolder temp_;
    ConverterSettings fake_;
    std::unique_ptr<ConvertCore> core_;
};

class FinishedRun : public ConvertCore {
public:
    void onRunFinished() override { finishedState = runState; }
    LONG finishedState = -1;
};

TEST_F(Run, AnEmptyListCompletesAtOnce) {
    FinishedRun core;
    EXPECT_TRUE(core.start());
    ASSERT_TRUE(waitForRunEnd(core, 10000));
    EXPECT_EQ(core.runState, Completed);
    EXPECT_EQ(core.finishedState, Completed);
    EXPECT_EQ(core.workerThread, nullptr);
    EXPECT_EQ(core.currentIndex, -1);
}

// Three tasks: a new output, an existing one, and one the converter fails to write.
struct OverwriteCase {
    const char* name;
    bool installCallback;
    int32_t answer;
    bool replaced;
};

class ExistingOutput : public Run, public ::testing::WithParamInterface<OverwriteCase> {
protected:
    static int32_t answer(int32_t kind, INT_PTR param) {
        auto* self = reinterpret_cast<ExistingOutput*>(param);
        self->kinds_.push_back(kind);
        TaskSnapshot snapshot;
        if (self->core_->getCurrentTask(snapshot))  // the lock is free while the callback runs
            self->askedFor_.push_back(snapshot.outputPath);
        return GetParam().answer;
    }
    std::vector<int32_t> kinds_;
    std::vector<std::wstring> askedFor_;
};

TEST_P(ExistingOutput, EachTaskEndsByWhetherItsOutputExists) {
    const OverwriteCase& c = GetParam();
    for (const wchar_t* name : {L"a.flv", L"b.flv", L"c.flv"})
        core_->addTask(source(name).c_str());
    writeFile(output(L"b.mp4"), "the user's own b.mp4");
    fake_.set(L"FAKECONV_NO_OUTPUT_FOR", L"c.flv");
    if (c.installCallback) {
        core_->overwriteCallback = &ExistingOutput::answer;
        core_->callbackParam = reinterpret_cast<INT_PTR>(this);
    }

    const std::set<std::wstring> workFilesBefore = workFiles();
    ASSERT_TRUE(core_->start());
    ASSERT_TRUE(waitForRunEnd(*core_));
    EXPECT_EQ(core_->runState, Completed);
    EXPECT_EQ(percents(), (std::vector<int32_t>{100, 100, 0}));
    // Scripts and capture files are gone (others' may come and go meanwhile).
    EXPECT_TRUE(waitUntil(
        [&] {
            for (const std::wstring& name : workFiles())
                if (!workFilesBefore.count(name))
                    return false;
            return true;
        },
        3000));
    EXPECT_EQ(core_->countCompleted(), 2);
    EXPECT_EQ(core_->tasks[1]->outputPath, output(L"b.mp4"));
    EXPECT_EQ(core_->tasks[0]->duration, 2);
    EXPECT_EQ(conversions(), c.replaced ? 3 : 2);
    const std::string b = readFile(output(L"b.mp4"));
    if (c.replaced) {
        EXPECT_EQ(b.rfind("fake mp4 from", 0), 0u) << b;
    } else {
        EXPECT_EQ(b, "the user's own b.mp4");
    }
    EXPECT_TRUE(fileExists(output(L"a.mp4")));
    EXPECT_FALSE(fileExists(output(L"c.mp4")));
    EXPECT_TRUE(partialsLeft().empty());

    if (c.installCallback) {
        EXPECT_EQ(kinds_, std::vector<int32_t>{kOverwriteRequest});
        EXPECT_EQ(askedFor_, std::vector<std::wstring>{output(L"b.mp4")});
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, ExistingOutput,
                         ::testing::Values(OverwriteCase{"answer1", true, 1, true},
                                           OverwriteCase{"answer0", true, 0, false},
                                           OverwriteCase{"answer2", true, 2, false},
                                           OverwriteCase{"noCallback", false, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Run, AnExistingOutputThatCannotBeReadIsStillAskedFor) {
    core_->addTask(source(L"a.flv").c_str());
    writeFile(output(L"a.mp4"), "the user's own a.mp4, held open by another program");
    win::UniqueFile held(CreateFileW(output(L"a.mp4").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    static int asked;
    asked = 0;
    core_->overwriteCallback = [](int32_t, INT_PTR) -> int32_t { return ++asked, 0; };
    ASSERT_TRUE(core_->start());
    ASSERT_TRUE(waitForRunEnd(*core_));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(conversions(), 0);
    EXPECT_EQ(percents(), std::vector<int32_t>{0});  // unreadable: not counted as done
    held.reset();
    EXPECT_EQ(readFile(output(L"a.mp4")), "the user's own a.mp4, held open by another program");
}

TEST_F(Run, AnOutputThatIsItsOwnSourceIsLeftAlone) {
    // Once as the same text, once as another text naming the same file.
    const std::wstring clip = output(L"clip.mp4");
    writeFile(clip, "source that is already an mp4");
    struct Case {
        const char* name;
        std::wstring folder;
    };
    std::wstring folderOtherCase = core_->outputFolder;
    folderOtherCase.replace(folderOtherCase.size() - 3, 3, L"OUT");
    const Case cases[] = {{"same text", core_->outputFolder}, {"other case", folderOtherCase},
                          {"doubled backslash", core_->outputFolder + L"\\"}};
    for (const Case& c : cases) {
        core_->clearTasks();
        core_->outputFolder = c.folder;
        core_->addTask(clip.c_str());
        ASSERT_TRUE(core_->start());
        ASSERT_TRUE(waitForRunEnd(*core_)) << c.name;
        EXPECT_EQ(percents(), std::vector<int32_t>{100}) << c.name;
        EXPECT_EQ(readFile(clip), "source that is already an mp4") << c.name;
    }
    EXPECT_EQ(loggedCommands(log()).size(), 0u);
}

TEST_F(Run, PercentFollowsTheConverterAndFailuresEndAtZero) {
    struct Case {
        const char* name;
        const wchar_t* stream;
        const wchar_t* split;
        const wchar_t* duration;
        const wchar_t* writeOutput;
        bool showsProgress;
        int32_t result;
    };
    const Case cases[] = {
        {"records on stderr", L"err", L"0", L"00:00:02.00", L"1", true, 100},
        {"records on stdout split inside the field", L"out", L"1", L"00:00:02.00", L"1", true, 100},
        {"no duration: no running percentage", L"err", L"0", L"none", L"1", false, 100},
        {"converter writes nothing", L"err", L"0", L"00:00:02.00", L"0", true, 0},
    };
    fake_.set(L"FAKECONV_PACE_MS", L"350");
    fake_.set(L"FAKECONV_TIMES", L"0.5,1,1.5,2");
    for (const Case& c : cases) {
        fake_.set(L"FAKECONV_STREAM", c.stream);
        fake_.set(L"FAKECONV_SPLIT", c.split);
        fake_.set(L"FAKECONV_DURATION", c.duration);
        fake_.set(L"FAKECONV_OUTPUT", c.writeOutput);
        core_->clearTasks();
        DeleteFileW(output(L"a.mp4").c_str());
        core_->addTask(source(L"a.flv").c_str());
        ASSERT_TRUE(core_->start());
        std::vector<int32_t> seen;
        waitUntil(
            [&] {
                TaskSnapshot snapshot;
                if (core_->runState == Running && core_->getCurrentTask(snapshot) &&
                    (seen.empty() || seen.back() != snapshot.percent))
                    seen.push_back(snapshot.percent);
                return core_->runState > StopRequested;
            },
            60000);
        ASSERT_TRUE(waitForRunEnd(*core_)) << c.name;
        bool between = false;
        for (int32_t p : seen)
            between |= p > 0 && p < 100;
        EXPECT_EQ(between, c.showsProgress) << c.name;
        EXPECT_EQ(percents(), std::vector<int32_t>{c.result}) << c.name;
        EXPECT_EQ(core_->runState, Completed) << c.name;
    }
}

TEST_F(Run, PercentSignsInPathsAndParametersReachTheConverter) {
    // A '%' needs doubling in a batch script; arrival is checked in the
    // converter's own view of its arguments.
    // The converter itself in a folder with '%' in its name.
    const std::wstring tools = temp_.file(L"tools %PATH% 100%");
    CreateDirectoryW(tools.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(fakeConverterPath().c_str(), (tools + L"\\mirovex.exe").c_str(), FALSE));
    core_->converterPath = tools + L"\\mirovex.exe";
    const std::wstring percentSource = source(L"100% a%PATH%b.flv");
    core_->presetParams = L"-vf scale=50% -crf 25.0";
    core_->addTask(percentSource.c_str());
    ASSERT_TRUE(core_->start());
    ASSERT_TRUE(waitForRunEnd(*core_));
    EXPECT_EQ(percents(), std::vector<int32_t>{100});
    EXPECT_TRUE(fileExists(output(L"100% a%PATH%b.mp4")));
    auto commands = loggedCommands(log());
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], (std::vector<std::string>{"-i", utf8(percentSource)}));
    ASSERT_EQ(commands[1].size(), 8u);
    EXPECT_EQ(commands[1][2], utf8(percentSource));
    EXPECT_EQ(commands[1][3], "-vf");
    EXPECT_EQ(commands[1][4], "scale=50%");
    EXPECT_EQ(commands[1][7].rfind(utf8(output(L"100% a%PATH%b.partial")), 0), 0u) << commands[1][7];
    DeleteFileW((tools + L"\\mirovex.exe").c_str());
    RemoveDirectoryW(tools.c_str());
}

TEST_F(Run, WideTextInPathsAsWineDeliversIt) {
    // Real Windows 10/11 cmd.exe decodes the lines after "chcp 65001" as
    // UTF-8, so the path arrives unchanged. Wine's cmd.exe reads batch files
    // in code page 437 whatever chcp says: the converter gets the CP437
    // reading of the UTF-8 bytes, finds no such source, and the task ends at 0.
    const std::wstring wide = source(L"\u00FC-\u65E5\u672C.flv");
    core_->addTask(wide.c_str());
    ASSERT_TRUE(core_->start());
    ASSERT_TRUE(waitForRunEnd(*core_));
    auto commands = loggedCommands(log());
    ASSERT_FALSE(commands.empty());
    ASSERT_EQ(commands[0].size(), 2u);
    if (!runningUnderWine()) {
        EXPECT_EQ(commands[0][1], utf8(wide));
        EXPECT_EQ(percents(), std::vector<int32_t>{100});
        return;
    }
    std::wstring asCp437;
    const std::string bytes = utf8(wide);
    std::wstring decoded(bytes.size(), L'\0');
    decoded.resize(MultiByteToWideChar(437, 0, bytes.data(), static_cast<int>(bytes.size()), decoded.data(),
                                       static_cast<int>(decoded.size())));
    EXPECT_EQ(commands[0][1], utf8(decoded));
    EXPECT_EQ(percents(), std::vector<int32_t>{0});
    EXPECT_TRUE(filesIn(core_->outputFolder, L"*").empty());
}

// ---- Stopping ----

class Stop : public Run {
protected:
    // Runs `tasks` sources and stops once `ready` holds; returns how long stop took.
    template <typename F>
    double startAndStop(int tasks, F ready) {
        for (int i = 0; i < tasks; ++i)
            core_->addTask(source(L"s" + std::to_wstring(i) + L".flv").c_str());
        EXPECT_TRUE(core_->start());
        EXPECT_TRUE(waitUntil(ready, 30000));
        const double before = nowMs();
        core_->stop();
        return nowMs() - before;
    }
    bool converting(int task) const {
        return countLines(log(), "record") > 0 && core_->currentIndex == task;
    }
    // Every stop test ends: Stopped, and the tasks never reached untouched.
    void expectStoppedAt(int task) {
        ASSERT_TRUE(waitForRunEnd(*core_));
        EXPECT_EQ(core_->runState, Stopped);
        for (size_t i = task + 1; i < core_->tasks.size(); ++i) {
            EXPECT_EQ(core_->tasks[i]->percent, 0);
            EXPECT_TRUE(core_->tasks[i]->outputPath.empty());
        }
        EXPECT_TRUE(partialsLeft().empty());
    }
};

TEST_F(Stop, StopWhileIdleOrAfterTheRunChangesNothing) {
    double before = nowMs();
    core_->stop();
    EXPECT_GE(nowMs() - before, 850);
    EXPECT_EQ(core_->runState, Idle);
    ASSERT_TRUE(core_->start());
    ASSERT_TRUE(waitForRunEnd(*core_));
    before = nowMs();
    core_->stop();
    EXPECT_LT(nowMs() - before, 800);
    EXPECT_EQ(core_->runState, Completed);
}

TEST_F(Stop, DuringTheProbe) {
    fake_.set(L"FAKECONV_PROBE_MS", L"2500");
    const double took =
        startAndStop(2, [&] { return loggedCommands(log()).size() == 1 && core_->currentIndex == 0; });
    EXPECT_GE(took, 80);
    EXPECT_LE(took, 2500);
    expectStoppedAt(0);
    // The converting step still ran and was asked to quit at once; what it
    // left is not taken for a converted file.
    EXPECT_EQ(core_->tasks[0]->percent, 0);
    EXPECT_FALSE(fileExists(output(L"s0.mp4")));
}

TEST_F(Stop, DuringTheConversionOfAFirstAndOfTheLastTask) {
    fake_.set(L"FAKECONV_TIMES", L"0.5,1,1.5,2,2.5,3,3.5,4,4.5,5,5.5,6,6.5,7,7.5,8");
    fake_.set(L"FAKECONV_DURATION", L"00:00:08.00");
    fake_.set(L"FAKECONV_PACE_MS", L"250");
    for (int last : {0, 1}) {
        SCOPED_TRACE(last ? "last task" : "first of two");
        core_->clearTasks();
        DeleteFileW(log().c_str());
        if (last)
            writeFile(output(L"s0.mp4"), "kept");  // no callback: task 0 is kept and counts as done
        const double took = startAndStop(2, [&] { return converting(last); });
        EXPECT_GE(took, 80);
        EXPECT_LE(took, 2500);  // about one second at most, with room for a busy machine
        expectStoppedAt(last);
        EXPECT_EQ(countLines(log(), "quit"), 1);
        EXPECT_EQ(countLines(log(), "end"), 0);
        EXPECT_EQ(core_->tasks[last]->percent, 0);
        EXPECT_FALSE(fileExists(output(L"s" + std::to_wstring(last) + L".mp4")));
        if (last) {
            EXPECT_EQ(core_->tasks[0]->percent, 100);
        }
        DeleteFileW(output(L"s0.mp4").c_str());
    }
}

TEST_F(Stop, AStoppedReplacementKeepsTheUsersFile) {
    fake_.set(L"FAKECONV_TIMES", L"0.5,1,1.5,2,2.5,3,3.5,4,4.5,5,5.5,6");
    fake_.set(L"FAKECONV_PACE_MS", L"250");
    writeFile(output(L"s0.mp4"), "the user's own s0.mp4");
    core_->overwriteCallback = [](int32_t, INT_PTR) -> int32_t { return 1; };
    startAndStop(1, [&] { return converting(0); });
    expectStoppedAt(0);
    EXPECT_EQ(readFile(output(L"s0.mp4")), "the user's own s0.mp4");
    EXPECT_EQ(core_->tasks[0]->percent, 100);
}

// A converter that needs 3 s to honour "q": stop returns after about a
// second with the run still StopRequested; what comes next waits for it.
TEST_F(Stop, ASlowQuitIsWaitedForByTheNextRunAndByDestruction) {
    std::wstring times;
    for (int i = 1; i <= 60; ++i)
        times += (i > 1 ? L"," : L"") + std::to_wstring(i * 0.25);
    fake_.set(L"FAKECONV_TIMES", times);
    fake_.set(L"FAKECONV_DURATION", L"00:00:15.00");
    fake_.set(L"FAKECONV_PACE_MS", L"250");
    fake_.set(L"FAKECONV_QUIT_DELAY_MS", L"3000");
    for (int round = 0; round < 2; ++round) {
        for (bool destroy : {false, true}) {
            SCOPED_TRACE(std::string(destroy ? "destruction" : "clearTasks and start") + ", round " +
                         std::to_string(round));
            if (!core_) {
                core_ = std::make_unique<ConvertCore>();
                core_->converterPath = fakeConverterPath();
                core_->outputFolder = temp_.path() + L"\\out";
                core_->outputExt = L"mp4";
            }
            DeleteFileW(log().c_str());
            const double took = startAndStop(1, [&] { return converting(0); });
            EXPECT_GE(took, 850);
            EXPECT_LE(took, 2500);
            EXPECT_EQ(core_->runState, StopRequested);

            const double before = nowMs();
            if (destroy) {
                core_.reset();
            } else {
                // Fresh settings while the old worker finishes: it keeps its own.
                core_->presetParams = std::wstring(1000, L'x');
                core_->clearTasks();
                EXPECT_EQ(core_->runState, Stopped);
                core_->presetParams = L"-crf 25.0";
            }
            EXPECT_GE(nowMs() - before, 500);
            EXPECT_EQ(countLines(log(), "quit"), 1);
            if (!destroy) {
                fake_.set(L"FAKECONV_QUIT_DELAY_MS", L"0");
                fake_.set(L"FAKECONV_TIMES", L"1");
                core_->addTask(source(L"next.flv").c_str());
                ASSERT_TRUE(core_->start());
                ASSERT_TRUE(waitForRunEnd(*core_));
                EXPECT_EQ(core_->runState, Completed);
                EXPECT_EQ(percents(), std::vector<int32_t>{100});
                core_->clearTasks();
                fake_.set(L"FAKECONV_QUIT_DELAY_MS", L"3000");
                fake_.set(L"FAKECONV_TIMES", times);
            }
        }
    }
}

}  // namespace
