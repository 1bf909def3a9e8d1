// DlgItemsControl: the anchored child controls of one window.
#include "DlgItemsControl.h"

#include <string.h>

#include "LayoutDpi.h"

// Adds two coordinates with 32-bit wrap-around instead of signed overflow.
static INT AddCoord(INT a, INT b)
{
    return (INT)((UINT)a + (UINT)b);
}

// Subtracts two coordinates with 32-bit wrap-around instead of signed overflow.
static INT SubCoord(INT a, INT b)
{
    return (INT)((UINT)a - (UINT)b);
}

// True when the flag is absent (null) or non-zero.
static bool FlagIsSet(const INT *pf)
{
    return pf == NULL || *pf != 0;
}

// Where an edge lies from its anchor at 96 DPI, rightward or downward: the
// edges that measure from the right or bottom measure the other way, and a
// followed integer counts as the anchor itself.
static INT FromAnchor(const _DLGITEMPOINT *pPoint)
{
    switch (pPoint->nType) {
    case DIP_RIGHT:
    case DIP_BOTTOM:
        return SubCoord(0, pPoint->off.nOffset);
    case DIP_INDIRECT:
        return 0;
    default:
        return pPoint->off.nOffset;
    }
}

// A distance from the control's own edge pFrom, scaled to nDpi as the
// difference of its two ends, each scaled from its 96-DPI place: edges that
// share a pixel at 96 DPI (a label's right edge and its field's left edge)
// share one at every DPI.
static INT ScaleFromEdge(const _DLGITEMPOINT *pFrom, INT nOffset, INT nDpi)
{
    INT nFrom = FromAnchor(pFrom);
    return SubCoord(LayoutDpi_Scale(AddCoord(nFrom, nOffset), nDpi), LayoutDpi_Scale(nFrom, nDpi));
}

// Copies one edge of a description into a record, its computed value reset to 0.
static void SetPoint(_DLGITEMPOINT *pPoint, const _ADDDLGITEMPOINT *pAdd)
{
    pPoint->nType = pAdd->nType;
    pPoint->off = pAdd->off;
    pPoint->nValue = 0;
}

// Number of records that loops visit: the filled ones, never beyond capacity.
static INT CountToVisit(INT nItems, INT nMaxItems, const _DLGITEM *pItems)
{
    if (pItems == NULL)
        return 0;
    return nItems < nMaxItems ? nItems : nMaxItems;
}

DlgItemsControl::DlgItemsControl(HWND hwndParent, const RECT *prc, INT nMaxItems)
{
    this->hwndParent = hwndParent;
    this->nMaxItems = nMaxItems;
    nItems = 0;
    nDpiX = LAYOUT_BASE_DPI;
    nDpiY = LAYOUT_BASE_DPI;
    // Value-initialised: every computed coordinate starts at 0.
    pItems = nMaxItems > 0 ? new _DLGITEM[nMaxItems]() : NULL;

    memset(&rcClient, 0, sizeof(rcClient));
    if (prc != NULL)
        rcClient = *prc;
    else
        GetClientRect(hwndParent, &rcClient);
}

DlgItemsControl::~DlgItemsControl()
{
    delete[] pItems;
}

void DlgItemsControl::setDpi(INT nDpiX, INT nDpiY)
{
    this->nDpiX = nDpiX;
    this->nDpiY = nDpiY;
}

bool DlgItemsControl::computePoint(_DLGITEM *pItem, _DLGITEMPOINT *pPoint)
{
    // A distance along the edge's own axis: x for the left and right edges.
    INT nDpi = pPoint == &pItem->ptLeft || pPoint == &pItem->ptRight ? nDpiX : nDpiY;
    INT nOffset = LayoutDpi_Scale(pPoint->off.nOffset, nDpi);
    INT c;

    switch (pPoint->nType) {
    case DIP_LEFT:
        c = AddCoord(rcClient.left, nOffset);
        break;
    case DIP_RIGHT:
        c = SubCoord(rcClient.right, nOffset);
        break;
    case DIP_TOP:
        c = AddCoord(rcClient.top, nOffset);
        break;
    case DIP_BOTTOM:
        c = SubCoord(rcClient.bottom, nOffset);
        break;
    case DIP_VCENTER:
        c = AddCoord(rcClient.bottom / 2, nOffset);
        break;
    case DIP_HCENTER:
        c = AddCoord(rcClient.right / 2, nOffset);
        break;
    case DIP_ITEMLEFT:
        // The left edge itself has no left edge computed before it: it
        // measures from 0, so that it stays put from one computation to
        // the next instead of growing by the offset each time.
        c = pPoint == &pItem->ptLeft
            ? nOffset
            : AddCoord(pItem->ptLeft.nValue,
                       ScaleFromEdge(&pItem->ptLeft, pPoint->off.nOffset, nDpi));
        break;
    case DIP_ITEMTOP:
        // Likewise for the left and top edges, which come before or are the
        // top edge.
        c = pPoint == &pItem->ptLeft || pPoint == &pItem->ptTop
            ? nOffset
            : AddCoord(pItem->ptTop.nValue,
                       ScaleFromEdge(&pItem->ptTop, pPoint->off.nOffset, nDpi));
        break;
    case DIP_INDIRECT:
        c = pPoint->off.pnOffset != NULL ? *pPoint->off.pnOffset : 0;
        break;
    default:    // DIP_ABSOLUTE and every unknown type
        c = nOffset;
        break;
    }

    if (c == pPoint->nValue)
        return false;
    pPoint->nValue = c;
    return true;
}

