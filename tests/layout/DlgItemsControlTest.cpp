// Tests of DlgItemsControl with real controls in a real parent window.
#include "DlgItemsControl.h"

#include <gtest/gtest.h>

#include <map>
#include <stdio.h>
#include <string.h>
#include <vector>

HINSTANCE g_hInstance = GetModuleHandleA(NULL);

// Rectangles compared and printed by the assertions; RECT lives in the global
// namespace, so these must too.
bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void PrintTo(const RECT &rc, std::ostream *os)
{
    *os << "{" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << "}";
}

namespace {

const char szParentClass[] = "QWLAYOUTTESTPARENT";

// The window procedure of each subclassed control, and how often each control
// was about to be moved or resized (Wine sends WM_WINDOWPOSCHANGING for
// every SetWindowPos, WM_WINDOWPOSCHANGED only when something changes).
std::map<HWND, WNDPROC> g_mapOldProc;
std::map<HWND, int> g_mapPosChanging;

// Controls that received WM_APP, in order, with the parameters they got.
struct _SEEN {
    HWND hwnd;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<_SEEN> g_vSeen;

// Counts WM_WINDOWPOSCHANGING and records WM_APP, then passes the message on.
LRESULT CALLBACK CountingProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_WINDOWPOSCHANGING)
        g_mapPosChanging[hwnd]++;
    if (uMsg == WM_APP) {
        _SEEN seen = { hwnd, wParam, lParam };
        g_vSeen.push_back(seen);
    }
    return CallWindowProcA(g_mapOldProc[hwnd], hwnd, uMsg, wParam, lParam);
}

// An edge given by type and offset.
_ADDDLGITEMPOINT Pt(INT nType, INT nOffset)
{
    _ADDDLGITEMPOINT pt;
    pt.nType = nType;
    pt.off.pnOffset = NULL;
    pt.off.nOffset = nOffset;
    return pt;
}

// An edge that follows an integer (DIP_INDIRECT).
_ADDDLGITEMPOINT PtRef(const INT *pn)
{
    _ADDDLGITEMPOINT pt;
    pt.nType = DIP_INDIRECT;
    pt.off.pnOffset = pn;
    return pt;
}

// A STATIC control description with the given edges and flags.
_ADDDLGITEM Desc(_ADDDLGITEMPOINT ptLeft, _ADDDLGITEMPOINT ptTop, _ADDDLGITEMPOINT ptRight,
                 _ADDDLGITEMPOINT ptBottom, const INT *pfVisible = NULL,
                 const INT *pfEnabled = NULL)
{
    _ADDDLGITEM desc;
    memset(&desc, 0, sizeof(desc));
    desc.nID = -1;
    strcpy(desc.szClass, "STATIC");
    desc.pfVisible = pfVisible;
    desc.pfEnabled = pfEnabled;
    desc.ptLeft = ptLeft;
    desc.ptTop = ptTop;
    desc.ptRight = ptRight;
    desc.ptBottom = ptBottom;
    return desc;
}

RECT Rect(INT nLeft, INT nTop, INT nRight, INT nBottom)
{
    RECT rc = { nLeft, nTop, nRight, nBottom };
    return rc;
}

// The four computed coordinates of a control.
RECT Points(const _DLGITEM &item)
{
    return Rect(item.ptLeft.nValue, item.ptTop.nValue, item.ptRight.nValue, item.ptBottom.nValue);
}

