// EditorSession: runs the editor's WinMain on a thread of the test program, in a
// working folder of the test's choosing, and lets the test drive it from the
// main thread the way the window's own controls and the player would.
#ifndef QW_EDITORSESSION_H
#define QW_EDITORSESSION_H

#include <windows.h>

#include <string>

class EditorSession {
public:
    EditorSession();
    ~EditorSession();

    // Starts WinMain with pszFolder as working directory; false when no window
    // appeared within a few seconds.
    bool start(const char *pszFolder);
    // As start, without waiting for anything.
    bool launch(const char *pszFolder);
    // Waits for WinMain to return; false on timeout. Its result is in nExitCode.
    bool waitForExit(DWORD dwMilliseconds = 5000);
    bool running() const;

    HWND control(int nID) const;
    // Selects a tab as a click on it would: TCM_SETCURSEL, then the notification
    // that the tab control sends to its parent.
    void selectTab(int nIndex);
    // Presses a button or check box (BM_CLICK), waiting until it is handled.
    void click(int nID);
    // As click, but returns at once: for controls that open a modal window.
    void clickAsync(int nID);
    // Sends WM_COMMAND as the control with identifier nID would.
    void command(int nID, int nCode);
    bool checked(int nID) const;
    std::string text(int nID) const;
    void setText(int nID, const char *pszText);
    // Replaces a field's text as a paste of the UTF-8 text would (the field's
    // own limit applies, unlike setText's).
    void paste(int nID, const char *pszText);
    // Waits until every message sent so far has been handled; a posted one
    // (clickAsync) may still wait in the editor's queue.
    void sync();
    // Finds a dialog box (class #32770) of the editor's thread with this
    // caption, waiting up to dwMilliseconds; null when none appeared.
    HWND waitForDialog(const char *pszCaption, DWORD dwMilliseconds = 5000) const;
    // Presses a button of a dialog box and waits until the box has gone.
    bool answerDialog(HWND hwndDialog, int nButton);

    HWND hwnd;
    HANDLE hThread;
    DWORD dwThreadId;
    DWORD nExitCode;
};

// A fresh folder under the system's temporary folder; removed with its files
// by removeTempFolder.
std::string makeTempFolder();
void removeTempFolder(const std::string &folder);
// Paths in UTF-8, as the editor's szIniFile; utf8 and fromUtf8 convert.
std::string utf8(const std::wstring &wide);
std::wstring fromUtf8(const std::string &path);
bool readFileBytes(const std::string &path, std::string *pData);
bool writeFileBytes(const std::string &path, const std::string &data);
bool fileExists(const std::string &path);

#endif
