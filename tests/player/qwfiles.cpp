// qwfiles: what other programs do to qw.ini while the player uses the editor,
// for the player tests. Paths are Windows paths (relative ones are fine).
//
//   qwfiles hold FILE UNTIL   opens FILE without sharing it, as the game or a
//                             backup tool may, prints "held" and keeps it open
//                             until the file UNTIL exists (at most 120 s)
//   qwfiles watch FOLDER NAME UNTIL
//                             watches FOLDER, prints "watching", and once UNTIL
//                             exists prints how many times a file named NAME
//                             appeared there (created, or renamed or moved to
//                             that name): one per replace of the file
//
// Exit code 0 on success, 1 when the file or folder cannot be opened, 2 on a
// wrong command line, 3 when the watch lost events.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

// Longest wait for the file that ends a command.
#define WAIT_LIMIT_MS 120000
// How long a watch goes on taking events after the end was signalled.
#define DRAIN_MS 500

// Waits until pszUntil exists or WAIT_LIMIT_MS have passed.
static void WaitForFile(const char *pszUntil)
{
    DWORD dwStart = GetTickCount();
    while (GetFileAttributesA(pszUntil) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount() - dwStart < WAIT_LIMIT_MS)
        Sleep(50);
}

// Prints one line at once: the scripts wait for it.
static void Say(const char *pszLine)
{
    printf("%s\n", pszLine);
    fflush(stdout);
}

// "hold": keeps pszFile open without sharing until pszUntil exists.
static int Hold(const char *pszFile, const char *pszUntil)
{
    HANDLE hFile = CreateFileA(pszFile, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        printf("cannot open %s: error %lu\n", pszFile, GetLastError());
        return 1;
    }
    Say("held");
    WaitForFile(pszUntil);
    CloseHandle(hFile);
    return 0;
}

// Counts the records of one block of changes that name wszName as a new entry;
// sets *pfLost when the block reports lost events.
static int CountArrivals(const BYTE *pb, DWORD cb, const WCHAR *wszName, bool *pfLost)
{
    int nArrivals = 0;
    if (cb == 0)
        *pfLost = true;   // the system's buffer overflowed
    for (DWORD off = 0; cb != 0 && off < cb;) {
        const FILE_NOTIFY_INFORMATION *pfni = (const FILE_NOTIFY_INFORMATION *)(pb + off);
        int cch = (int)(pfni->FileNameLength / sizeof(WCHAR));
        bool fArrival = pfni->Action == FILE_ACTION_ADDED ||
                        pfni->Action == FILE_ACTION_RENAMED_NEW_NAME;
        if (fArrival && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, pfni->FileName, cch,
                                       wszName, -1) == CSTR_EQUAL)
            nArrivals++;
        if (pfni->NextEntryOffset == 0)
            break;
        off += pfni->NextEntryOffset;
    }
    return nArrivals;
}

// "watch": counts arrivals of pszName in pszFolder until pszUntil exists.
static int Watch(const char *pszFolder, const char *pszName, const char *pszUntil)
{
    HANDLE hFolder = CreateFileA(pszFolder, FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                                 NULL);
    WCHAR wszName[MAX_PATH];
    if (hFolder == INVALID_HANDLE_VALUE ||
        !MultiByteToWideChar(CP_ACP, 0, pszName, -1, wszName, MAX_PATH)) {
        printf("cannot watch %s: error %lu\n", pszFolder, GetLastError());
        return 1;
    }
    static DWORD adwBuffer[16384];   // DWORD-aligned, as the records must be
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    int nArrivals = 0;
    bool fLost = false, fEnding = false, fSaid = false;
    DWORD dwEnd = 0;
    for (;;) {
        ResetEvent(ov.hEvent);
        if (!ReadDirectoryChangesW(hFolder, adwBuffer, sizeof(adwBuffer), FALSE,
                                   FILE_NOTIFY_CHANGE_FILE_NAME, NULL, &ov, NULL)) {
            printf("cannot watch %s: error %lu\n", pszFolder, GetLastError());
            return 1;
        }
        if (!fSaid)
            Say("watching");
        fSaid = true;
        DWORD cb = 0;
        for (;;) {
            if (WaitForSingleObject(ov.hEvent, 50) == WAIT_OBJECT_0) {
                GetOverlappedResult(hFolder, &ov, &cb, FALSE);
                nArrivals += CountArrivals((const BYTE *)adwBuffer, cb, wszName, &fLost);
                break;
            }
            if (!fEnding && GetFileAttributesA(pszUntil) != INVALID_FILE_ATTRIBUTES) {
                fEnding = true;
                dwEnd = GetTickCount();
            }
            if (fEnding && GetTickCount() - dwEnd > DRAIN_MS) {
                printf("%d\n", nArrivals);
                return fLost ? 3 : 0;
            }
        }
    }
}

int main(int argc, char **argv)
{
    // Plain line feeds: the output is read by shell scripts.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 4 && lstrcmpA(argv[1], "hold") == 0)
        return Hold(argv[2], argv[3]);
    if (argc == 5 && lstrcmpA(argv[1], "watch") == 0)
        return Watch(argv[2], argv[3], argv[4]);
    fprintf(stderr, "usage: qwfiles hold FILE UNTIL | qwfiles watch FOLDER NAME UNTIL\n");
    return 2;
}