bool IsShown(HWND hwnd)
{
    return (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

class DlgItemsControlTest : public ::testing::Test {
protected:
    HWND hwndParent;

    static void SetUpTestSuite()
    {
        WNDCLASSEXA wcx;
        memset(&wcx, 0, sizeof(wcx));
        wcx.cbSize = sizeof(wcx);
        wcx.lpfnWndProc = DefWindowProcA;
        wcx.hInstance = g_hInstance;
        wcx.lpszClassName = szParentClass;
        RegisterClassExA(&wcx);
    }

    // A parent without frame, so that its client area is 317 x 251.
    void SetUp() override
    {
        hwndParent = CreateWindowExA(0, szParentClass, "", WS_POPUP, 0, 0, 317, 251, NULL, NULL,
                                     g_hInstance, NULL);
        ASSERT_TRUE(hwndParent != NULL);
        g_mapOldProc.clear();
        g_mapPosChanging.clear();
        g_vSeen.clear();
    }

    void TearDown() override { DestroyWindow(hwndParent); }

    // The control's rectangle in the parent's client coordinates.
    RECT PlacedAt(HWND hwnd)
    {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        MapWindowPoints(NULL, hwndParent, (POINT *)&rc, 2);
        return rc;
    }

    // Subclasses every control of the object and resets the counts.
    void Watch(const DlgItemsControl &dic)
    {
        for (INT i = 0; i < dic.nItems; i++) {
            HWND hwnd = dic.pItems[i].hwnd;
            g_mapOldProc[hwnd] = (WNDPROC)SetWindowLongPtrA(hwnd, GWLP_WNDPROC,
                                                            (LONG_PTR)CountingProc);
        }
        g_mapPosChanging.clear();
    }

    int Moves(HWND hwnd) { return g_mapPosChanging.count(hwnd) ? g_mapPosChanging[hwnd] : 0; }
};

// A reference rectangle whose left and top are not 0, so that DIP_LEFT and
// DIP_TOP differ from DIP_ABSOLUTE and the centres are seen to halve only the
// right and bottom.
const RECT rcRef = { 7, 11, 317, 251 };

TEST_F(DlgItemsControlTest, EveryAnchorTypeOnBothAxes)
{
    INT nFollowed = 57;
    struct {
        _ADDDLGITEMPOINT pt;
        INT nExpected;
    } acases[] = {
        { Pt(DIP_ABSOLUTE, 5), 5 },   { Pt(DIP_LEFT, 2), 9 },      { Pt(DIP_RIGHT, 2), 315 },
        { Pt(DIP_TOP, 2), 13 },       { Pt(DIP_BOTTOM, 27), 224 }, { Pt(DIP_VCENTER, 0), 125 },
        { Pt(DIP_VCENTER, -3), 122 }, { Pt(DIP_HCENTER, -67), 91 }, { Pt(10, 33), 33 },
        { Pt(-1, 44), 44 },           { Pt(0x7fffffff, 3), 3 },    { PtRef(NULL), 0 },
        { PtRef(&nFollowed), 57 },
    };
    const int nCases = (int)(sizeof(acases) / sizeof(acases[0]));
    DlgItemsControl dic(hwndParent, &rcRef, nCases);

    for (int i = 0; i < nCases; i++) {
        _ADDDLGITEM desc = Desc(acases[i].pt, acases[i].pt, Pt(DIP_ITEMLEFT, 20),
                                Pt(DIP_ITEMTOP, 10));
        dic.addItem(&desc);
    }
    ASSERT_EQ(nCases, dic.nItems);
    for (int i = 0; i < nCases; i++) {
        INT n = acases[i].nExpected;
        SCOPED_TRACE(testing::Message() << "case " << i);
        EXPECT_EQ(n, dic.pItems[i].ptLeft.nValue);
        EXPECT_EQ(n, dic.pItems[i].ptTop.nValue);
        EXPECT_EQ(Rect(n, n, n + 20, n + 10), PlacedAt(dic.pItems[i].hwnd));
    }

    // The followed integer is read again at each computation.
    nFollowed = -8;
    dic.resize(&rcRef);
    EXPECT_EQ(Rect(-8, -8, 12, 2), PlacedAt(dic.pItems[nCases - 1].hwnd));
    EXPECT_EQ(0, dic.pItems[nCases - 2].ptLeft.nValue);
}

TEST_F(DlgItemsControlTest, EachAxisScalesByItsOwnDpi)
{
    INT nFollowed = 57;
    struct {
        _ADDDLGITEMPOINT pt;
        INT nX;     // at 144 DPI
        INT nY;     // at 192 DPI
    } acases[] = {
        // Halves round away from zero: 7.5 to 8, -100.5 to -101, -4.5 to -5.
        { Pt(DIP_ABSOLUTE, 5), 8, 10 },      { Pt(DIP_LEFT, 2), 10, 11 },
        { Pt(DIP_RIGHT, 2), 314, 313 },      { Pt(DIP_HCENTER, -67), 57, 24 },
        { Pt(DIP_VCENTER, -3), 120, 119 },   { PtRef(&nFollowed), 57, 57 },
    };
    const int nCases = (int)(sizeof(acases) / sizeof(acases[0]));
    DlgItemsControl dic(hwndParent, &rcRef, nCases);
    dic.setDpi(144, 192);
    for (int i = 0; i < nCases; i++) {
        _ADDDLGITEM desc = Desc(acases[i].pt, acases[i].pt, Pt(DIP_ABSOLUTE, 400),
                                Pt(DIP_ABSOLUTE, 300));
        dic.addItem(&desc);
        SCOPED_TRACE(testing::Message() << "case " << i);
        EXPECT_EQ(Rect(acases[i].nX, acases[i].nY, 600, 600), Points(dic.pItems[i]));
    }
}

TEST_F(DlgItemsControlTest, EdgesThatMeetAt96DpiMeetAtEveryDpi)
{
    // A control that ends where the next begins at 96 DPI, on both axes.
    struct {
        _ADDDLGITEMPOINT ptStart;
        INT nSize;
        _ADDDLGITEMPOINT ptNext;
    } apairs[] = {
        { Pt(DIP_ABSOLUTE, 171), 40, Pt(DIP_ABSOLUTE, 211) },   // a label and its field
        { Pt(DIP_HCENTER, -67), 64, Pt(DIP_HCENTER, -3) },      // a button left of the centre
        { Pt(DIP_RIGHT, 65), 60, Pt(DIP_RIGHT, 5) },            // a text at the right edge
        { Pt(DIP_LEFT, 3), 45, Pt(DIP_LEFT, 48) },
    };
    // 138 and 163 are what Wine's font asks for at 120 and 144 DPI.
    const INT anDpi[] = { 96, 120, 138, 144, 163, 192, 213 };
    for (size_t d = 0; d < sizeof(anDpi) / sizeof(anDpi[0]); d++) {
        DlgItemsControl dic(hwndParent, &rcRef, 2);
        dic.setDpi(anDpi[d], anDpi[(d + 1) % (sizeof(anDpi) / sizeof(anDpi[0]))]);
        for (size_t i = 0; i < sizeof(apairs) / sizeof(apairs[0]); i++) {
            SCOPED_TRACE(testing::Message() << "pair " << i << " at " << dic.nDpiX << " x "
                                            << dic.nDpiY << " DPI");
            dic.nItems = 0;
            _ADDDLGITEM desc = Desc(apairs[i].ptStart, apairs[i].ptStart,
                                    Pt(DIP_ITEMLEFT, apairs[i].nSize),
                                    Pt(DIP_ITEMTOP, apairs[i].nSize));
            dic.addItem(&desc);
            desc = Desc(apairs[i].ptNext, apairs[i].ptNext, Pt(DIP_ITEMLEFT, 1),
                        Pt(DIP_ITEMTOP, 1));
            dic.addItem(&desc);
            EXPECT_EQ(dic.pItems[0].ptRight.nValue, dic.pItems[1].ptLeft.nValue);
            EXPECT_EQ(dic.pItems[0].ptBottom.nValue, dic.pItems[1].ptTop.nValue);
            DestroyWindow(dic.pItems[0].hwnd);
            DestroyWindow(dic.pItems[1].hwnd);
        }
    }
}

TEST_F(DlgItemsControlTest, CentresTruncateTowardZero)
{
    RECT rc = Rect(-20, -20, -5, -7);
    DlgItemsControl dic(hwndParent, &rc, 1);
    _ADDDLGITEM desc = Desc(Pt(DIP_HCENTER, 0), Pt(DIP_VCENTER, 0), Pt(DIP_HCENTER, 1),
                            Pt(DIP_VCENTER, 1));
    dic.addItem(&desc);
    EXPECT_EQ(-2, dic.pItems[0].ptLeft.nValue);     // -5 / 2, not -3
    EXPECT_EQ(-3, dic.pItems[0].ptTop.nValue);      // -7 / 2, not -4
    EXPECT_EQ(-1, dic.pItems[0].ptRight.nValue);
    EXPECT_EQ(-2, dic.pItems[0].ptBottom.nValue);
    EXPECT_EQ(Rect(-2, -3, -1, -2), PlacedAt(dic.pItems[0].hwnd));
}

TEST_F(DlgItemsControlTest, ItemEdgesSeeThisComputationsLeftAndTop)
{
    INT nX = 10, nY = 20;
    DlgItemsControl dic(hwndParent, &rcRef, 2);
    _ADDDLGITEM desc = Desc(PtRef(&nX), PtRef(&nY), Pt(DIP_ITEMLEFT, 64), Pt(DIP_ITEMTOP, 22));
    dic.addItem(&desc);
    // Across the axes: the right edge from the top, the bottom from the left.
    desc = Desc(PtRef(&nX), PtRef(&nY), Pt(DIP_ITEMTOP, 30), Pt(DIP_ITEMLEFT, 40));
    dic.addItem(&desc);
    EXPECT_EQ(Rect(10, 20, 74, 42), PlacedAt(dic.pItems[0].hwnd));
    EXPECT_EQ(Rect(10, 20, 50, 50), PlacedAt(dic.pItems[1].hwnd));

    nX = 100;
    nY = 5;
    dic.resize(&rcRef);
    EXPECT_EQ(Rect(100, 5, 164, 27), PlacedAt(dic.pItems[0].hwnd));
    // A right edge left of the left edge is kept as computed.
    EXPECT_EQ(Rect(100, 5, 35, 140), Points(dic.pItems[1]));
}

TEST_F(DlgItemsControlTest, EdgesReferringToThemselvesStayPut)
{
    DlgItemsControl dic(hwndParent, &rcRef, 2);
    _ADDDLGITEM desc = Desc(Pt(DIP_ITEMLEFT, 5), Pt(DIP_ITEMTOP, 7), Pt(DIP_ITEMLEFT, 30),
                            Pt(DIP_ITEMTOP, 12));
    dic.addItem(&desc);
    desc = Desc(Pt(DIP_ITEMTOP, 9), Pt(DIP_ITEMLEFT, 4), Pt(DIP_ITEMLEFT, 30),
                Pt(DIP_ITEMTOP, 12));
    dic.addItem(&desc);
    Watch(dic);

    for (int i = 0; i < 3; i++)
        dic.resize(&rcRef);
    EXPECT_EQ(Rect(5, 7, 35, 19), PlacedAt(dic.pItems[0].hwnd));
    EXPECT_EQ(Rect(9, 13, 39, 25), PlacedAt(dic.pItems[1].hwnd));
    EXPECT_EQ(0, Moves(dic.pItems[0].hwnd));
    EXPECT_EQ(0, Moves(dic.pItems[1].hwnd));
}

TEST_F(DlgItemsControlTest, CapacityLimitsTheControls)
{
    DlgItemsControl dic(hwndParent, NULL, 32);
    for (int i = 0; i < 33; i++) {
        _ADDDLGITEM desc = Desc(Pt(DIP_ABSOLUTE, i), Pt(DIP_ABSOLUTE, 0), Pt(DIP_ITEMLEFT, 5),
                                Pt(DIP_ITEMTOP, 5));
        snprintf(desc.szText, sizeof(desc.szText), "c%d", i);
        dic.addItem(&desc);
    }
    EXPECT_EQ(32, dic.nItems);
    EXPECT_TRUE(FindWindowExA(hwndParent, NULL, "STATIC", "c31") != NULL);
    EXPECT_TRUE(FindWindowExA(hwndParent, NULL, "STATIC", "c32") == NULL);

    for (INT nCapacity : { 0, -1 }) {
        SCOPED_TRACE(nCapacity);
        HWND hwndEmpty = CreateWindowExA(0, szParentClass, "", WS_POPUP, 0, 0, 50, 50, NULL,
                                         NULL, g_hInstance, NULL);
        DlgItemsControl dicEmpty(hwndEmpty, NULL, nCapacity);
        EXPECT_TRUE(dicEmpty.pItems == NULL);
        _ADDDLGITEM desc = Desc(Pt(0, 0), Pt(0, 0), Pt(0, 5), Pt(0, 5));
        dicEmpty.addItem(&desc);
        EXPECT_EQ(0, dicEmpty.nItems);
        EXPECT_TRUE(GetWindow(hwndEmpty, GW_CHILD) == NULL);
        dicEmpty.update();
        dicEmpty.resize(NULL);
        dicEmpty.sendMessage(WM_APP, 0, 0);
        DestroyWindow(hwndEmpty);
    }
}

TEST_F(DlgItemsControlTest, FlagsShowAndEnableThroughAddItemAndUpdate)
{
    INT fVisA = 0, fEnA = 0, fVisC = 1, fEnC = 1;
    DlgItemsControl dic(hwndParent, NULL, 3);
    _ADDDLGITEM desc = Desc(Pt(0, 0), Pt(0, 0), Pt(0, 10), Pt(0, 10), &fVisA, &fEnA);
    dic.addItem(&desc);
    desc = Desc(Pt(0, 0), Pt(0, 0), Pt(0, 10), Pt(0, 10));
    dic.addItem(&desc);
    desc = Desc(Pt(0, 0), Pt(0, 0), Pt(0, 10), Pt(0, 10), &fVisC, &fEnC);
    dic.addItem(&desc);
    HWND hwndA = dic.pItems[0].hwnd, hwndB = dic.pItems[1].hwnd, hwndC = dic.pItems[2].hwnd;

    // addItem applies visibility only.
    EXPECT_FALSE(IsShown(hwndA));
    EXPECT_TRUE(IsWindowEnabled(hwndA));
    EXPECT_TRUE(IsShown(hwndB));
    EXPECT_TRUE(IsShown(hwndC));

    dic.update();
    EXPECT_FALSE(IsShown(hwndA));
    EXPECT_FALSE(IsWindowEnabled(hwndA));
    EXPECT_TRUE(IsShown(hwndB) && IsWindowEnabled(hwndB));
    EXPECT_TRUE(IsShown(hwndC) && IsWindowEnabled(hwndC));

    // Any non-zero value counts; a hidden control takes its enable flag too;
    // controls without flags are shown and enabled again whatever happened.
    fVisA = 2;
    fEnA = -1;
    fVisC = 0;
    fEnC = 0;
    ShowWindow(hwndB, SW_HIDE);
    EnableWindow(hwndB, FALSE);
    dic.update();
    EXPECT_TRUE(IsShown(hwndA) && IsWindowEnabled(hwndA));
    EXPECT_TRUE(IsShown(hwndB) && IsWindowEnabled(hwndB));
    EXPECT_FALSE(IsShown(hwndC));
    EXPECT_FALSE(IsWindowEnabled(hwndC));

    // resize neither shows, hides, enables nor disables.
    fVisA = 0;
    fEnC = 1;
    RECT rc = Rect(0, 0, 100, 100);
    dic.resize(&rc);
    EXPECT_TRUE(IsShown(hwndA));
    EXPECT_FALSE(IsWindowEnabled(hwndC));
}

TEST_F(DlgItemsControlTest, ResizeMovesOnlyTheControlsThatChange)
{
    DlgItemsControl dic(hwndParent, NULL, 6);
    _ADDDLGITEM adesc[] = {
        Desc(Pt(DIP_ABSOLUTE, 8), Pt(DIP_ABSOLUTE, 26), Pt(DIP_ITEMLEFT, 122), Pt(DIP_ITEMTOP, 60)),
        Desc(Pt(DIP_HCENTER, -67), Pt(DIP_BOTTOM, 27), Pt(DIP_ITEMLEFT, 64), Pt(DIP_BOTTOM, 5)),
        Desc(Pt(DIP_ABSOLUTE, 3), Pt(DIP_VCENTER, 0), Pt(DIP_ITEMLEFT, 10), Pt(DIP_ITEMTOP, 10)),
        Desc(Pt(DIP_LEFT, 2), Pt(DIP_TOP, 2), Pt(DIP_RIGHT, 2), Pt(DIP_BOTTOM, 32)),
        Desc(Pt(DIP_ABSOLUTE, 135), Pt(DIP_ABSOLUTE, 26), Pt(DIP_RIGHT, 8), Pt(DIP_ITEMTOP, 123)),
        Desc(Pt(DIP_HCENTER, 3), Pt(DIP_ABSOLUTE, 4), Pt(DIP_ITEMLEFT, 64), Pt(DIP_ITEMTOP, 22)),
    };
    for (const _ADDDLGITEM &desc : adesc)
        dic.addItem(&desc);
    Watch(dic);
    EXPECT_EQ(Rect(91, 224, 155, 246), PlacedAt(dic.pItems[1].hwnd));

    // SetWindowPos to the place a control already has is seen too, so the
    // counts below would catch a control moved without need.
    RECT rc = PlacedAt(dic.pItems[0].hwnd);
    SetWindowPos(dic.pItems[0].hwnd, NULL, rc.left, rc.top, rc.right - rc.left,
                 rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(1, Moves(dic.pItems[0].hwnd));
    g_mapPosChanging.clear();

    RECT rcSame = Rect(0, 0, 317, 251);
    dic.resize(&rcSame);
    dic.resize(NULL);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(0, Moves(dic.pItems[i].hwnd)) << "control " << i;

    RECT rcTaller = Rect(0, 0, 317, 291);
    dic.resize(&rcTaller);
    const bool afMoved[] = { false, true, true, true, false, false };
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(afMoved[i] ? 1 : 0, Moves(dic.pItems[i].hwnd)) << "control " << i;
    EXPECT_EQ(Rect(91, 264, 155, 286), PlacedAt(dic.pItems[1].hwnd));
    EXPECT_EQ(Rect(3, 145, 13, 155), PlacedAt(dic.pItems[2].hwnd));
    EXPECT_EQ(Rect(2, 2, 315, 259), PlacedAt(dic.pItems[3].hwnd));
    EXPECT_EQ(Rect(135, 26, 309, 149), PlacedAt(dic.pItems[4].hwnd));

    // Without a rectangle the parent's client area is the new reference.
    SetWindowPos(hwndParent, NULL, 0, 0, 217, 151, SWP_NOZORDER | SWP_NOACTIVATE);
    g_mapPosChanging.clear();
    dic.resize(NULL);
    EXPECT_EQ(Rect(0, 0, 217, 151), dic.rcClient);
    EXPECT_EQ(Rect(41, 124, 105, 146), PlacedAt(dic.pItems[1].hwnd));
    EXPECT_EQ(0, Moves(dic.pItems[0].hwnd));
    EXPECT_EQ(1, Moves(dic.pItems[5].hwnd));
}

TEST_F(DlgItemsControlTest, CreatesControlsAsDescribed)
{
    DlgItemsControl dic(hwndParent, NULL, 3);
    EXPECT_EQ(Rect(0, 0, 317, 251), dic.rcClient);

    _ADDDLGITEM desc = Desc(Pt(DIP_ABSOLUTE, 14), Pt(DIP_ABSOLUTE, 62), Pt(DIP_ITEMLEFT, 200),
                            Pt(DIP_ITEMTOP, 15));
    desc.nID = 602;
    strcpy(desc.szClass, "BUTTON");
    strcpy(desc.szText, "Support Dolby\x99 Surround (6-channel)");
    desc.dwStyle = BS_CHECKBOX;
    desc.dwExStyle = WS_EX_CLIENTEDGE;
    dic.addItem(&desc);
    desc.nID = -1;
    strcpy(desc.szClass, "NoSuchClassAnywhere");
    dic.addItem(&desc);
    ASSERT_EQ(2, dic.nItems);

    HWND hwnd = dic.pItems[0].hwnd;
    char szText[80];
    EXPECT_EQ(602, GetDlgCtrlID(hwnd));
    EXPECT_TRUE(GetParent(hwnd) == hwndParent);
    GetClassNameA(hwnd, szText, sizeof(szText));
    EXPECT_STRCASEEQ("BUTTON", szText);
    GetWindowTextA(hwnd, szText, sizeof(szText));
    EXPECT_STREQ("Support Dolby\x99 Surround (6-channel)", szText);
    LONG lStyle = GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_EQ((LONG)(WS_CHILD | WS_VISIBLE | BS_CHECKBOX), lStyle & (WS_CHILD | WS_VISIBLE | 0xF));
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_TRUE((HINSTANCE)GetWindowLongPtrA(hwnd, GWLP_HINSTANCE) == g_hInstance);
    EXPECT_EQ(Rect(14, 62, 214, 77), PlacedAt(hwnd));

    // A control that could not be created is counted with a null handle, and
    // the later calls pass over it.
    EXPECT_TRUE(dic.pItems[1].hwnd == NULL);
    desc.nID = 7;
    strcpy(desc.szClass, "EDIT");
    dic.addItem(&desc);
    EXPECT_EQ(3, dic.nItems);
    dic.update();
    RECT rc = Rect(0, 0, 300, 300);
    dic.resize(&rc);
    EXPECT_TRUE(IsWindowEnabled(dic.pItems[2].hwnd));
}

TEST_F(DlgItemsControlTest, SendMessageReachesEveryControlInOrder)
{
    RECT rc = Rect(0, 0, 100, 100);
    DlgItemsControl *p_dic = new DlgItemsControl(hwndParent, &rc, 4);
    EXPECT_EQ(rc, p_dic->rcClient);
    for (int i = 0; i < 3; i++) {
        _ADDDLGITEM desc = Desc(Pt(0, 0), Pt(0, 10 * i), Pt(0, 10), Pt(DIP_ITEMTOP, 10));
        p_dic->addItem(&desc);
    }
    Watch(*p_dic);
    p_dic->sendMessage(WM_APP, 7, -9);
    ASSERT_EQ(3u, g_vSeen.size());
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(g_vSeen[i].hwnd == p_dic->pItems[i].hwnd) << i;
        EXPECT_EQ(7u, g_vSeen[i].wParam);
        EXPECT_EQ(-9, g_vSeen[i].lParam);
    }

    // The controls belong to the parent and outlive the object.
    HWND hwnd = p_dic->pItems[0].hwnd;
    delete p_dic;
    EXPECT_TRUE(IsWindow(hwnd));
}

}   // namespace
