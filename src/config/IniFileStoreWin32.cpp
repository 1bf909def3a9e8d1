// IniFileStore on Windows: reading a file whole and putting new content in its
// place with a temporary file and ReplaceFileW (which keeps the replaced
// file's attributes, permissions and creation time), or in place where no
// temporary file can stand in for it. It decides only by what Windows
// promises: a file's bytes, read through a handle that keeps writers out, and
// whether somebody holds a file open; never by a file index or a process
// number. ReplaceFileW is given a backup name of the store's own
// ("<file>.qwconfig-<pid>-<n>.bak"), so every file of a failed or interrupted
// replace has a name the store knows (IniFileStore.h tells how each is met).
#include "IniFileStore.h"

#include "IniFiles.h"

#include <windows.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

// The seam's names of the calls are known to every build; only a test build
// routes the calls through it.
#include "IniFileFaults.h"
#ifdef QW_IO_FAULTS
// A call that a test can make fail: the failure value instead, with the last
// error the test chose.
#define WIO(nCall, pwszName, failed, expr) (IniFault_HitWin32(nCall, pwszName) ? (failed) : (expr))
#else
#define WIO(nCall, pwszName, failed, expr) ((void)(nCall), (void)(pwszName), (expr))
#endif

// Candidate names tried for a temporary file.
#define TEMP_TRIES 100
// Largest block handed to one ReadFile or WriteFile call.
#define IO_CHUNK 0x40000000u
// Tries of a replace that another program (a virus checker, the search
// indexer) refuses for a moment, and the first pause between them in
// milliseconds; each pause doubles (10 + 20 + 40 + 80 ms at most).
#define REPLACE_TRIES 5
#define REPLACE_PAUSE 10
// The end of a backup's name, instead of ".tmp".
#define BACKUP_END ".bak"

// Attributes that a replaced file keeps (read-only files are never replaced).
#define KEPT_ATTRIBUTES (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | \
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)

// How long a save waits for another save of the same file, in milliseconds.
#define SAVE_LOCK_WAIT 2000
// The room for the name of a file's save mutex: "Local\qwconfig-" and 16 digits.
#define LOCK_NAME 40
// Tries of the start's restore while a backup is held or its move refused
// (10 ms doubling: about 1.3 s in all).
#define RESTORE_TRIES 8
// Room for a name the store builds: the file's full name (less than MAX_PATH
// units), a "\\?\UNC\" prefix and the end of a temporary name.
#define NAME_ROOM (MAX_PATH + 8 + TEMP_SUFFIX)

// What a read learned of the file: its number of hard links, attributes,
// creation time, and whether its name is a symbolic link.
struct _WIN32FACTS {
    DWORD nLinks, dwAttributes;
    FILETIME ftCreated;
    bool fLink;
};

// A result of the replace through a temporary file besides the INISAVE_
// ones: the save is to go in place.
#define SAVE_IN_PLACE (-1)

// How the files stand after a failed ReplaceFileW was put right.
enum {
    SETTLED_OLD,   // the file holds the old content, the temporary file is still there
    SETTLED_NEW,   // the new content is in place
    SETTLED_GONE,  // the file holds the old content, the temporary file is gone
    SETTLED_LOST,  // the file is missing: its content is only under the backup name, if anywhere
    SETTLED_UNKNOWN // the file is there; whether it holds the old or the new content is unknown
};

// The INIFILE_ result for a failed open of a file to read.
static int ResultOfOpenError(DWORD dwError)
{
    switch (dwError) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND:
        return INIFILE_MISSING;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
        return INIFILE_LOCKED;
    case ERROR_ACCESS_DENIED:
        return INIFILE_DENIED;
    default:
        return INIFILE_FAILED;
    }
}

// The INISAVE_ result for a failed call of a save.
static int ResultOfSaveError(DWORD dwError)
{
    switch (dwError) {
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
        return INISAVE_LOCKED;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT:
        return INISAVE_DENIED;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL:
        return INISAVE_FULL;
    case ERROR_CRC: case ERROR_IO_DEVICE: case ERROR_READ_FAULT: case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE: case ERROR_SECTOR_NOT_FOUND: case ERROR_SEEK: case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST: case ERROR_NETNAME_DELETED: case ERROR_UNEXP_NET_ERR:
        return INISAVE_IO;
    default:
        return INISAVE_FAILED;
    }
}

// True for the failures that another program's brief open causes.
static bool IsTransient(DWORD dwError)
{
    return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION ||
           dwError == ERROR_LOCK_VIOLATION;
}

// Reads up to cb bytes from the file (a HANDLE) into pb; gives the number
// read, 0 at its end, -1 on failure.
static long ReadSome(void *pvFile, unsigned char *pb, size_t cb)
{
    DWORD cbRead = 0;
    if (!WIO(WIO_READ, NULL, FALSE,
             ReadFile((HANDLE)pvFile, pb, cb > IO_CHUNK ? IO_CHUNK : (DWORD)cb, &cbRead, NULL)))
        return -1;
    return (long)cbRead;
}

