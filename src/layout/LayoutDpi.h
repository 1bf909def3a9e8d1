// LayoutDpi: the DPI that a layout drawn in pixels for 96 DPI is scaled to.
// It is the screen's DPI, or more where the screen's font grows faster than
// the DPI: measured on the layout's own texts, so that each text has at least
// the room it has at 96 DPI.
#ifndef QW_LAYOUTDPI_H
#define QW_LAYOUTDPI_H

#include <windows.h>

// The DPI that layouts are drawn for: their numbers are pixels at this DPI.
#define LAYOUT_BASE_DPI 96

// A measurement in progress: the screen, its font as the system made it for
// the screen's DPI and the same font made for 96 DPI.
struct _LAYOUTDPI {
    HDC hdc;
    HFONT hFont;
    HFONT hFont96;     // null when there is nothing to measure
    HGDIOBJ hOldFont;  // the screen's font before the measurement
    INT nDpiX;         // the result so far, never below the screen's DPI
    INT nDpiY;
};

// Starts a measurement of texts in hFont on the screen; the result starts at
// the screen's DPI (96 when the screen cannot be asked). At 96 DPI nothing
// is measured: the layout stays exactly as drawn.
void LayoutDpi_Begin(_LAYOUTDPI *pld, HFONT hFont);

// Raises the result so that pszText has at least its 96-DPI room: its width
// grows by the layout's horizontal scale no less than the text does.
void LayoutDpi_AddText(_LAYOUTDPI *pld, const char *pszText);

// Ends the measurement; the result stays in nDpiX and nDpiY.
void LayoutDpi_End(_LAYOUTDPI *pld);

// n pixels at 96 DPI as pixels at nDpi, rounded to the nearest (halves away
// from zero, as MulDiv rounds); exactly n at 96 DPI.
INT LayoutDpi_Scale(INT n, INT nDpi);

#endif
