// The program's resources as compiled: dialog templates field by field, the
// button images, the icon group, the manifest and the version.
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Control {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    DWORD id;
    std::wstring className;
    std::wstring text;
};

struct Template {
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    std::wstring caption;
    WORD pointSize;
    WORD weight;
    BYTE italic;
    std::wstring font;
    std::vector<Control> controls;
};

class Reader {
public:
    explicit Reader(const BYTE* data) : base_(data), at_(data) {}
    template <typename T>
    T get() {
        T value;
        std::memcpy(&value, at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    std::wstring string() {
        std::wstring value;
        for (wchar_t c; (c = get<wchar_t>()) != 0;)
            value += c;
        return value;
    }
    // sz_Or_Ord: an ordinal becomes "#<n>", predefined classes their names.
    std::wstring nameOrOrdinal() {
        WORD first;
        std::memcpy(&first, at_, sizeof(first));
        if (first == 0xFFFF) {
            get<WORD>();
            const WORD ordinal = get<WORD>();
            static const wchar_t* const kClasses[] = {L"BUTTON", L"EDIT", L"STATIC", L"LISTBOX", L"SCROLLBAR",
                                                      L"COMBOBOX"};
            if (ordinal >= 0x80 && ordinal <= 0x85)
                return kClasses[ordinal - 0x80];
            return L"#" + std::to_wstring(ordinal);
        }
        return string();
    }
    void alignDword() {
        while ((at_ - base_) % 4)
            ++at_;
    }

private:
    const BYTE* base_;
    const BYTE* at_;
};

Template loadTemplate(int id) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    EXPECT_NE(found, nullptr) << "template " << id;
    if (!found)
        return {};
    Reader in(static_cast<const BYTE*>(LockResource(LoadResource(module, found))));
    Template t;
    EXPECT_EQ(in.get<WORD>(), 1);       // dlgVer
    EXPECT_EQ(in.get<WORD>(), 0xFFFF);  // an extended template
    in.get<DWORD>();                    // helpID
    t.exStyle = in.get<DWORD>();
    t.style = in.get<DWORD>();
    const WORD count = in.get<WORD>();
    in.get<short>();
    in.get<short>();
    t.cx = in.get<short>();
    t.cy = in.get<short>();
    EXPECT_EQ(in.nameOrOrdinal(), L"");  // no menu
    EXPECT_EQ(in.nameOrOrdinal(), L"");  // the standard dialog class
    t.caption = in.string();
    t.pointSize = in.get<WORD>();
    t.weight = in.get<WORD>();
    t.italic = in.get<BYTE>();
    in.get<BYTE>();  // charset
    t.font = in.string();
    for (WORD i = 0; i < count; ++i) {
        in.alignDword();
        Control c;
        in.get<DWORD>();  // helpID
        c.exStyle = in.get<DWORD>();
        c.style = in.get<DWORD>();
        c.x = in.get<short>();
        c.y = in.get<short>();
        c.cx = in.get<short>();
        c.cy = in.get<short>();
        c.id = in.get<DWORD>();
        c.className = in.nameOrOrdinal();
        c.text = in.nameOrOrdinal();
        const WORD extra = in.get<WORD>();
        for (WORD b = 0; b < extra; ++b)
            in.get<BYTE>();
        t.controls.push_back(c);
    }
    return t;
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kMainStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS;

struct ExpectedControl {
    DWORD id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
};

void expectControls(const Template& t, const std::vector<ExpectedControl>& expected) {
    ASSERT_EQ(t.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& c = t.controls[i];
        const ExpectedControl& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(e.id));
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(_wcsicmp(c.className.c_str(), e.className), 0) << std::string(c.className.begin(), c.className.end());
        EXPECT_EQ(c.text, e.text);
        EXPECT_EQ(c.style, e.style | kChild) << std::hex << c.style;
        EXPECT_EQ(c.exStyle, 0u);
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
    }
}

void expectShellFont(const Template& t) {
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.font, L"MS Shell Dlg");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, FW_NORMAL);
    EXPECT_EQ(t.italic, 0);
}

const DWORD kOwnerDraw = WS_TABSTOP | BS_OWNERDRAW;
const DWORD kListStyle =
    WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL;

TEST(Resources, MainTemplateWithPresetSelector) {
    const Template t = loadTemplate(IDD_MAIN);
    EXPECT_EQ(t.style, kMainStyle);
    EXPECT_EQ(t.cx, 372);
    EXPECT_EQ(t.cy, 219);
    expectShellFont(t);
    expectControls(t, {
        {1010, L"BUTTON", L"Add", kOwnerDraw, 0, 0, 36, 25},
        {1011, L"BUTTON", L"Remove", kOwnerDraw, 35, 0, 36, 25},
        {1012, L"BUTTON", L"Clear", kOwnerDraw, 71, 0, 36, 25},
        {1001, L"BUTTON", L"Convert", kOwnerDraw, 107, 0, 36, 25},
        {1013, L"LISTBOX", L"", kListStyle, 0, 25, 371, 129},
        {1022, L"STATIC", L"Preset:", WS_GROUP | SS_LEFT, 7, 159, 24, 8},
        {1009, L"COMBOBOX", L"", WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 7, 170, 358, 30},
        {1023, L"STATIC", L"Output Folder:", WS_GROUP | SS_LEFT, 7, 185, 48, 8},
        {1006, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 198, 295, 14},
        {1004, L"BUTTON", L"...", WS_TABSTOP | BS_PUSHBUTTON, 305, 198, 20, 14},
        {1014, L"BUTTON", L"Open", WS_TABSTOP | BS_PUSHBUTTON, 325, 198, 40, 14},
    });
}

