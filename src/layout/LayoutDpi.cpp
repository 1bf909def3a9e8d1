// LayoutDpi: measures how much a layout drawn for 96 DPI must grow.
#include "LayoutDpi.h"

// The DPI that grows nBase pixels at 96 DPI to at least nNow pixels.
static INT DpiFor(LONG nNow, LONG nBase)
{
    return (INT)((LAYOUT_BASE_DPI * (LONGLONG)nNow + nBase - 1) / nBase);
}

void LayoutDpi_Begin(_LAYOUTDPI *pld, HFONT hFont)
{
    pld->hFont = hFont;
    pld->hFont96 = NULL;
    pld->hOldFont = NULL;
    pld->nDpiX = LAYOUT_BASE_DPI;
    pld->nDpiY = LAYOUT_BASE_DPI;
    pld->hdc = GetDC(NULL);
    if (pld->hdc == NULL)
        return;
    INT nDpiX = GetDeviceCaps(pld->hdc, LOGPIXELSX);
    INT nDpiY = GetDeviceCaps(pld->hdc, LOGPIXELSY);
    if (nDpiX <= 0 || nDpiY <= 0 || (nDpiX == LAYOUT_BASE_DPI && nDpiY == LAYOUT_BASE_DPI))
        return;
    pld->nDpiX = nDpiX;
    pld->nDpiY = nDpiY;

    // The same font at the size the system gives it at 96 DPI.
    LOGFONTA lf;
    if (hFont == NULL || GetObjectA(hFont, sizeof(lf), &lf) != (int)sizeof(lf))
        return;
    lf.lfHeight = MulDiv(lf.lfHeight, LAYOUT_BASE_DPI, nDpiY);
    lf.lfWidth = MulDiv(lf.lfWidth, LAYOUT_BASE_DPI, nDpiX);
    pld->hFont96 = CreateFontIndirectA(&lf);
    if (pld->hFont96 == NULL)
        return;

    // Lines of text grow with the font's height.
    TEXTMETRICA tmNow, tm96;
    pld->hOldFont = SelectObject(pld->hdc, hFont);
    BOOL fNow = GetTextMetricsA(pld->hdc, &tmNow);
    SelectObject(pld->hdc, pld->hFont96);
    if (fNow && GetTextMetricsA(pld->hdc, &tm96) && tm96.tmHeight > 0) {
        INT nDpi = DpiFor(tmNow.tmHeight, tm96.tmHeight);
        if (nDpi > pld->nDpiY)
            pld->nDpiY = nDpi;
    }
}

void LayoutDpi_AddText(_LAYOUTDPI *pld, const char *pszText)
{
    if (pld->hFont96 == NULL || pszText == NULL || pszText[0] == '\0')
        return;
    SIZE sizeNow, size96;
    int cch = lstrlenA(pszText);
    SelectObject(pld->hdc, pld->hFont);
    BOOL fNow = GetTextExtentPoint32A(pld->hdc, pszText, cch, &sizeNow);
    SelectObject(pld->hdc, pld->hFont96);
    if (!fNow || !GetTextExtentPoint32A(pld->hdc, pszText, cch, &size96) || size96.cx <= 0)
        return;
    INT nDpi = DpiFor(sizeNow.cx, size96.cx);
    if (nDpi > pld->nDpiX)
        pld->nDpiX = nDpi;
}

void LayoutDpi_End(_LAYOUTDPI *pld)
{
    if (pld->hdc == NULL)
        return;
    if (pld->hOldFont != NULL)
        SelectObject(pld->hdc, pld->hOldFont);
    if (pld->hFont96 != NULL)
        DeleteObject(pld->hFont96);
    ReleaseDC(NULL, pld->hdc);
    pld->hdc = NULL;
    pld->hFont96 = NULL;
    pld->hOldFont = NULL;
}

INT LayoutDpi_Scale(INT n, INT nDpi)
{
    return nDpi == LAYOUT_BASE_DPI ? n : MulDiv(n, nDpi, LAYOUT_BASE_DPI);
}
