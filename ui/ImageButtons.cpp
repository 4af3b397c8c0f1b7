#include "ui/ImageButtons.h"

#include "app/AppGlobals.h"
#include "resources/resource.h"
#include "win/Scoped.h"

#include <commctrl.h>
#include <objidl.h>

#include <gdiplus.h>

#include <map>
#include <memory>

const ImageButtonSpec kImageButtons[] = {
    {IDC_ADD, IDB_PNG_ADD, L"Add"},
    {IDC_REMOVE, IDB_PNG_REMOVE, L"Remove"},
    {IDC_CLEAR, IDB_PNG_CLEAR, L"Clear"},
    {IDC_CONVERT, IDB_PNG_CONVERT, L"Convert"},
    {0, 0, nullptr},
};

namespace {

// An image and the bytes it was decoded from. GDI+ may read its stream
// again long after decoding, so the block lives exactly as long as the image:
// members are destroyed in reverse order, the image first.
struct ButtonImage {
    win::UniqueGlobal bytes;
    std::unique_ptr<Gdiplus::Image> image;
};

// Static storage: empty before wWinMain runs, emptied by releaseButtonImages.
std::map<UINT, ButtonImage> g_buttonImages;

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};

}  // namespace

Gdiplus::Image* loadPngResource(HRSRC resource, HINSTANCE module, HGLOBAL* block) {
    *block = nullptr;
    const DWORD size = SizeofResource(module, resource);
    if (size == 0)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, resource);
    const void* source = loaded ? LockResource(loaded) : nullptr;
    if (!source)
        return nullptr;

    win::UniqueGlobal copy(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!copy)
        return nullptr;
    void* target = GlobalLock(copy.get());
    if (!target)
        return nullptr;
    CopyMemory(target, source, size);

    IStream* rawStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy.get(), FALSE, &rawStream))) {
        GlobalUnlock(copy.get());
        return nullptr;
    }
    std::unique_ptr<IStream, StreamRelease> stream(rawStream);
    // The status is not examined here: an undecodable PNG still gives an
    // object, which then draws nothing.
    Gdiplus::Image* image = Gdiplus::Image::FromStream(stream.get(), FALSE);
    stream.reset();
    GlobalUnlock(copy.get());
    if (image)
        *block = copy.release();
    return image;
}

bool loadButtonImages(HINSTANCE module) {
    for (const ImageButtonSpec* row = kImageButtons; row->controlId != 0; ++row) {
        HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(row->pngResourceId), L"PNG");
        if (!resource)
            continue;
        HGLOBAL block = nullptr;
        std::unique_ptr<Gdiplus::Image> image(loadPngResource(resource, module, &block));
        win::UniqueGlobal bytes(block);
        if (!image)
            continue;
        ButtonImage& entry = g_buttonImages[static_cast<UINT>(row->controlId)];
        entry.image.reset();  // the old image goes before its bytes
        entry.bytes = std::move(bytes);
        entry.image = std::move(image);
    }
    return true;
}

void releaseButtonImages() {
    for (auto& [id, entry] : g_buttonImages) {
        entry.image.reset();
        entry.bytes.reset();
    }
    g_buttonImages.clear();
}

size_t buttonImageCount() {
    return g_buttonImages.size();
}

void createTooltips() {
    g_hTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, g_hMainDialog, nullptr, g_hInstance,
                                 nullptr);
    if (!g_hTooltip)
        return;
    for (const ImageButtonSpec* row = kImageButtons; row->controlId != 0; ++row) {
        HWND button = GetDlgItem(g_hMainDialog, row->controlId);
        if (!button)
            continue;
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = g_hMainDialog;
        tool.uId = reinterpret_cast<UINT_PTR>(button);
        tool.lpszText = const_cast<wchar_t*>(row->tooltipText);
        SendMessageW(g_hTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void drawImageButton(const DRAWITEMSTRUCT* item) {
    if (item->CtlType != ODT_BUTTON)
        return;
    auto found = g_buttonImages.find(item->CtlID);
    if (found == g_buttonImages.end() || !found->second.image)
        return;
    Gdiplus::Image& image = *found->second.image;
    const int w = static_cast<int>(image.GetWidth());
    const int h = static_cast<int>(image.GetHeight());
    const RECT& rc = item->rcItem;
    int dx = (rc.right - w - rc.left) / 2;
    int dy = (rc.bottom - h - rc.top) / 2;
    // Pressing and releasing both draw the image one pixel down and right.
    if ((item->itemAction & ODA_SELECT) || (item->itemState & ODS_SELECTED)) {
        ++dx;
        ++dy;
    }
    FillRect(item->hDC, &rc, GetSysColorBrush(COLOR_BTNFACE));
    Gdiplus::Graphics graphics(item->hDC);
    graphics.DrawImage(&image, rc.left + dx, rc.top + dy, w, h);
}