TEST(Resources, MainTemplateForOnePreset) {
    const Template t = loadTemplate(IDD_MAIN_SINGLE);
    EXPECT_EQ(t.style, kMainStyle);
    EXPECT_EQ(t.cx, 372);
    EXPECT_EQ(t.cy, 193);
    expectShellFont(t);
    expectControls(t, {
        {1010, L"BUTTON", L"Add", kOwnerDraw, 0, 0, 36, 25},
        {1011, L"BUTTON", L"Remove", kOwnerDraw, 35, 0, 36, 25},
        {1012, L"BUTTON", L"Clear", kOwnerDraw, 71, 0, 36, 25},
        {1001, L"BUTTON", L"Convert", kOwnerDraw, 107, 0, 36, 25},
        {1013, L"LISTBOX", L"", kListStyle, 0, 25, 371, 129},
        {1023, L"STATIC", L"Output Folder:", WS_GROUP | SS_LEFT, 7, 159, 48, 8},
        {1006, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 172, 295, 14},
        {1004, L"BUTTON", L"...", WS_TABSTOP | BS_PUSHBUTTON, 305, 172, 20, 14},
        {1014, L"BUTTON", L"Open", WS_TABSTOP | BS_PUSHBUTTON, 325, 172, 40, 14},
    });
}

TEST(Resources, ProgressTemplate) {
    const Template t = loadTemplate(IDD_PROGRESS);
    EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT |
                                          DS_FIXEDSYS));
    EXPECT_EQ(t.caption, L"Progress");
    EXPECT_EQ(t.cx, 251);
    EXPECT_EQ(t.cy, 72);
    expectShellFont(t);
    expectControls(t, {
        {1016, L"STATIC", L"File Name", WS_GROUP | SS_CENTER, 7, 22, 237, 8},
        {1017, L"msctls_progress32", L"", WS_BORDER, 7, 34, 237, 10},
        {1018, L"STATIC", L"Total 1/10", WS_GROUP | SS_CENTER, 7, 7, 237, 8},
        {1020, L"BUTTON", L"Stop", WS_TABSTOP | BS_PUSHBUTTON, 101, 50, 50, 14},
        {1021, L"BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, 101, 50, 50, 14},
    });
}

// The button images: PNG files of 32 x 32 pixels, 8-bit RGBA.
TEST(Resources, ButtonImagesAre32x32RgbaPng) {
    HMODULE module = GetModuleHandleW(nullptr);
    for (int id : {IDB_PNG_ADD, IDB_PNG_CLEAR, IDB_PNG_CONVERT, IDB_PNG_REMOVE}) {
        SCOPED_TRACE(id);
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
        ASSERT_NE(found, nullptr);
        ASSERT_GT(SizeofResource(module, found), 33u);
        const auto* png = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ(std::memcmp(png + 12, "IHDR", 4), 0);
        auto bigEndian = [&](int at) { return (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3]; };
        EXPECT_EQ(bigEndian(16), 32);
        EXPECT_EQ(bigEndian(20), 32);
        EXPECT_EQ(png[24], 8);  // bits per channel
        EXPECT_EQ(png[25], 6);  // colour type RGBA
    }
}

// Icon 107: 16, 32 and 48 pixels at 4 and 8 bits, 16 to 128 pixels at 32
// bits, and 256 pixels stored as PNG.
TEST(Resources, IconGroupHoldsEverySizeAndDepth) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON);
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    WORD count;
    std::memcpy(&count, group + 4, 2);
    std::vector<std::pair<int, int>> images;  // size, bits
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = group + 6 + i * 14;  // GRPICONDIRENTRY
        WORD bits;
        std::memcpy(&bits, entry + 6, 2);
        images.emplace_back(entry[0] == 0 ? 256 : entry[0], bits);
    }
    const std::vector<std::pair<int, int>> expected = {{16, 4},  {32, 4},  {48, 4},   {16, 8},
                                                       {32, 8},  {48, 8},  {16, 32},  {32, 32},
                                                       {48, 32}, {64, 32}, {128, 32}, {256, 32}};
    EXPECT_EQ(images, expected);
    EXPECT_NE(LoadIconW(module, MAKEINTRESOURCEW(IDI_APP)), nullptr);
}

TEST(Resources, ManifestAsksForCommonControls6AsInvoker) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    const std::string arch = sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
    EXPECT_NE(manifest.find(arch), std::string::npos);
}

TEST(Resources, VersionNamesTheProduct) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));
    auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT length = 0;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            return std::wstring();
        return std::wstring(text);
    };
    EXPECT_EQ(value(L"ProductName"), L"Quandril");
    EXPECT_EQ(value(L"FileDescription"), L"Quandrix");
    EXPECT_EQ(value(L"FileVersion"), L"1.0.0.1");
    EXPECT_EQ(value(L"ProductVersion"), L"1.0.0.1");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
}

}  // namespace
