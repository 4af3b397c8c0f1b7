// The main dialog's four owner-drawn command buttons: their images, drawn
// in place of the button text, and a tooltip naming each of them.
#pragma once

#include <windows.h>

#include <cstdint>

struct ImageButtonSpec {
    int32_t controlId;           // 0 ends the table
    int32_t pngResourceId;       // among the resources of type "PNG"
    const wchar_t* tooltipText;
};

// Add, Remove, Clear and Convert, then the terminating row.
extern const ImageButtonSpec kImageButtons[];

namespace Gdiplus {
class Image;
}

// Loads every row's image into the button-image map; rows whose resource is
// missing or unusable are skipped. Always true.
bool loadButtonImages(HINSTANCE module);
// A GDI+ image over a copy of the resource's bytes, or null. The copy's block
// is handed back in `block` and must outlive the image.
Gdiplus::Image* loadPngResource(HRSRC resource, HINSTANCE module, HGLOBAL* block);
// Destroys every image (then frees its bytes) and empties the map; call it
// before GDI+ is shut down.
void releaseButtonImages();
// Number of images in the map.
size_t buttonImageCount();

// One tooltip window on the main dialog with a tool per existing button.
void createTooltips();
// Paints a button: the face colour, then its image centred (one pixel right
// and down while pressed). Nothing for other controls or buttons without image.
void drawImageButton(const DRAWITEMSTRUCT* item);
