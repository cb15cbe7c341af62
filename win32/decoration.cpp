#include "win32/decoration.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

#include "ui/control_table.h"
#include "win32/dialog_template.h"
#include "win32/resource_ids.h"

namespace ostrel::win32 {

namespace {

void DrawDots(const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    const int size = std::max<LONG>(2, r.bottom - r.top);
    const int dots = ui::kDotsInARow;
    const double step = static_cast<double>(r.right - r.left - size) / (dots - 1);
    HBRUSH brush = GetSysColorBrush(COLOR_3DSHADOW);
    HGDIOBJ oldBrush = SelectObject(item.hDC, brush);
    HGDIOBJ oldPen = SelectObject(item.hDC, GetStockObject(NULL_PEN));
    for (int i = 0; i < dots; ++i) {
        const int x = r.left + static_cast<int>(std::lround(i * step));
        // A null pen leaves the right and bottom edge out: one pixel more.
        Ellipse(item.hDC, x, r.top, x + size + 1, r.top + size + 1);
    }
    SelectObject(item.hDC, oldPen);
    SelectObject(item.hDC, oldBrush);
}

void DrawWiring(const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    FillRect(item.hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    auto* picture = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                    MAKEINTRESOURCEA(OSTREL_WIRING_BITMAP),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (picture == nullptr)
        return;
    BITMAP size = {};
    GetObjectA(picture, sizeof size, &size);
    const int roomX = r.right - r.left;
    const int roomY = r.bottom - r.top;
    if (size.bmWidth > 0 && size.bmHeight > 0 && roomX > 0 && roomY > 0) {
        // Scaled to the room it has, keeping its proportions, in the middle.
        double scale = std::min(static_cast<double>(roomX) / size.bmWidth,
                                static_cast<double>(roomY) / size.bmHeight);
        const int width = static_cast<int>(std::lround(size.bmWidth * scale));
        const int height = static_cast<int>(std::lround(size.bmHeight * scale));
        HDC source = CreateCompatibleDC(item.hDC);
        HGDIOBJ old = SelectObject(source, picture);
        SetStretchBltMode(item.hDC, HALFTONE);
        SetBrushOrgEx(item.hDC, 0, 0, nullptr);
        StretchBlt(item.hDC, r.left + (roomX - width) / 2, r.top + (roomY - height) / 2, width,
                   height, source, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    DeleteObject(picture);
}

}  // namespace

bool DrawDecoration(const void* drawItem) {
    const auto& item = *static_cast<const DRAWITEMSTRUCT*>(drawItem);
    if (item.CtlType != ODT_STATIC)
        return false;
    if (item.CtlID == static_cast<UINT>(kDotRowControl)) {
        DrawDots(item);
        return true;
    }
    if (item.CtlID == static_cast<UINT>(kWiringPictureControl)) {
        DrawWiring(item);
        return true;
    }
    return false;
}

}  // namespace ostrel::win32
