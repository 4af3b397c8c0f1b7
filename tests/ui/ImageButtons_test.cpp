// The owner-drawn command buttons: where the image lands, what else is
// painted, the image map, and the tooltips on the real main dialog.
#include "ui/ImageButtons.h"

#include "app/AppGlobals.h"
#include "resources/resource.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/UiEnvironment.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objidl.h>

#include <gdiplus.h>

#include <memory>
#include <vector>

namespace {

constexpr COLORREF kUntouched = RGB(255, 0, 255);

// A 32-bit DIB on a memory DC, filled with a colour no drawing uses.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(kUntouched);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const {
        GdiFlush();
        const DWORD p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

// The Add image drawn by GDI+ alone at 0,0 over the face colour: what the
// button must show, pixel for pixel, at its offset.
std::unique_ptr<Canvas> referenceAddImage() {
    auto canvas = std::make_unique<Canvas>(32, 32);
    RECT all = {0, 0, 32, 32};
    FillRect(canvas->dc(), &all, GetSysColorBrush(COLOR_BTNFACE));
    HMODULE module = GetModuleHandleW(nullptr);
    HGLOBAL block = nullptr;
    std::unique_ptr<Gdiplus::Image> image(
        loadPngResource(FindResourceW(module, MAKEINTRESOURCEW(IDB_PNG_ADD), L"PNG"), module, &block));
    EXPECT_NE(image, nullptr);
    if (image) {
        Gdiplus::Graphics graphics(canvas->dc());
        graphics.DrawImage(image.get(), 0, 0, 32, 32);
    }
    image.reset();
    GlobalFree(block);
    return canvas;
}

DRAWITEMSTRUCT itemFor(const Canvas& canvas, RECT rect, UINT action, UINT state, UINT type = ODT_BUTTON,
                       UINT id = IDC_ADD) {
    DRAWITEMSTRUCT item = {};
    item.CtlType = type;
    item.CtlID = id;
    item.itemAction = action;
    item.itemState = state;
    item.hDC = canvas.dc();
    item.rcItem = rect;
    return item;
}

struct DrawCase {
    const char* name;
    RECT rect;
    UINT action;
    UINT state;
    int dx, dy;  // where the image's top-left corner lands, from rect's corner
};

TEST(ImageButtons, DrawsTheImageCentredAndShiftedWhilePressed) {
    const auto reference = referenceAddImage();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const DrawCase cases[] = {
        {"54x41 at rest", {0, 0, 54, 41}, ODA_DRAWENTIRE, 0, 11, 4},
        {"54x41 pressed", {0, 0, 54, 41}, ODA_SELECT, ODS_SELECTED, 12, 5},
        {"54x41 released", {0, 0, 54, 41}, ODA_SELECT, 0, 12, 5},
        {"54x41 focus change", {0, 0, 54, 41}, ODA_FOCUS, ODS_FOCUS, 11, 4},
        {"54x41 selected, full repaint", {0, 0, 54, 41}, ODA_DRAWENTIRE, ODS_SELECTED, 12, 5},
        {"odd width drops the half pixel", {0, 0, 33, 41}, ODA_DRAWENTIRE, 0, 0, 4},
        {"item not at the origin", {10, 7, 64, 48}, ODA_DRAWENTIRE, ODS_FOCUS, 11, 4},
    };
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(80, 60);
        const DRAWITEMSTRUCT item = itemFor(canvas, c.rect, c.action, c.state);
        drawImageButton(&item);
        int mismatches = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const bool inItem = x >= c.rect.left && x < c.rect.right && y >= c.rect.top && y < c.rect.bottom;
                const int ix = x - c.rect.left - c.dx;
                const int iy = y - c.rect.top - c.dy;
                COLORREF expected = kUntouched;
                if (inItem)
                    expected = (ix >= 0 && ix < 32 && iy >= 0 && iy < 32) ? reference->at(ix, iy) : face;
                if (canvas.at(x, y) != expected && mismatches++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << canvas.at(x, y)
                                  << ", expected " << expected;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(ImageButtons, DrawsNothingForOtherControlsOrUnknownButtons) {
    struct Case {
        const char* name;
        UINT type;
        UINT id;
    } cases[] = {
        {"a list box item", ODT_LISTBOX, IDC_ADD},
        {"a button without image", ODT_BUTTON, IDC_BROWSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(60, 45);
        const DRAWITEMSTRUCT item = itemFor(canvas, {0, 0, 54, 41}, ODA_DRAWENTIRE, 0, c.type, c.id);
        drawImageButton(&item);
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                ASSERT_EQ(canvas.at(x, y), kUntouched) << x << "," << y;
    }
    EXPECT_EQ(buttonImageCount(), 4u);  // drawing added no entry
}

TEST(ImageButtons, LoadingSkipsMissingImagesAndReleaseEmptiesTheMap) {
    releaseButtonImages();
    EXPECT_EQ(buttonImageCount(), 0u);
    // A module without PNG resources: every row is skipped, without error.
    EXPECT_TRUE(loadButtonImages(GetModuleHandleW(L"kernel32.dll")));
    EXPECT_EQ(buttonImageCount(), 0u);
    EXPECT_TRUE(loadButtonImages(GetModuleHandleW(nullptr)));
    EXPECT_EQ(buttonImageCount(), 4u);
    // Loading again replaces, never duplicates.
    EXPECT_TRUE(loadButtonImages(GetModuleHandleW(nullptr)));
    EXPECT_EQ(buttonImageCount(), 4u);
}

TEST(ImageButtons, TableTiesButtonsToImagesAndTooltips) {
    struct Row {
        int controlId, pngId;
        const wchar_t* tip;
    } expected[] = {{1010, 133, L"Add"}, {1011, 136, L"Remove"}, {1012, 134, L"Clear"}, {1001, 135, L"Convert"}};
    size_t i = 0;
    for (; kImageButtons[i].controlId != 0; ++i) {
        ASSERT_LT(i, 4u);
        EXPECT_EQ(kImageButtons[i].controlId, expected[i].controlId);
        EXPECT_EQ(kImageButtons[i].pngResourceId, expected[i].pngId);
        EXPECT_STREQ(kImageButtons[i].tooltipText, expected[i].tip);
    }
    EXPECT_EQ(i, 4u);
}

std::wstring toolText(HWND tooltip, HWND dialog, HWND button) {
    wchar_t buffer[80] = {};
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(button);
    tool.lpszText = buffer;
    SendMessageW(tooltip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
    return buffer;
}

TEST(ImageButtons, MainDialogButtonsHaveTooltipsUntilItCloses) {
    uitest::MainDialogSession session;
    ASSERT_NE(session.dialog(), nullptr);
    HWND tooltip = g_hTooltip;
    ASSERT_NE(tooltip, nullptr);
    wchar_t className[40] = {};
    GetClassNameW(tooltip, className, 40);
    EXPECT_STREQ(className, L"tooltips_class32");
    EXPECT_EQ(GetWindowLongW(tooltip, GWL_STYLE) & TTS_ALWAYSTIP, TTS_ALWAYSTIP);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 4);
    const std::pair<int, const wchar_t*> tips[] = {
        {IDC_ADD, L"Add"}, {IDC_REMOVE, L"Remove"}, {IDC_CLEAR, L"Clear"}, {IDC_CONVERT, L"Convert"}};
    for (const auto& [id, tip] : tips)
        EXPECT_EQ(toolText(tooltip, session.dialog(), session.item(id)), tip);

    session.close();
    EXPECT_EQ(g_hTooltip, nullptr);
    EXPECT_FALSE(IsWindow(tooltip));
}

}  // namespace
