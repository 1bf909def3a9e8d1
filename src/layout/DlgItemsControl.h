// DlgItemsControl: creates the child controls of one window from descriptions,
// places every edge of every control by an anchor rule relative to a reference
// rectangle (by default the parent's client area), and shows, hides, enables
// and disables all of them from integer flags that the owner keeps. The
// descriptions' distances are pixels at 96 DPI, scaled to the DPI that the
// owner sets (by default 96: as described).
#ifndef QW_DLGITEMSCONTROL_H
#define QW_DLGITEMSCONTROL_H

#include <windows.h>

// Anchor types of one edge; R is the reference rectangle.
enum {
    DIP_ABSOLUTE = 0,   // the offset itself
    DIP_LEFT = 1,       // R.left + offset
    DIP_RIGHT = 2,      // R.right - offset
    DIP_TOP = 3,        // R.top + offset
    DIP_BOTTOM = 4,     // R.bottom - offset
    DIP_VCENTER = 5,    // R.bottom / 2 + offset
    DIP_HCENTER = 6,    // R.right / 2 + offset
    DIP_ITEMLEFT = 7,   // this control's left edge + offset
    DIP_ITEMTOP = 8,    // this control's top edge + offset
    DIP_INDIRECT = 9    // the integer that pnOffset points to (0 when null), not scaled
    // any other type behaves as DIP_ABSOLUTE
};

// The distance of an anchor: a number of pixels, or for DIP_INDIRECT a pointer
// to the integer to read. A union, so that the pointer fits in both builds.
union _DLGITEMOFFSET {
    INT nOffset;
    const INT *pnOffset;
};

// One anchored coordinate: the x of a left or right edge or the y of a top or
// bottom edge.
struct _DLGITEMPOINT {
    INT nType;
    _DLGITEMOFFSET off;
    INT nValue;          // the coordinate computed last
};

// One control held by the class.
struct _DLGITEM {
    INT nID;
    _DLGITEMPOINT ptLeft;
    _DLGITEMPOINT ptTop;
    _DLGITEMPOINT ptRight;
    _DLGITEMPOINT ptBottom;
    const INT *pfVisible;   // null or non-zero: shown
    const INT *pfEnabled;   // null or non-zero: enabled
    HWND hwnd;
};

// Type and distance of one edge, as a description gives it.
struct _ADDDLGITEMPOINT {
    INT nType;
    _DLGITEMOFFSET off;
};

// The description of one control, as the caller supplies it.
struct _ADDDLGITEM {
    INT nID;
    char szClass[25];
    char szText[67];
    DWORD dwStyle;        // WS_CHILD is added when the control is created
    DWORD dwExStyle;
    const INT *pfVisible;
    const INT *pfEnabled;
    _ADDDLGITEMPOINT ptLeft;
    _ADDDLGITEMPOINT ptTop;
    _ADDDLGITEMPOINT ptRight;
    _ADDDLGITEMPOINT ptBottom;
};

// The module instance handle that controls are created with; program start
// sets it before any window exists.
extern HINSTANCE g_hInstance;

class DlgItemsControl {
public:
    DlgItemsControl(HWND hwndParent, const RECT *prc, INT nMaxItems);
    ~DlgItemsControl();

    void setDpi(INT nDpiX, INT nDpiY);
    void addItem(const _ADDDLGITEM *pDesc);
    bool computeItemsPoints(_DLGITEM *pItem);
    bool computePoint(_DLGITEM *pItem, _DLGITEMPOINT *pPoint);
    void resize(const RECT *prc);
    void update();
    void sendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);

    RECT rcClient;
    HWND hwndParent;
    INT nItems;
    INT nMaxItems;
    _DLGITEM *pItems;
    INT nDpiX;           // distances of left and right edges are scaled to this DPI
    INT nDpiY;           // those of top and bottom edges to this one

private:
    DlgItemsControl(const DlgItemsControl &);
    DlgItemsControl &operator=(const DlgItemsControl &);
};

#endif
