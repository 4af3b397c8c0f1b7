// The main dialog, run from its real templates and driven as a person would.
#include "ui/MainDialog.h"

#include "app/AppGlobals.h"
#include "app/Settings.h"
#include "engine/ConvertCore.h"
#include "presets/VideoPreset.h"
#include "resources/resource.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace {

using driver::itemText;
using driver::listEntries;
using driver::selectedIndexes;
using driver::setItemText;
using uitest::ConvertFixture;
using uitest::ConverterSteering;
using uitest::MainDialogSession;

TEST(MainDialog, FlvExtensionIsTheLastDotOfTheWholePath) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"C:\\v\\clip.flv", true},       {L"C:\\v\\clip.FLV", true},  {L"C:\\v\\clip.Flv", true},
        {L"C:\\v\\clip.flv.part", false}, {L"C:\\v\\clip", false},     {L"C:\\v.flv\\clip", false},
        {L"C:\\v\\clip.", false},         {L"C:\\v\\clip.flvx", false}, {L"C:\\v\\.flv", true},
        {L"", false},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(hasFlvExtension(path), expected) << std::wstring(path).size();
}

TEST(MainDialog, ChosenNamesJoinTheirFolderWithOneBackslash) {
    EXPECT_EQ(joinFolderAndName(L"C:\\v", L"a.flv"), L"C:\\v\\a.flv");
    EXPECT_EQ(joinFolderAndName(L"C:\\", L"a.flv"), L"C:\\a.flv");
    EXPECT_EQ(joinFolderAndName(L"", L"a.flv"), L"\\a.flv");
}

TEST(MainDialog, OpensWithCaptionIconPresetsAndTheStoredFolder) {
    saveOutputFolder(L"Z:\\stored folder");
    MainDialogSession session;
    HWND dialog = session.dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(driver::text(dialog), L"Quandril 1.1");
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
    HWND combo = session.item(IDC_PRESET);
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 5);
    for (int i = 0; i < 5; ++i) {
        wchar_t name[100] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
        EXPECT_EQ(name, g_presetFamily->presetName(i));
    }
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(itemText(dialog, IDC_OUTPUT_FOLDER), L"Z:\\stored folder");
    EXPECT_EQ(SendMessageW(session.item(IDC_FILE_LIST), LB_GETCOUNT, 0, 0), 0);
}

