// Main: program start and the main window of the settings editor.
#ifndef QW_MAIN_H
#define QW_MAIN_H

#include <windows.h>

// Client area of the main window at 96 DPI, which the control table fills; it
// grows with the control table at other DPIs.
#define MAIN_CLIENT_WIDTH 317
#define MAIN_CLIENT_HEIGHT 250

// Outer size of the main window at 96 DPI with the classic frame and a 19-pixel
// caption; the window takes the size that its frame needs around the client area.
#define MAIN_WIDTH 323
#define MAIN_HEIGHT 275

// Size of szIniFile: a path of up to MAX_PATH - 1 UTF-16 units takes at most
// three bytes for each in UTF-8 (a pair of units, one character, takes four).
#define INI_PATH_SIZE (3 * MAX_PATH)

extern HINSTANCE g_hInstance;      // the module instance, set first by WinMain
extern HWND g_hwndMain;            // the main window, once its creation has returned
// Size of szIniFileShown: the working directory's own name (up to MAX_PATH - 1
// UTF-16 units), "\qw.ini" and room to spare, three bytes for each in UTF-8.
#define INI_SHOWN_SIZE (3 * 2 * MAX_PATH)

extern char szIniFile[INI_PATH_SIZE];   // full path of qw.ini in the working directory, UTF-8
// The same path by the folder's own name, also where szIniFile goes through
// its short name: what every box shows the player.
extern char szIniFileShown[INI_SHOWN_SIZE];

// The window procedure of the class "MAIN".
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

#endif
