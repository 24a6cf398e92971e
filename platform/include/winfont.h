// Part of the platform's Windows interfaces; included by windows.h, not on its own.
//
// Fonts and text. Faces map to the TrueType files of Debian's font packages (fonts-liberation2,
// fonts-dejavu-core): "Arial" and unknown faces to Liberation Sans (its metric twin), "Courier
// New" to Liberation Mono, "Times New Roman" to Liberation Serif, "Small Fonts" to DejaVu Sans.
// Text is drawn anti-aliased in the device context's text colour (monochrome on palette
// surfaces). Strings are in the Windows-1252 code page.
#pragma once

#include "windows.h"

extern "C" {

constexpr int LF_FACESIZE = 32;

struct LOGFONTA {
    LONG lfHeight; // < 0: character (em) height in pixels; > 0: cell height; 0: default
    LONG lfWidth;  // 0: the face's own proportions (other widths are not supported)
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight; // 0 or 400 normal, >= 600 bold
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICA {
    LONG tmHeight; // ascent + descent
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading; // tmHeight - the em height
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

// Weights.
constexpr int FW_DONTCARE = 0;
constexpr int FW_THIN = 100;
constexpr int FW_LIGHT = 300;
constexpr int FW_NORMAL = 400;
constexpr int FW_MEDIUM = 500;
constexpr int FW_SEMIBOLD = 600;
constexpr int FW_BOLD = 700;
constexpr int FW_HEAVY = 900;

// Character sets, precisions, qualities, pitches and families (accepted and kept; the face
// decides the look).
constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE OEM_CHARSET = 255;
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE OUT_TT_PRECIS = 4;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;
constexpr BYTE TMPF_FIXED_PITCH = 0x01; // set for a proportional face (sic, as on Windows)
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

// Text alignment (SetTextAlign): one horizontal and one vertical choice.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;

// ExtTextOutA options.
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// DrawTextA formats.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004; // single line only
constexpr UINT DT_BOTTOM = 0x00000008;  // single line only
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;

WINAPI_EXPORT HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                                DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                                DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                                DWORD pitchAndFamily, LPCSTR faceName);
WINAPI_EXPORT HFONT CreateFontIndirectA(const LOGFONTA* description);
WINAPI_EXPORT BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// count < 0 is refused; the size is (sum of advances, tmHeight).
WINAPI_EXPORT BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size);
WINAPI_EXPORT BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
// advances: null, or the distance from each character's origin to the next one's.
WINAPI_EXPORT BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text,
                               UINT count, const INT* advances);
// count -1: text is null-terminated. Returns the text's height (with DT_VCENTER or DT_BOTTOM
// the offset from rect's top to the text's bottom), 0 on failure.
WINAPI_EXPORT int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format);
// Returns the previous alignment, or 0xffffffff (GDI_ERROR) for an invalid device context.
WINAPI_EXPORT UINT SetTextAlign(HDC dc, UINT align);
WINAPI_EXPORT UINT GetTextAlign(HDC dc);

// Test hooks. The folder under which the font packages' files are looked for (default
// "/usr/share/fonts/truetype"); null restores the default and every cache is emptied.
WINAPI_EXPORT void PlatformSetFontRoot(LPCSTR root);
// The last font failure of this thread as one line naming the file missing; "" when none.
WINAPI_EXPORT void PlatformFontError(char* text, DWORD size);
// The font file `font` draws with ("" for an invalid handle or a face with no file present).
WINAPI_EXPORT void PlatformFontFile(HFONT font, char* path, DWORD size);

} // extern "C"