TEST(MainDialog, ClosingSavesTheOutputFolderAlsoWhenEmpty) {
    struct Case {
        const char* name;
        std::wstring folder;
        UINT closeMessage;  // Escape, or the caption's close box / Alt+F4
    } cases[] = {
        {"typed folder, Escape", L"Z:\\typed\\out", WM_COMMAND},
        {"empty, close box", L"", WM_CLOSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        saveOutputFolder(L"Z:\\before");
        MainDialogSession session;
        ASSERT_NE(session.dialog(), nullptr);
        setItemText(session.dialog(), IDC_OUTPUT_FOLDER, c.folder);
        if (c.closeMessage == WM_CLOSE)
            PostMessageW(session.dialog(), WM_CLOSE, 0, 0);
        else
            PostMessageW(session.dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        EXPECT_TRUE(driver::waitFor([&] { return !IsWindow(session.dialog()); }));
        session.close();
        EXPECT_EQ(loadOutputFolder(), c.folder);
        EXPECT_EQ(g_convertCore, nullptr);
    }
}

TEST(MainDialog, AddTakesFilesFromTheOpenDialogSortedWithoutDuplicates) {
    driver::TempFolder folder(L"add");
    for (const wchar_t* name : {L"c.flv", L"a.flv", L"b.FLV", L"notes.txt"})
        folder.write(name);
    MainDialogSession session;
    HWND dialog = session.dialog();
    HWND list = session.item(IDC_FILE_LIST);

    // One file, typed as a full path.
    driver::click(dialog, IDC_ADD);
    driver::chooseInOpenDialog(folder.file(L"c.flv"));
    ASSERT_TRUE(driver::waitFor([&] { return listEntries(list).size() == 1; }));
    EXPECT_EQ(listEntries(list)[0], folder.file(L"c.flv"));

    // Several in one folder, c again among them, and a file of another kind.
    driver::click(dialog, IDC_ADD);
    driver::chooseInOpenDialog(folder.path(), {L"c.flv", L"a.flv", L"notes.txt", L"b.FLV"});
    ASSERT_TRUE(driver::waitFor([&] { return listEntries(list).size() == 3; }));
    Sleep(200);  // nothing more arrives
    EXPECT_EQ(listEntries(list),
              (std::vector<std::wstring>{folder.file(L"a.flv"), folder.file(L"b.FLV"), folder.file(L"c.flv")}));

    // Cancelled: nothing added.
    driver::click(dialog, IDC_ADD);
    driver::cancelOpenDialog();
    Sleep(200);
    EXPECT_EQ(listEntries(list).size(), 3u);
}

TEST(MainDialog, AddInADriveRootUsesOneBackslash) {
    // C:\ of the test prefix is writable: names of this process alone.
    const std::wstring prefix = L"quandril-" + std::to_wstring(GetCurrentProcessId());
    const std::vector<std::wstring> names = {prefix + L"-r1.flv", prefix + L"-r2.flv"};
    for (const std::wstring& name : names)
        std::ofstream((L"C:\\" + name).c_str()) << "FLV";
    {
        MainDialogSession session;
        HWND list = session.item(IDC_FILE_LIST);
        driver::click(session.dialog(), IDC_ADD);
        driver::chooseInOpenDialog(L"C:\\", names);
        EXPECT_TRUE(driver::waitFor([&] { return listEntries(list).size() == 2; }));
        EXPECT_EQ(listEntries(list), (std::vector<std::wstring>{L"C:\\" + names[0], L"C:\\" + names[1]}));
    }
    for (const std::wstring& name : names)
        DeleteFileW((L"C:\\" + name).c_str());
}

TEST(MainDialog, ListRefusesDuplicatesOtherKindsAndOverlongPaths) {
    MainDialogSession session;
    HWND list = session.item(IDC_FILE_LIST);
    EXPECT_GE(addToList(L"C:\\v\\a.flv"), 0);
    EXPECT_EQ(addToList(L"C:\\v\\a.flv"), -1);
    EXPECT_GE(addToList(L"C:\\v\\A.FLV"), 0);  // the comparison is case-sensitive
    EXPECT_EQ(addToList(L"C:\\v\\clip.flv.part"), -1);
    EXPECT_EQ(addToList(L"C:\\v.flv\\clip"), -1);
    EXPECT_TRUE(isInList(L"C:\\v\\A.FLV"));
    EXPECT_FALSE(isInList(L"c:\\v\\a.flv"));

    // The longest path the program can convert is accepted whole; one more
    // character is refused like any file it cannot convert.
    const std::wstring longest = L"C:\\" + std::wstring(kMaxSourcePath - 7, L'x') + L".flv";
    ASSERT_EQ(longest.size(), kMaxSourcePath);
    const std::wstring tooLong = L"C:\\" + std::wstring(kMaxSourcePath - 6, L'x') + L".flv";
    EXPECT_GE(addToList(longest.c_str()), 0);
    EXPECT_EQ(addToList(tooLong.c_str()), -1);
    EXPECT_TRUE(isInList(longest.c_str()));
    auto entries = listEntries(list);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"C:\\v\\A.FLV", L"C:\\v\\a.flv", longest}));
}

TEST(MainDialog, RemoveTakesTheSelectedEntriesAndClearTakesAll) {
    MainDialogSession session;
    HWND list = session.item(IDC_FILE_LIST);
    for (const wchar_t* path : {L"C:\\v\\1.flv", L"C:\\v\\2.flv", L"C:\\v\\3.flv", L"C:\\v\\4.flv"})
        addToList(path);
    SendMessageW(list, LB_SETSEL, TRUE, 0);
    SendMessageW(list, LB_SETSEL, TRUE, 2);
    driver::click(session.dialog(), IDC_REMOVE);
    ASSERT_TRUE(driver::waitFor([&] { return listEntries(list).size() == 2; }));
    EXPECT_EQ(listEntries(list), (std::vector<std::wstring>{L"C:\\v\\2.flv", L"C:\\v\\4.flv"}));
    driver::click(session.dialog(), IDC_CLEAR);
    EXPECT_TRUE(driver::waitFor([&] { return listEntries(list).empty(); }));
}

