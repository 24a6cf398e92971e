#include "compressor/compressor_editor_drawing.h"

#include <algorithm>
#include <cstring>

namespace orq::compressor::drawing {

HFONT makeFont(const char* face, int heightPixels) {
    constexpr int kWeight = 500;
    return CreateFontA(heightPixels, 0, 0, 0, kWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH, face);
}

void fillRect(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void frameRect(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FrameRect(dc, &rect, brush);
    DeleteObject(brush);
}

void line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void handle(HDC dc, int x, int y, int reach, COLORREF fill, COLORREF edge) {
    const RECT box{x - reach, y - reach, x + reach + 1, y + reach + 1};
    fillRect(dc, box, fill);
    frameRect(dc, box, edge);
}

void tabbedLines(HDC dc, const char* text, const RECT& box, const int* tabs, int tabCount,
                 int lineHeightPixels) {
    SetBkMode(dc, TRANSPARENT);
    int top = box.top;
    const char* lineStart = text;
    while (*lineStart != '\0') {
        const char* lineEnd = std::strchr(lineStart, '\n');
        if (lineEnd == nullptr) lineEnd = lineStart + std::strlen(lineStart);
        int column = 0;
        const char* cell = lineStart;
        while (cell <= lineEnd) {
            const char* cellEnd = cell;
            while (cellEnd < lineEnd && *cellEnd != '\t')
                ++cellEnd;
            const int x = box.left + (column == 0 ? 0 : tabs[std::min(column, tabCount) - 1]);
            TextOutA(dc, x, top, cell, static_cast<int>(cellEnd - cell));
            ++column;
            cell = cellEnd + 1;
        }
        top += lineHeightPixels;
        lineStart = *lineEnd == '\0' ? lineEnd : lineEnd + 1;
    }
}

} // namespace orq::compressor::drawing