// Writes all cb bytes behind what was written to the file (a HANDLE) before;
// false on the first failed write.
static bool WriteNext(void *pvFile, const unsigned char *pb, size_t cb)
{
    while (cb > 0) {
        DWORD cbWritten = 0;
        if (!WIO(WIO_WRITE, NULL, FALSE,
                 WriteFile((HANDLE)pvFile, pb, cb > IO_CHUNK ? IO_CHUNK : (DWORD)cb, &cbWritten, NULL)))
            return false;
        if (cbWritten == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        pb += cbWritten;
        cb -= cbWritten;
    }
    return true;
}

// Writes the pieces to hFile from offset 0 on, and gives their size.
static bool WritePieces(HANDLE hFile, const _INIPIECE *aPieces, size_t nPieces, size_t *pcb)
{
    *pcb = 0;
    for (size_t i = 0; i < nPieces; i++)
        *pcb += aPieces[i].cb;
    return SetFilePointer(hFile, 0, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           IniStore_WritePieces(aPieces, nPieces, WriteNext, hFile);
}

// Sets the length of hFile to cb bytes.
static bool SetLength(HANDLE hFile, size_t cb)
{
    LONG nHigh = (LONG)((unsigned long long)cb >> 32);
    return (SetFilePointer(hFile, (LONG)(DWORD)cb, &nHigh, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
            GetLastError() == NO_ERROR) &&
           WIO(WIO_SET_END, NULL, FALSE, SetEndOfFile(hFile));
}

// Flushes hFile to the disk.
static bool Flush(HANDLE hFile)
{
    return WIO(WIO_FLUSH, NULL, FALSE, FlushFileBuffers(hFile));
}

// True when a file or folder of that name is in its folder, even one that is
// being deleted (which refuses every open).
static bool NameExists(const wchar_t *pwszName)
{
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(pwszName, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    FindClose(hFind);
    return true;
}

// Compares the open file, read from its start, with the cb bytes at pb: 1
// when it holds exactly them, 0 when not, -1 (last error set) when it cannot
// be read.
static int HoldsBytes(HANDLE hFile, const unsigned char *pb, size_t cb)
{
    if (SetFilePointer(hFile, 0, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return -1;
    return IniStore_HoldsBytes(ReadSome, hFile, pb, cb);
}

// Opens the file of that name with dwAccess, sharing it with everyone.
static HANDLE OpenShared(const wchar_t *pwszName, DWORD dwAccess)
{
    return WIO(WIO_OPEN, pwszName, INVALID_HANDLE_VALUE,
               CreateFileW(pwszName, dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
}

// 1 when a program holds the file of that name open to read it (a running
// save holds its backup so), 0 when none does, -1 when that cannot be told:
// an open that does not share reading fails only while another one reads.
static int IsHeld(const wchar_t *pwszName)
{
    HANDLE hFile = CreateFileW(pwszName, GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? 1 : -1;
    CloseHandle(hFile);
    return 0;
}

// Opens the file that was read with dwAccess, sharing it with others only as
// dwShare allows, and makes sure that it still holds the bytes that were read
// (size first): only the bytes count, never an index or a time. Gives
// INISAVE_OK with the open file in *phFile, or INISAVE_CHANGED or the failure
// (its error in *pdwError) with nothing open.
static int OpenUnchanged(const wchar_t *pwszFile, const _INIFILEDATA *pfd, int nCall, DWORD dwAccess,
                         DWORD dwShare, HANDLE *phFile, DWORD *pdwError)
{
    *phFile = WIO(nCall, pwszFile, INVALID_HANDLE_VALUE,
                  CreateFileW(pwszFile, dwAccess, dwShare, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    *pdwError = NO_ERROR;
    if (*phFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = *pdwError = GetLastError(), dwAttributes = GetFileAttributesW(pwszFile);
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            return INISAVE_CHANGED;
        // Windows refuses a write open of a read-only file for access.
        if (dwError == ERROR_ACCESS_DENIED && dwAttributes != INVALID_FILE_ATTRIBUTES &&
            (dwAttributes & FILE_ATTRIBUTE_READONLY))
            return INISAVE_READ_ONLY;
        return ResultOfSaveError(dwError);
    }
    BY_HANDLE_FILE_INFORMATION bhfi;
    int nResult = INISAVE_CHANGED, nSame;
    if (!GetFileInformationByHandle(*phFile, &bhfi))
        nResult = ResultOfSaveError(GetLastError());
    else if (bhfi.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        nResult = INISAVE_READ_ONLY;
    else if (bhfi.nFileSizeHigh != (DWORD)((unsigned long long)pfd->cb >> 32) ||
             bhfi.nFileSizeLow != (DWORD)pfd->cb)
        nResult = INISAVE_CHANGED;
    else if ((nSame = HoldsBytes(*phFile, pfd->pb, pfd->cb)) != 0)
        nResult = nSame > 0 ? INISAVE_OK : ResultOfSaveError(GetLastError());
    if (nResult != INISAVE_OK) {
        CloseHandle(*phFile);
        *phFile = INVALID_HANDLE_VALUE;
    }
    return nResult;
}

// Replaces pwszFile with pwszTemp, the old file going to pwszBackup; the last
// error tells why when it fails.
static bool ReplaceNow(const wchar_t *pwszFile, const wchar_t *pwszTemp, const wchar_t *pwszBackup)
{
#ifdef QW_IO_FAULTS
    if (IniFault_Replace(pwszFile, pwszTemp, pwszBackup))
        return false;
#endif
    // REPLACEFILE_WRITE_THROUGH is documented as not supported: no flags.
    return ReplaceFileW(pwszFile, pwszTemp, pwszBackup, 0, NULL, NULL) != FALSE;
}

// Gives a file a name that nothing has, within its folder.
static bool MoveToFreeName(const wchar_t *pwszFrom, const wchar_t *pwszTo)
{
    return WIO(WIO_MOVE, pwszTo, FALSE, MoveFileExW(pwszFrom, pwszTo, MOVEFILE_WRITE_THROUGH)) != FALSE;
}

// Waits *pdwPause milliseconds and doubles the next pause.
static void Pause(DWORD *pdwPause)
{
    Sleep((*pdwPause *= 2) / 2);
}

// Marks the open file hFile (opened with DELETE) to be deleted when it is
// closed, whatever its name has become: SetFileInformationByHandle where
// kernel32 has it (Vista and later), else NtSetInformationFile.
static bool DeleteWhenClosed(HANDLE hFile)
{
    typedef BOOL(WINAPI * PFNSETFILEINFORMATIONBYHANDLE)(HANDLE, int, LPVOID, DWORD);
    typedef LONG(WINAPI * PFNNTSETINFORMATIONFILE)(HANDLE, void *, void *, ULONG, int);
    ULONG_PTR auIoStatus[2]; // IO_STATUS_BLOCK: a status (or pointer), and a number
    BOOLEAN fDelete = TRUE;
    PFNSETFILEINFORMATIONBYHANDLE pfnSetInfo =
        (PFNSETFILEINFORMATIONBYHANDLE)(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                      "SetFileInformationByHandle");
    // FileDispositionInfo (4) and FileDispositionInformation (13): one BOOLEAN.
    if (pfnSetInfo)
        return pfnSetInfo(hFile, 4, &fDelete, sizeof(fDelete)) != FALSE;
    PFNNTSETINFORMATIONFILE pfnNtSetInfo =
        (PFNNTSETINFORMATIONFILE)(void (*)(void))GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                                "NtSetInformationFile");
    return pfnNtSetInfo && pfnNtSetInfo(hFile, auIoStatus, &fDelete, sizeof(fDelete), 13) >= 0;
}

// 1 when the file of that name holds exactly the bytes that were read, 0 when
// it holds others, -1 when that cannot be told; with fDelete, a file that
// holds them is deleted through the handle that read it (so that a program
// that opens it later without sharing deletion cannot keep it), else -1.
static int NameHolds(const wchar_t *pwszName, const _INIFILEDATA *pfd, bool fDelete)
{
    HANDLE hFile = OpenShared(pwszName, fDelete ? GENERIC_READ | DELETE : GENERIC_READ);
    if (hFile == INVALID_HANDLE_VALUE)
        return -1;
    int nSame = HoldsBytes(hFile, pfd->pb, pfd->cb);
    if (nSame > 0 && fDelete && !DeleteWhenClosed(hFile))
        nSame = -1;
    CloseHandle(hFile);
    return nSame;
}

// The last component of a file name.
static const wchar_t *BaseOf(const wchar_t *pwszFile)
{
    const wchar_t *pwszSlash = wcsrchr(pwszFile, L'\\'), *pwszOther = wcsrchr(pwszFile, L'/');
    if (!pwszSlash || (pwszOther && pwszOther > pwszSlash))
        pwszSlash = pwszOther;
    return pwszSlash ? pwszSlash + 1 : pwszFile;
}

// Builds the name of a file beside pwszFile called pwszName into pwszPath (of
// NAME_ROOM units); false when it does not fit.
static bool NameBeside(wchar_t *pwszPath, const wchar_t *pwszFile, const wchar_t *pwszName)
{
    size_t cchFolder = (size_t)(BaseOf(pwszFile) - pwszFile), cchName = wcslen(pwszName);
    if (cchFolder + cchName >= NAME_ROOM)
        return false;
    memcpy(pwszPath, pwszFile, cchFolder * sizeof(wchar_t));
    memcpy(pwszPath + cchFolder, pwszName, (cchName + 1) * sizeof(wchar_t));
    return true;
}

// Builds pwszFile followed by the ASCII text pszEnd into pwszName (of
// NAME_ROOM units); false when it does not fit.
static bool NameWithEnd(wchar_t *pwszName, const wchar_t *pwszFile, const char *pszEnd)
{
    size_t cchFile = wcslen(pwszFile), cchEnd = strlen(pszEnd);
    if (cchFile + cchEnd >= NAME_ROOM)
        return false;
    memcpy(pwszName, pwszFile, cchFile * sizeof(wchar_t));
    for (size_t i = 0; i <= cchEnd; i++)
        pwszName[cchFile + i] = (wchar_t)(unsigned char)pszEnd[i];
    return true;
}

// Adds to the hash *puHash the name in capitals (CharUpperBuffW: every
// letter that Windows folds), so that spellings that differ only in case agree.
static void HashName(unsigned long long *puHash, const wchar_t *pwszName)
{
    for (const wchar_t *pwch = pwszName; *pwch; pwch++) {
        wchar_t wch = *pwch;
        CharUpperBuffW(&wch, 1);
        *puHash = (*puHash ^ (unsigned long long)wch) * 1099511628211ull;
    }
}

// Adds to *puHash what tells the folder of pwszFull apart from every other
// whatever its spelling: its volume's serial number and its file ID, or its
// name as given where they cannot be had (or the ID is 0, as some network file
// systems give every file). An ID that is not unique (ReFS) only makes saves
// of two folders wait for each other.
static void HashFolder(unsigned long long *puHash, const wchar_t *pwszFull)
{
    wchar_t wszName[NAME_ROOM];
    size_t cchFolder = (size_t)(BaseOf(pwszFull) - pwszFull);
    memcpy(wszName, pwszFull, cchFolder * sizeof(wchar_t));
    wszName[cchFolder] = L'\0';
    HANDLE hFolder = CreateFileW(wszName, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    BY_HANDLE_FILE_INFORMATION bhfi;
    if (hFolder != INVALID_HANDLE_VALUE && GetFileInformationByHandle(hFolder, &bhfi) &&
        (bhfi.nFileIndexHigh | bhfi.nFileIndexLow) != 0)
        wsprintfW(wszName, L"%08lx:%08lx%08lx", bhfi.dwVolumeSerialNumber, bhfi.nFileIndexHigh,
                  bhfi.nFileIndexLow);
    HashName(puHash, wszName);
    if (hFolder != INVALID_HANDLE_VALUE)
        CloseHandle(hFolder);
}

// Takes the mutex that every save of the file pwszFull through this module
// holds: NULL (last error set) when it cannot be had within SAVE_LOCK_WAIT.
// Named after the folder as HashFolder tells it and the file's long name, so
// that every spelling of one file (a short name, a mapped drive, a share)
// meets it. One that a process left when it ended is taken too: what that
// save left is put right by the checks.
static HANDLE LockSaves(const wchar_t *pwszFull)
{
    unsigned long long uHash = 14695981039346656037ull;
    HashFolder(&uHash, pwszFull);
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(pwszFull, &fd);
    HashName(&uHash, hFind != INVALID_HANDLE_VALUE ? fd.cFileName : BaseOf(pwszFull));
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    // wsprintf: the C runtime's printf would bring MinGW's own into the program.
    char szName[LOCK_NAME];
    wsprintfA(szName, "Local\\qwconfig-%08lx%08lx", (unsigned long)(uHash >> 32),
              (unsigned long)(uHash & 0xFFFFFFFFu));
    HANDLE hMutex = CreateMutexA(NULL, FALSE, szName);
    if (!hMutex)
        return NULL;
    DWORD dwWait = WaitForSingleObject(hMutex, SAVE_LOCK_WAIT);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        return hMutex;
    CloseHandle(hMutex);
    SetLastError(ERROR_LOCK_VIOLATION);
    return NULL;
}

// Lets the next save of the file go on.
static void UnlockSaves(HANDLE hMutex)
{
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
}

// The other name of the pair "<file>.qwconfig-<pid>-<n>.tmp" and ".bak": the
// name pwszName (of NAME_ROOM units) with the end pszKind instead of its own.
static void OtherOfPair(wchar_t *pwszOther, const wchar_t *pwszName, const char *pszKind)
{
    size_t cchName = wcslen(pwszName);
    memcpy(pwszOther, pwszName, (cchName - 4) * sizeof(wchar_t));
    for (size_t i = 0; i < 5; i++)
        pwszOther[cchName - 4 + i] = (wchar_t)pszKind[i];
}

// The store's files of kind pszKind beside pwszFile, one after another:
// *phFind is INVALID_HANDLE_VALUE at first and after the last one. Gives the
// next one's full name in pwszPath (of NAME_ROOM units) and its facts in
// *pfd; false after the last.
static bool NextBeside(HANDLE *phFind, const wchar_t *pwszFile, const char *pszKind, wchar_t *pwszPath,
                       WIN32_FIND_DATAW *pfd)
{
    for (;;) {
        if (*phFind == INVALID_HANDLE_VALUE) {
            char szPattern[TEMP_SUFFIX] = STORE_MARKER "*.";
            bool fName = NameWithEnd(pwszPath, pwszFile, strcat(szPattern, pszKind + 1));
            *phFind = fName ? FindFirstFileW(pwszPath, pfd) : INVALID_HANDLE_VALUE;
            if (*phFind == INVALID_HANDLE_VALUE)
                return false;
        } else if (!FindNextFileW(*phFind, pfd)) {
            FindClose(*phFind);
            *phFind = INVALID_HANDLE_VALUE;
            return false;
        }
        // One of the store's names for this file: any letter beyond ASCII in
        // its end makes it none.
        size_t cchBase = wcslen(BaseOf(pwszFile));
        char szEnd[TEMP_SUFFIX];
        if (!(pfd->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            _wcsnicmp(pfd->cFileName, BaseOf(pwszFile), cchBase) == 0 &&
            WideCharToMultiByte(CP_UTF8, 0, pfd->cFileName + cchBase, -1, szEnd, sizeof(szEnd), NULL, NULL) > 0 &&
            IniStore_NameEndProcess(szEnd, pszKind) != 0 && NameBeside(pwszPath, pwszFile, pfd->cFileName))
            return true;
    }
}

// Looks at the backups beside pwszFile: gives in pwszBackup (of NAME_ROOM
// units) the one of a replace that never ended (its temporary file is beside
// it, the newest such temporary file when there are several) that nobody
// holds, and true; false when there is none. *pfHeld is set when a backup is
// held, or cannot be judged.
static bool FindUnfinished(const wchar_t *pwszFile, wchar_t *pwszBackup, bool *pfHeld)
{
    wchar_t wszPath[NAME_ROOM], wszTemp[NAME_ROOM];
    WIN32_FIND_DATAW fd, fdTemp;
    FILETIME ftNewest = {0, 0};
    HANDLE hFind = INVALID_HANDLE_VALUE;
    bool fFound = false;
    while (NextBeside(&hFind, pwszFile, ".bak", wszPath, &fd)) {
        if (IsHeld(wszPath) != 0) {
            *pfHeld = true;
            continue;
        }
        OtherOfPair(wszTemp, wszPath, ".tmp");
        HANDLE hTemp = FindFirstFileW(wszTemp, &fdTemp);
        if (hTemp == INVALID_HANDLE_VALUE)
            continue;
        FindClose(hTemp);
        if (!fFound || CompareFileTime(&fdTemp.ftLastWriteTime, &ftNewest) > 0) {
            memcpy(pwszBackup, wszPath, sizeof(wszPath));
            ftNewest = fdTemp.ftLastWriteTime;
            fFound = true;
        }
    }
    return fFound;
}

// Puts back, under the name of the missing file pwszFile, the backup of a
// replace that never ended, and gives its name (no folder, UTF-8) in pfd; the
// caller holds the file's save mutex. While a backup is held (a save in
// another session, a virus checker) or the move is refused for a moment, it
// waits and looks again. True when the file is there again or nothing is to
// be put back; false when a backup is still held or cannot be moved.
static bool RestoreUnfinished(const wchar_t *pwszFile, _INIFILEDATA *pfd)
{
    DWORD dwPause = REPLACE_PAUSE;
    for (int nTry = 1;; nTry++) {
        wchar_t wszBackup[NAME_ROOM];
        bool fHeld = false, fFound = !NameExists(pwszFile) && FindUnfinished(pwszFile, wszBackup, &fHeld);
        if (!fFound && !fHeld)
            return true;
        if (fFound && MoveToFreeName(wszBackup, pwszFile)) {
            WideCharToMultiByte(CP_UTF8, 0, BaseOf(wszBackup), -1, pfd->szRestored, sizeof(pfd->szRestored),
                                NULL, NULL);
            return true;
        }
        if (nTry >= RESTORE_TRIES)
            return NameExists(pwszFile);
        Pause(&dwPause);
    }
}

// Removes the temporary files beside pwszFile that a replace left and that
// nobody holds, unless their backup is still there (a replace that never
// ended: the two belong together). Backups and every file of another name
// stay, and nothing goes while the file itself is missing.
static void RemoveLeftovers(const wchar_t *pwszFile)
{
    wchar_t wszPath[NAME_ROOM], wszBackup[NAME_ROOM];
    WIN32_FIND_DATAW fd;
    HANDLE hFind = INVALID_HANDLE_VALUE;
    while (NameExists(pwszFile) && NextBeside(&hFind, pwszFile, ".tmp", wszPath, &fd)) {
        OtherOfPair(wszBackup, wszPath, BACKUP_END);
        // Opened without sharing: nobody else has it open.
        HANDLE hFile = NameExists(wszBackup) ? INVALID_HANDLE_VALUE
                                             : CreateFileW(wszPath, DELETE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (hFile != INVALID_HANDLE_VALUE) {
            DeleteWhenClosed(hFile);
            CloseHandle(hFile);
        }
    }
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
}

// Creates a new temporary file beside pwszFile, its name in pwszTemp and its
// backup's in pwszBackup (both of NAME_ROOM units), passing over a number whose
// backup name is taken (a replace never overwrites a backup) or whose
// temporary name is still there (deleted, but held by a virus checker).
// INVALID_HANDLE_VALUE with the last error set when none can be made.
static HANDLE CreateTemp(const wchar_t *pwszFile, wchar_t *pwszTemp, wchar_t *pwszBackup)
{
    for (unsigned n = 0; n < TEMP_TRIES; n++) {
        char szEnd[TEMP_SUFFIX];
        if (!IniStore_NameEnd(szEnd, sizeof(szEnd), GetCurrentProcessId(), IniStore_NextTempNumber(),
                              ".tmp") ||
            !NameWithEnd(pwszTemp, pwszFile, szEnd)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        OtherOfPair(pwszBackup, pwszTemp, BACKUP_END);
        if (NameExists(pwszBackup))
            continue;
        HANDLE hFile = WIO(WIO_CREATE, pwszTemp, INVALID_HANDLE_VALUE,
                           CreateFileW(pwszTemp, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL));
        DWORD dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        if (dwError == NO_ERROR || (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS &&
                                    (dwError != ERROR_ACCESS_DENIED || !NameExists(pwszTemp)))) {
            SetLastError(dwError);
            return hFile;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Puts the files right after ReplaceFileW(pwszFile, pwszTemp, pwszBackup)
// failed, by what is left of them: where the file is gone, the new content is
// moved in, else the old one moved back. A backup that holds the bytes that
// were read goes once the file is in place again. Gives a SETTLED_ state.
static int SettleReplace(const wchar_t *pwszFile, const wchar_t *pwszTemp, const wchar_t *pwszBackup,
                         const _INIFILEDATA *pfd)
{
    bool fTemp = NameExists(pwszTemp), fBackup = NameExists(pwszBackup);
    int nState, nOld;
    if (NameExists(pwszFile) && fTemp)
        nState = SETTLED_OLD;
    else if (NameExists(pwszFile)) {
        // No documented failure gets here: the file counts as new unless it
        // still holds the bytes that were read, and as neither when it cannot
        // be read (the backup then stays).
        if ((nOld = NameHolds(pwszFile, pfd, false)) < 0)
            return SETTLED_UNKNOWN;
        nState = nOld > 0 ? SETTLED_GONE : SETTLED_NEW;
    } else if (fTemp && MoveToFreeName(pwszTemp, pwszFile))
        nState = SETTLED_NEW;
    else if (fBackup && MoveToFreeName(pwszBackup, pwszFile))
        return fTemp ? SETTLED_OLD : SETTLED_GONE;
    else {
        // Nothing could be moved in: the backup and the temporary file stay
        // together, an unfinished replace that the next read puts back. A
        // new content that is the only copy (no backup) takes the backup's
        // name, which the next start names to the player.
        if (fTemp && !fBackup)
            MoveToFreeName(pwszTemp, pwszBackup);
        return SETTLED_LOST;
    }
    if (fBackup)
        NameHolds(pwszBackup, pfd, true);
    return nState;
}

// After a replace that succeeded, with the checked file still held: the
// backup goes when it holds the bytes that were read. Else another program
// replaced the file between the check and the replace, and the backup is its
// file: once the file is shown to hold this save's bytes, the backup is put
// back over it (ReplaceFileW, which works while others hold the file open
// sharing deletion) and the result is INISAVE_CHANGED; when that cannot be
// done, the backup stays and the result is INISAVE_SET_ASIDE.
static int SettleBackup(const wchar_t *pwszFile, const wchar_t *pwszBackup, const _INIFILEDATA *pfd,
                        const _INIPIECE *aPieces, size_t nPieces)
{
    if (NameHolds(pwszBackup, pfd, true) != 0)
        return INISAVE_OK;
    // This save's content in one block, to compare the file with.
    size_t cbNew = 0;
    for (size_t i = 0; i < nPieces; i++)
        cbNew += aPieces[i].cb;
    unsigned char *pbNew = (unsigned char *)malloc(cbNew + 1);
    for (size_t i = 0, cb = 0; pbNew && i < nPieces; cb += aPieces[i++].cb)
        memcpy(pbNew + cb, aPieces[i].pb, aPieces[i].cb);
    DWORD dwPause = REPLACE_PAUSE;
    for (int nTry = 1;; nTry++) {
        HANDLE hFile = pbNew ? OpenShared(pwszFile, GENERIC_READ) : INVALID_HANDLE_VALUE;
        bool fOurs = hFile != INVALID_HANDLE_VALUE && HoldsBytes(hFile, pbNew, cbNew) > 0,
             fBack = fOurs && WIO(WIO_MOVE, pwszFile, FALSE, ReplaceFileW(pwszFile, pwszBackup, NULL, 0, NULL, NULL));
        DWORD dwError = GetLastError();
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
        if (fBack || !fOurs || nTry >= REPLACE_TRIES || !IsTransient(dwError)) {
            free(pbNew);
            return fBack ? INISAVE_CHANGED : INISAVE_SET_ASIDE;
        }
        Pause(&dwPause);
    }
}

// Puts the flushed temporary file pwszTemp in place of the file that was read
// (pfd), which must still hold the same bytes; the old file goes to
// pwszBackup during the replace. A refusal for a moment is tried again; one
// for access that stays gives SAVE_IN_PLACE.
static int SwapIntoPlace(const wchar_t *pwszFile, const wchar_t *pwszTemp, const wchar_t *pwszBackup,
                         const _INIFILEDATA *pfd, const _INIPIECE *aPieces, size_t nPieces)
{
    DWORD dwPause = REPLACE_PAUSE;
    for (int nTry = 1;; nTry++) {
        // The check opens the file for deletion, as the replace does, keeps
        // others from writing it until the replace is done, and follows it to
        // the backup name, where it shows a start that this save runs.
        HANDLE hFile;
        DWORD dwError;
        int nResult = OpenUnchanged(pwszFile, pfd, WIO_OPEN_DELETE, GENERIC_READ | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, &hFile, &dwError);
        int nState = SETTLED_OLD;
        if (nResult == INISAVE_OK) {
            if (ReplaceNow(pwszFile, pwszTemp, pwszBackup)) {
                nResult = SettleBackup(pwszFile, pwszBackup, pfd, aPieces, nPieces);
                CloseHandle(hFile);
                return nResult;
            }
            dwError = GetLastError();
            // Another program's replace had the name away: nothing was moved.
            if ((dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) && NameExists(pwszTemp) &&
                !NameExists(pwszBackup))
                nResult = INISAVE_CHANGED;
            else
                nState = SettleReplace(pwszFile, pwszTemp, pwszBackup, pfd);
            CloseHandle(hFile);
        }
        if (nState != SETTLED_OLD && nState != SETTLED_GONE)
            return nState == SETTLED_NEW ? INISAVE_OK : nState == SETTLED_LOST ? INISAVE_DAMAGED : INISAVE_FAILED;
        // The file holds the old content: a refusal for a moment is tried again.
        bool fRefused = IsTransient(dwError) && nResult != INISAVE_READ_ONLY && nResult != INISAVE_CHANGED;
        if (fRefused && nState == SETTLED_OLD && nTry < REPLACE_TRIES) {
            Pause(&dwPause);
            continue;
        }
        DeleteFileW(pwszTemp);
        if (fRefused && dwError == ERROR_ACCESS_DENIED)
            return SAVE_IN_PLACE;
        return nResult != INISAVE_OK ? nResult : ResultOfSaveError(dwError);
    }
}

// Puts the flushed temporary file pwszTemp in place of a file that did not
// exist when it was read, never over one that appeared since.
static int MoveIntoPlace(const wchar_t *pwszFile, const wchar_t *pwszTemp)
{
    DWORD dwPause = REPLACE_PAUSE;
    for (int nTry = 1; !MoveToFreeName(pwszTemp, pwszFile); nTry++) {
        DWORD dwError = GetLastError();
        if (nTry >= REPLACE_TRIES || !IsTransient(dwError)) {
            DeleteFileW(pwszTemp);
            if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_FILE_EXISTS)
                return INISAVE_CHANGED;
            return dwError == ERROR_ACCESS_DENIED ? SAVE_IN_PLACE : ResultOfSaveError(dwError);
        }
        Pause(&dwPause);
    }
    return INISAVE_OK;
}

// Writes the new content to a temporary file beside pwszFile, flushes it and
// puts it in place: ReplaceFileW over an existing file, MoveFileExW for a new
// one. The temporary file takes the attributes and creation time of the file
// that was read itself, so that they stay even where ReplaceFileW is a plain
// move. SAVE_IN_PLACE, with nothing left behind, when the folder refuses the
// new file, its name would be too long, or the replace is refused for access.
static int ReplaceByRename(const wchar_t *pwszFile, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                           size_t nPieces)
{
    const _WIN32FACTS *pFacts = pfd->fExists ? (const _WIN32FACTS *)pfd->pvFacts : NULL;
    wchar_t wszTemp[NAME_ROOM], wszBackup[NAME_ROOM];
    HANDLE hFile = CreateTemp(pwszFile, wszTemp, wszBackup);
    if (hFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_FILENAME_EXCED_RANGE ? SAVE_IN_PLACE
                                                                                      : ResultOfSaveError(dwError);
    }
    if (pFacts)
        SetFileTime(hFile, &pFacts->ftCreated, NULL, NULL);
    size_t cb;
    bool fOk = WritePieces(hFile, aPieces, nPieces, &cb) && Flush(hFile);
    DWORD dwError = fOk ? NO_ERROR : GetLastError();
    if (!CloseHandle(hFile) && fOk) {
        fOk = false;
        dwError = GetLastError();
    }
    if (fOk && pFacts && (pFacts->dwAttributes & KEPT_ATTRIBUTES) &&
        !WIO(WIO_SET_ATTRIBUTES, wszTemp, FALSE, SetFileAttributesW(wszTemp, pFacts->dwAttributes & KEPT_ATTRIBUTES))) {
        fOk = false;
        dwError = GetLastError();
    }
    if (!fOk) {
        DeleteFileW(wszTemp);
        return ResultOfSaveError(dwError);
    }
    if (!pFacts)
        return MoveIntoPlace(pwszFile, wszTemp);
    return SwapIntoPlace(pwszFile, wszTemp, wszBackup, pfd, aPieces, nPieces);
}

// Writes a file that did not exist when it was read directly under its name;
// a failure deletes it again through its own handle, so that a file that
// another program made under the name meanwhile stays.
static int CreateInPlace(const wchar_t *pwszFile, const _INIPIECE *aPieces, size_t nPieces)
{
    HANDLE hFile = WIO(WIO_CREATE, pwszFile, INVALID_HANDLE_VALUE,
                       CreateFileW(pwszFile, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS ? INISAVE_CHANGED
                                                                              : ResultOfSaveError(dwError);
    }
    size_t cb;
    bool fOk = WritePieces(hFile, aPieces, nPieces, &cb) && Flush(hFile);
    DWORD dwError = fOk ? NO_ERROR : GetLastError();
    bool fDamaged = !fOk && !DeleteWhenClosed(hFile);
    CloseHandle(hFile);
    if (fDamaged)
        return INISAVE_DAMAGED;
    return fOk ? INISAVE_OK : ResultOfSaveError(dwError);
}

// Rewrites the file that was read in place: new bytes, new length, flush.
// Only a file that still holds exactly the bytes that were read is rewritten
// (whatever its index: a per-user copy of a protected file has its own). A
// failed step puts the old bytes and length back; INISAVE_DAMAGED when that
// fails too.
static int RewriteInPlace(const wchar_t *pwszFile, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                          size_t nPieces)
{
    if (!pfd->fExists)
        return CreateInPlace(pwszFile, aPieces, nPieces);
    const _INIPIECE old = {pfd->pb, pfd->cb};
    HANDLE hFile;
    DWORD dwError;
    int nResult = OpenUnchanged(pwszFile, pfd, WIO_OPEN_WRITE, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                &hFile, &dwError);
    if (nResult != INISAVE_OK)
        return nResult;
    size_t cb;
    bool fOk = WritePieces(hFile, aPieces, nPieces, &cb) && SetLength(hFile, cb) && Flush(hFile);
    if (!fOk) {
        nResult = ResultOfSaveError(GetLastError());
        if (!WritePieces(hFile, &old, 1, &cb) || !SetLength(hFile, pfd->cb) || !Flush(hFile))
            nResult = INISAVE_DAMAGED;
    }
    CloseHandle(hFile);
    return nResult;
}

// The UTF-8 name pszFile made full, into pwszFull (of NAME_ROOM units); false
// when it is no valid UTF-8 or its full name needs MAX_PATH units or more.
// Where the names built from it (temporary, backup, search) would pass
// MAX_PATH, it takes the form "\\?\C:\..." ("\\?\UNC\server\share\..." for a
// share), which lifts that limit on every NT Windows.
static bool FullName(const char *pszFile, wchar_t *pwszFull)
{
    wchar_t wszFile[MAX_PATH], wszFull[MAX_PATH];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszFile, -1, wszFile, MAX_PATH) <= 0)
        return false;
    DWORD cchFull = GetFullPathNameW(wszFile, MAX_PATH, wszFull, NULL);
    if (cchFull == 0 || cchFull >= MAX_PATH)
        return false;
    const wchar_t *pwszPrefix = L"";
    const wchar_t *pwszRest = wszFull;
    if (cchFull + TEMP_SUFFIX >= MAX_PATH && wcsncmp(wszFull, L"\\\\", 2) != 0)
        pwszPrefix = L"\\\\?\\";
    else if (cchFull + TEMP_SUFFIX >= MAX_PATH && wszFull[2] != L'?' && wszFull[2] != L'.') {
        pwszPrefix = L"\\\\?\\UNC\\";
        pwszRest = wszFull + 2;
    }
    size_t cchPrefix = wcslen(pwszPrefix);
    memcpy(pwszFull, pwszPrefix, cchPrefix * sizeof(wchar_t));
    memcpy(pwszFull + cchPrefix, pwszRest, (wcslen(pwszRest) + 1) * sizeof(wchar_t));
    return true;
}

int IniStore_Read(const char *pszFile, _INIFILEDATA *pfd)
{
    memset(pfd, 0, sizeof(*pfd));
    wchar_t wszFile[NAME_ROOM];
    if (!FullName(pszFile, wszFile))
        return INIFILE_FAILED;
    DWORD dwAttributes = GetFileAttributesW(wszFile);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return INIFILE_NOT_FILE;
    HANDLE hFile = OpenShared(wszFile, GENERIC_READ);
    DWORD dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
    if (dwError == ERROR_FILE_NOT_FOUND) {
        // Missing for a moment while another save replaces it, or left only
        // under its backup name by a replace that never ended: once no save
        // runs, it is there again, or the backup is put back.
        HANDLE hLock = LockSaves(wszFile);
        if (!hLock)
            return INIFILE_LOCKED;
        bool fRestored = RestoreUnfinished(wszFile, pfd);
        UnlockSaves(hLock);
        if (!fRestored)
            return INIFILE_NOT_RESTORED;
        dwAttributes = GetFileAttributesW(wszFile);
        hFile = OpenShared(wszFile, GENERIC_READ);
        dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return ResultOfOpenError(dwError);
    // Devices and pipes are refused before anything is read from them.
    _WIN32FACTS *pFacts = (_WIN32FACTS *)malloc(sizeof(_WIN32FACTS));
    BY_HANDLE_FILE_INFORMATION bhfi;
    int nResult = INIFILE_FAILED;
    if (GetFileType(hFile) != FILE_TYPE_DISK)
        nResult = INIFILE_NOT_FILE;
    else if (pFacts && GetFileInformationByHandle(hFile, &bhfi)) {
        pFacts->nLinks = bhfi.nNumberOfLinks;
        pFacts->dwAttributes = bhfi.dwFileAttributes;
        pFacts->ftCreated = bhfi.ftCreationTime;
        pFacts->fLink = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        unsigned long long cbSize = ((unsigned long long)bhfi.nFileSizeHigh << 32) | bhfi.nFileSizeLow;
        if (cbSize >= (size_t)-1)
            cbSize = (size_t)-1;
        if (bhfi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            nResult = INIFILE_NOT_FILE;
        else if ((pfd->pb = IniStore_ReadAll((size_t)cbSize, ReadSome, hFile, &pfd->cb)) != NULL)
            nResult = INIFILE_OK;
    }
    CloseHandle(hFile);
    return IniStore_Finish(pfd, nResult, pFacts);
}

int IniStore_Replace(const char *pszFile, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                     size_t nPieces)
{
    // The full name: ReplaceFileW needs the folder of a relative name.
    wchar_t wszFull[NAME_ROOM];
    if (!FullName(pszFile, wszFull))
        return INISAVE_FAILED;
    const _WIN32FACTS *pFacts = pfd->fExists ? (const _WIN32FACTS *)pfd->pvFacts : NULL;
    if (pFacts && (pFacts->dwAttributes & FILE_ATTRIBUTE_READONLY))
        return INISAVE_READ_ONLY;
    HANDLE hLock = LockSaves(wszFull);
    if (!hLock)
        return INISAVE_LOCKED;
    // A second hard link would keep the old content under its name, and a
    // replace would turn a symbolic link into a plain file: both are written
    // in place, through the link.
    int nResult = pFacts && (pFacts->nLinks > 1 || pFacts->fLink) ? SAVE_IN_PLACE
                                                                   : ReplaceByRename(wszFull, pfd, aPieces, nPieces);
    // The file once more through a handle of its own, so that what Windows
    // still holds of it after the replace goes to the disk too.
    HANDLE hFile = nResult == INISAVE_OK ? OpenShared(wszFull, GENERIC_WRITE) : INVALID_HANDLE_VALUE;
    if (hFile != INVALID_HANDLE_VALUE) {
        Flush(hFile);
        CloseHandle(hFile);
    }
    if (nResult == SAVE_IN_PLACE)
        nResult = RewriteInPlace(wszFull, pfd, aPieces, nPieces);
    // After a save that made the file, a leftover may be the only copy of the
    // player's old one: they stay.
    if (nResult == INISAVE_OK && pFacts)
        RemoveLeftovers(wszFull);
    UnlockSaves(hLock);
    return nResult;
}

int IniStore_Lock(const char *pszFile, void **ppvLock)
{
    wchar_t wszFull[NAME_ROOM];
    *ppvLock = NULL;
    if (!FullName(pszFile, wszFull))
        return INISAVE_FAILED;
    *ppvLock = LockSaves(wszFull);
    return *ppvLock ? INISAVE_OK : INISAVE_LOCKED;
}

void IniStore_Unlock(void *pvLock)
{
    if (pvLock)
        UnlockSaves((HANDLE)pvLock);
}

bool IniStore_FindBackup(const char *pszFile, char *pszName, size_t cchName)
{
    wchar_t wszFull[NAME_ROOM], wszBackup[NAME_ROOM];
    WIN32_FIND_DATAW fd;
    HANDLE hFind = INVALID_HANDLE_VALUE;
    bool fFound = false;
    if (!FullName(pszFile, wszFull))
        return false;
    // A backup that a running save holds is its own business.
    while (!fFound && NextBeside(&hFind, wszFull, BACKUP_END, wszBackup, &fd))
        fFound = IsHeld(wszBackup) == 0 &&
                 WideCharToMultiByte(CP_UTF8, 0, fd.cFileName, -1, pszName, cchName > INT_MAX ? INT_MAX : (int)cchName,
                                     NULL, NULL) > 0;
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    return fFound;
}