// Moves the test converter away for the length of a test.
class CoreFileHidden {
public:
    CoreFileHidden() : path_(uitest::exeFolder() + L"\\core\\mirovex.exe") {
        MoveFileW(path_.c_str(), (path_ + L".away").c_str());
    }
    ~CoreFileHidden() { MoveFileW((path_ + L".away").c_str(), path_.c_str()); }

private:
    std::wstring path_;
};

TEST(MainDialog, ConvertChecksItsInputInOrderAndChangesNothing) {
    driver::TempFolder out(L"checks");
    const std::wstring aFile = out.write(L"file.txt");
    struct Case {
        const char* name;
        bool withEntry;
        std::wstring folder;
        bool coreMissing;
        const wchar_t* message;
    } cases[] = {
        {"empty list, empty folder", false, L"", false, L"Please add source files."},
        {"empty folder", true, L"", false, L"Please select output folder."},
        {"folder names nothing", true, out.path() + L"\\missing", false, L"The output folder doesn't exist."},
        {"folder names a file", true, aFile, false, L"The output folder doesn't exist."},
        {"no core file", true, out.path(), true, L"There isn't a core file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CoreFileHidden> hidden(c.coreMissing ? new CoreFileHidden : nullptr);
        MainDialogSession session;
        HWND list = session.item(IDC_FILE_LIST);
        if (c.withEntry)
            addToList(L"C:\\v\\a.flv");
        setItemText(session.dialog(), IDC_OUTPUT_FOLDER, c.folder);
        driver::click(session.dialog(), IDC_CONVERT);
        EXPECT_EQ(driver::answerMessageBox(IDOK), c.message);
        EXPECT_EQ(driver::findDialog(L"Progress"), nullptr);
        EXPECT_EQ(listEntries(list).size(), c.withEntry ? 1u : 0u);
        EXPECT_EQ(itemText(session.dialog(), IDC_OUTPUT_FOLDER), c.folder);
        EXPECT_TRUE(g_convertCore->tasks.empty());
    }
}

TEST(MainDialog, ConvertHandsTheChosenPresetAndListOrderToTheCore) {
    driver::TempFolder logFolder(L"log");
    const std::wstring log = logFolder.file(L"conv.log");
    ConverterSteering steering({{L"FAKECONV_PACE_MS", L"10"}, {L"FAKECONV_LOG", log}});
    ConvertFixture run(L"preset");
    run.add({L"b.flv", L"c.flv", L"a.flv"});
    SendMessageW(run.session().item(IDC_PRESET), CB_SETCURSEL, 3, 0);
    HWND progress = run.convert();
    ASSERT_TRUE(driver::waitFor([&] { return itemText(progress, IDC_FILE_LINE) == L"Complete"; }));
    driver::click(progress, IDC_CLOSE);
    ASSERT_TRUE(driver::waitFor([&] { return driver::dialogGone(progress); }));

    ConvertCore& core = *g_convertCore;
    EXPECT_EQ(core.presetParams, g_presetFamily->presetParameters(3));
    EXPECT_EQ(core.outputExt, L"mp4");
    EXPECT_EQ(core.outputFolder, run.outputs().path());
    EXPECT_EQ(core.converterPath, uitest::exeFolder() + L"\\core\\mirovex.exe");
    ASSERT_EQ(core.tasks.size(), 3u);
    EXPECT_EQ(core.tasks[0]->inputPath, run.sources().file(L"a.flv"));
    EXPECT_EQ(core.tasks[2]->inputPath, run.sources().file(L"c.flv"));
    // The converter was given the preset's options, for the files in list order.
    const std::string text = driver::readFile(log);
    EXPECT_NE(text.find("-vf\tscale=640:480\t-aspect\t4:3"), std::string::npos);
    const size_t a = text.find("preset-in\\a.flv"), b = text.find("preset-in\\b.flv"),
                 c = text.find("preset-in\\c.flv");
    ASSERT_NE(a, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(selectedIndexes(run.list()), (std::vector<int>{0, 1, 2}));
}

// A family with a single preset, as template 131 serves it.
class OnePresetFamily : public VideoPreset {
public:
    OnePresetFamily() : VideoPreset(table_) {}
    const wchar_t* outputExtension() const override { return L"mp4"; }

private:
    static constexpr PresetEntry table_[] = {{L"Only", L"-crf 20"}, {nullptr, nullptr}};
};

TEST(MainDialog, OnePresetTemplateHasNoSelectorAndUsesPresetZero) {
    OnePresetFamily family;
    VideoPreset* shipped = g_presetFamily;
    g_presetFamily = &family;
    {
        ConverterSteering steering({{L"FAKECONV_PACE_MS", L"10"}});
        ConvertFixture run(L"single", IDD_MAIN_SINGLE);
        EXPECT_EQ(run.session().item(IDC_PRESET), nullptr);
        EXPECT_EQ(run.session().item(IDC_PRESET_LABEL), nullptr);
        run.add({L"one.flv"});
        HWND progress = run.convert();
        ASSERT_TRUE(driver::waitFor([&] { return itemText(progress, IDC_FILE_LINE) == L"Complete"; }));
        driver::click(progress, IDC_CLOSE);
        ASSERT_TRUE(driver::waitFor([&] { return driver::dialogGone(progress); }));
        EXPECT_EQ(g_convertCore->presetParams, L"-crf 20");
        EXPECT_TRUE(driver::fileExists(run.outputs().file(L"one.mp4")));
    }
    g_presetFamily = shipped;
}

}  // namespace

namespace {

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK matchOwned(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<OwnedSearch*>(param);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (IsWindowVisible(window) && wcscmp(className, L"#32770") == 0 && GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The folder browser: the dialog the main dialog owns.
HWND waitForFolderBrowser(HWND mainDialog) {
    OwnedSearch search{mainDialog, nullptr};
    driver::waitFor([&] {
        EnumWindows(matchOwned, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

TEST(MainDialog, BrowsePutsTheChosenFolderInTheFieldAndCancelKeepsTheText) {
    driver::TempFolder folder(L"browse");
    const std::wstring chosen = folder.path() + L"\\Chosen";
    CreateDirectoryW(chosen.c_str(), nullptr);
    MainDialogSession session;
    setItemText(session.dialog(), IDC_OUTPUT_FOLDER, chosen);

    // OK at once: the folder the browser has selected goes into the field.
    // (Wine's browser opens at the desktop whatever selection it is given,
    // so the test does not insist on which folder that is.)
    driver::click(session.dialog(), IDC_BROWSE);
    HWND browser = waitForFolderBrowser(session.dialog());
    ASSERT_NE(browser, nullptr);
    setItemText(session.dialog(), IDC_OUTPUT_FOLDER, L"typed meanwhile");
    Sleep(500);
    driver::click(browser, IDOK);
    ASSERT_TRUE(driver::waitFor([&] { return driver::dialogGone(browser); }));
    EXPECT_TRUE(driver::waitFor([&] { return itemText(session.dialog(), IDC_OUTPUT_FOLDER) != L"typed meanwhile"; }));
    const DWORD attributes = GetFileAttributesW(itemText(session.dialog(), IDC_OUTPUT_FOLDER).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

    // Cancel: the text stays as it is, here an over-long one that the
    // browser could not open at (it starts at its default place instead).
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x');
    setItemText(session.dialog(), IDC_OUTPUT_FOLDER, tooLong);
    driver::click(session.dialog(), IDC_BROWSE);
    browser = waitForFolderBrowser(session.dialog());
    ASSERT_NE(browser, nullptr);
    driver::click(browser, IDCANCEL);
    ASSERT_TRUE(driver::waitFor([&] { return driver::dialogGone(browser); }));
    Sleep(300);
    EXPECT_EQ(itemText(session.dialog(), IDC_OUTPUT_FOLDER), tooLong);
}

}  // namespace