bool DlgItemsControl::computeItemsPoints(_DLGITEM *pItem)
{
    // All four every time, left and top first, so that the right and bottom
    // edges see this computation's left and top.
    bool fChanged = computePoint(pItem, &pItem->ptLeft);
    fChanged = computePoint(pItem, &pItem->ptTop) || fChanged;
    fChanged = computePoint(pItem, &pItem->ptRight) || fChanged;
    fChanged = computePoint(pItem, &pItem->ptBottom) || fChanged;
    return fChanged;
}

void DlgItemsControl::addItem(const _ADDDLGITEM *pDesc)
{
    if (pDesc == NULL || pItems == NULL || nItems >= nMaxItems)
        return;

    _DLGITEM *pItem = &pItems[nItems];
    pItem->nID = pDesc->nID;
    pItem->pfVisible = pDesc->pfVisible;
    pItem->pfEnabled = pDesc->pfEnabled;
    SetPoint(&pItem->ptLeft, &pDesc->ptLeft);
    SetPoint(&pItem->ptTop, &pDesc->ptTop);
    SetPoint(&pItem->ptRight, &pDesc->ptRight);
    SetPoint(&pItem->ptBottom, &pDesc->ptBottom);
    computeItemsPoints(pItem);

    INT x = pItem->ptLeft.nValue;
    INT y = pItem->ptTop.nValue;
    pItem->hwnd = CreateWindowExA(pDesc->dwExStyle, pDesc->szClass, pDesc->szText,
                                  pDesc->dwStyle | WS_CHILD, x, y,
                                  SubCoord(pItem->ptRight.nValue, x),
                                  SubCoord(pItem->ptBottom.nValue, y),
                                  hwndParent, (HMENU)(INT_PTR)pDesc->nID, g_hInstance, NULL);
    ShowWindow(pItem->hwnd, FlagIsSet(pItem->pfVisible) ? SW_SHOW : SW_HIDE);
    nItems++;
}

void DlgItemsControl::resize(const RECT *prc)
{
    if (prc != NULL)
        rcClient = *prc;
    else
        GetClientRect(hwndParent, &rcClient);

    INT nCount = CountToVisit(nItems, nMaxItems, pItems);
    for (INT i = 0; i < nCount; i++) {
        _DLGITEM *pItem = &pItems[i];
        if (!computeItemsPoints(pItem))
            continue;
        INT x = pItem->ptLeft.nValue;
        INT y = pItem->ptTop.nValue;
        SetWindowPos(pItem->hwnd, NULL, x, y, SubCoord(pItem->ptRight.nValue, x),
                     SubCoord(pItem->ptBottom.nValue, y), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void DlgItemsControl::update()
{
    INT nCount = CountToVisit(nItems, nMaxItems, pItems);
    for (INT i = 0; i < nCount; i++) {
        _DLGITEM *pItem = &pItems[i];
        ShowWindow(pItem->hwnd, FlagIsSet(pItem->pfVisible) ? SW_SHOW : SW_HIDE);
        EnableWindow(pItem->hwnd, pItem->pfEnabled == NULL ? TRUE : *pItem->pfEnabled);
    }
}

void DlgItemsControl::sendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    INT nCount = CountToVisit(nItems, nMaxItems, pItems);
    for (INT i = 0; i < nCount; i++)
        SendMessageA(pItems[i].hwnd, uMsg, wParam, lParam);
}
