// IniFileStore on Windows: reading a file whole and putting new content in its
// place with a temporary file and ReplaceFileW (which keeps the replaced
// file's attributes, permissions and creation time), or in place where no
// temporary file can stand in for it.
//
// ReplaceFileW is given a backup name of the store's own
// ("<file>.qwconfig-<pid>-<n>.bak"), so that whatever state a failed or
// interrupted replace leaves, every file of it has a name the store knows:
// after a failure the new content is moved in where the file is gone, or the
// old one moved back; a read that finds the file missing puts such a backup
// back first. Saves of one file through this module wait for each other on a
// mutex named after the file's full name.
#include "IniFileStore.h"

#include "IniFiles.h"

#include <windows.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <wctype.h>

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
#define KEPT_ATTRIBUTES \
    (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | \
     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)

// How long a save waits for another save of the same file, in milliseconds.
#define SAVE_LOCK_WAIT 2000
// The room for the name of a file's save mutex: "Local\qwconfig-" and 16 digits.
#define LOCK_NAME 40

// What a read learned of the file: its number of hard links, attributes,
// creation time, and whether its name is a symbolic link.
struct _WIN32FACTS {
    DWORD nLinks;
    DWORD dwAttributes;
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
    SETTLED_UNKNOWN // the file is there, but whether it holds the old or the new content cannot be told
};

// What the start-up restore found.
enum {
    RESTORE_NONE,     // no backup to put back
    RESTORE_DONE,     // a backup is back under the file's name
    RESTORE_REFUSED   // a backup is there, but could not be moved
};

// The INIFILE_ result for a failed open of a file to read.
static int ResultOfOpenError(DWORD dwError)
{
    switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return INIFILE_MISSING;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
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
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return INISAVE_LOCKED;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return INISAVE_DENIED;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return INISAVE_FULL;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_SEEK:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
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

// Opens the file of that name to read it, sharing it with everyone.
static HANDLE OpenToCompare(const wchar_t *pwszName)
{
    return WIO(WIO_OPEN, pwszName, INVALID_HANDLE_VALUE,
               CreateFileW(pwszName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
}

// 1 when the file of that name holds exactly the bytes that were read, 0 when
// it holds others, -1 when that cannot be told (it cannot be opened or read).
static int NameHoldsBytes(const wchar_t *pwszName, const _INIFILEDATA *pfd)
{
    HANDLE hFile = OpenToCompare(pwszName);
    if (hFile == INVALID_HANDLE_VALUE)
        return -1;
    int nSame = HoldsBytes(hFile, pfd->pb, pfd->cb);
    CloseHandle(hFile);
    return nSame;
}

// Opens the file that was read with dwAccess, sharing it with others only as
// dwShare allows, and makes sure that it still holds the bytes that were read
// (size first). Only the bytes count: a file system that gives a file another
// index or time between opens (FAT, network drives) changes nothing. Gives
// INISAVE_OK with the open file in *phFile, or INISAVE_CHANGED or the failure
// with nothing open.
static int OpenUnchanged(const wchar_t *pwszFile, const _INIFILEDATA *pfd, int nCall, DWORD dwAccess,
                         DWORD dwShare, HANDLE *phFile)
{
    *phFile = WIO(nCall, pwszFile, INVALID_HANDLE_VALUE,
                  CreateFileW(pwszFile, dwAccess, dwShare, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (*phFile == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError(), dwAttributes = GetFileAttributesW(pwszFile);
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

// Flushes the file of that name once more through a handle of its own, so
// that what Windows still holds of it after the replace goes to the disk too.
static void FlushAfterReplace(const wchar_t *pwszFile)
{
    HANDLE hFile = WIO(WIO_OPEN, pwszFile, INVALID_HANDLE_VALUE,
                       CreateFileW(pwszFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    Flush(hFile);
    CloseHandle(hFile);
}

// Gives NO_ERROR when no other program holds the file open without letting it
// be replaced, else the error. ReplaceFileW would fail then too, but some
// implementations leave a file of their own behind when they find out late.
static DWORD MayReplace(const wchar_t *pwszFile)
{
    HANDLE hFile = WIO(WIO_OPEN_DELETE, pwszFile, INVALID_HANDLE_VALUE,
                       CreateFileW(pwszFile, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(hFile);
    return NO_ERROR;
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

// True unless process uProcess is known to have ended.
static bool ProcessMayRun(DWORD uProcess)
{
    HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, uProcess);
    if (!hProcess)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    bool fRuns = WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT;
    CloseHandle(hProcess);
    return fRuns;
}

// Waits for the mutex that every save of the file with the full name
// pwszFull through this module holds, and takes it: NULL (last error set)
// when it cannot be had within SAVE_LOCK_WAIT. A mutex that a process left
// when it ended is taken too: what that save left is put right by the checks.
static HANDLE LockSaves(const wchar_t *pwszFull)
{
    // FNV-1a of the name in capitals (towupper: ASCII letters at least), so
    // that spellings that differ only in case share one mutex.
    unsigned long long uHash = 14695981039346656037ull;
    for (const wchar_t *pwch = pwszFull; *pwch; pwch++) {
        uHash ^= (unsigned long long)towupper(*pwch);
        uHash *= 1099511628211ull;
    }
    char szName[LOCK_NAME] = "Local\\qwconfig-";
    size_t cchPrefix = strlen(szName);
    for (int i = 0; i < 16; i++)
        szName[cchPrefix + i] = "0123456789abcdef"[(uHash >> (60 - 4 * i)) & 0xF];
    szName[cchPrefix + 16] = '\0';
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

// The last component of a file name.
static const wchar_t *BaseOf(const wchar_t *pwszFile)
{
    const wchar_t *pwszSlash = wcsrchr(pwszFile, L'\\'), *pwszOther = wcsrchr(pwszFile, L'/');
    if (!pwszSlash || (pwszOther && pwszOther > pwszSlash))
        pwszSlash = pwszOther;
    return pwszSlash ? pwszSlash + 1 : pwszFile;
}

// Builds the name of a file beside pwszFile called pwszName into pwszPath (of
// MAX_PATH units); false when it does not fit.
static bool NameBeside(wchar_t *pwszPath, const wchar_t *pwszFile, const wchar_t *pwszName)
{
    size_t cchFolder = (size_t)(BaseOf(pwszFile) - pwszFile), cchName = wcslen(pwszName);
    if (cchFolder + cchName >= MAX_PATH)
        return false;
    memcpy(pwszPath, pwszFile, cchFolder * sizeof(wchar_t));
    memcpy(pwszPath + cchFolder, pwszName, (cchName + 1) * sizeof(wchar_t));
    return true;
}

// Builds pwszFile followed by the ASCII text pszEnd into pwszName (of
// MAX_PATH units); false when it does not fit.
static bool NameWithEnd(wchar_t *pwszName, const wchar_t *pwszFile, const char *pszEnd)
{
    size_t cchFile = wcslen(pwszFile), cchEnd = strlen(pszEnd);
    if (cchFile + cchEnd >= MAX_PATH)
        return false;
    memcpy(pwszName, pwszFile, cchFile * sizeof(wchar_t));
    for (size_t i = 0; i <= cchEnd; i++)
        pwszName[cchFile + i] = (wchar_t)(unsigned char)pszEnd[i];
    return true;
}

// Copies the ASCII end of pwszName behind its first cchBase units into pszEnd
// (of TEMP_SUFFIX bytes); false when it is longer or not ASCII.
static bool AsciiEnd(const wchar_t *pwszName, size_t cchBase, char *pszEnd)
{
    size_t cchEnd = 0;
    for (const wchar_t *pwch = pwszName + cchBase; *pwch; pwch++) {
        if (*pwch >= 0x80 || cchEnd + 1 >= TEMP_SUFFIX)
            return false;
        pszEnd[cchEnd++] = (char)*pwch;
    }
    pszEnd[cchEnd] = '\0';
    return true;
}

// The process number in pwszName when it is one of the store's names of kind
// pszKind (".tmp", ".bak") for the file named pwszBase (no folder), else 0.
static DWORD NameProcess(const wchar_t *pwszName, const wchar_t *pwszBase, const char *pszKind)
{
    size_t cchBase = wcslen(pwszBase);
    char szEnd[TEMP_SUFFIX];
    if (_wcsnicmp(pwszName, pwszBase, cchBase) != 0 || !AsciiEnd(pwszName, cchBase, szEnd))
        return 0;
    return (DWORD)IniStore_NameEndProcess(szEnd, pszKind);
}

// Finds the files beside pwszFile named "<file>.qwconfig-*<pszKind>"
// (pwszFind of MAX_PATH units receives the pattern); INVALID_HANDLE_VALUE
// when none.
static HANDLE FindBeside(const wchar_t *pwszFile, const char *pszKind, wchar_t *pwszFind, WIN32_FIND_DATAW *pfd)
{
    char szPattern[TEMP_SUFFIX] = STORE_MARKER "*";
    if (strlen(szPattern) + strlen(pszKind) >= sizeof(szPattern))
        return INVALID_HANDLE_VALUE;
    strcat(szPattern, pszKind);
    if (!NameWithEnd(pwszFind, pwszFile, szPattern))
        return INVALID_HANDLE_VALUE;
    return FindFirstFileW(pwszFind, pfd);
}

// Finds the newest backup beside pwszFile that a replace left which never
// ended: its process no longer runs, or it is this process, when fOwn (the
// caller holds the file's save mutex, so none of its own replaces runs).
// Its full name goes to pwszBackup (of MAX_PATH units); false when none.
static bool FindLeftBackup(const wchar_t *pwszFile, bool fOwn, wchar_t *pwszBackup)
{
    wchar_t wszFind[MAX_PATH], wszPath[MAX_PATH];
    FILETIME ftNewest = {0, 0};
    WIN32_FIND_DATAW fd;
    bool fFound = false;
    HANDLE hFind = FindBeside(pwszFile, BACKUP_END, wszFind, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    do {
        DWORD uProcess = NameProcess(fd.cFileName, BaseOf(pwszFile), BACKUP_END);
        if (uProcess != 0 && !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            (uProcess == GetCurrentProcessId() ? fOwn : !ProcessMayRun(uProcess)) &&
            (!fFound || CompareFileTime(&fd.ftLastWriteTime, &ftNewest) > 0) &&
            NameBeside(wszPath, pwszFile, fd.cFileName)) {
            memcpy(pwszBackup, wszPath, sizeof(wszPath));
            ftNewest = fd.ftLastWriteTime;
            fFound = true;
        }
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
    return fFound;
}

// Puts back the newest backup beside the missing file pwszFile that a replace
// left which never ended; the caller holds the file's save mutex. Gives a
// RESTORE_ state.
static int RestoreBackup(const wchar_t *pwszFile)
{
    wchar_t wszBackup[MAX_PATH];
    if (!FindLeftBackup(pwszFile, true, wszBackup))
        return RESTORE_NONE;
    // Never over a file that appeared meanwhile.
    return MoveToFreeName(wszBackup, pwszFile) ? RESTORE_DONE : RESTORE_REFUSED;
}

// The backup name "<file>.qwconfig-<pid>-<n>.bak" that belongs to the
// temporary name "<file>.qwconfig-<pid>-<n>.tmp" into pwszBackup (of MAX_PATH
// units, as the temporary name is).
static void BackupOfTemp(wchar_t *pwszBackup, const wchar_t *pwszTemp)
{
    size_t cchTemp = wcslen(pwszTemp);
    memcpy(pwszBackup, pwszTemp, (cchTemp - 4) * sizeof(wchar_t));
    memcpy(pwszBackup + cchTemp - 4, L"" BACKUP_END, 5 * sizeof(wchar_t));
}

// Removes the temporary files beside pwszFile that a process which no longer
// runs left behind, unless their backup is still there (a replace that never
// ended: the two belong together). Backups and every file of another name
// stay, and nothing goes while the file itself is missing.
static void RemoveLeftovers(const wchar_t *pwszFile)
{
    wchar_t wszFind[MAX_PATH], wszPath[MAX_PATH];
    WIN32_FIND_DATAW fd;
    HANDLE hFind = NameExists(pwszFile) ? FindBeside(pwszFile, ".tmp", wszFind, &fd) : INVALID_HANDLE_VALUE;
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        DWORD uProcess = NameProcess(fd.cFileName, BaseOf(pwszFile), ".tmp");
        if (uProcess == 0 || uProcess == GetCurrentProcessId() || ProcessMayRun(uProcess) ||
            (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !NameBeside(wszPath, pwszFile, fd.cFileName))
            continue;
        wchar_t wszBackup[MAX_PATH];
        BackupOfTemp(wszBackup, wszPath);
        if (!NameExists(wszBackup))
            DeleteFileW(wszPath);
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
}

// Creates a new temporary file beside pwszFile, its name in pwszTemp and the
// name of its backup in pwszBackup (both of MAX_PATH units). A number whose
// backup name is taken (by a process of the same number long ago) is passed
// over, so that a replace never overwrites a backup; so is a temporary name
// that is still there (a deleted file that a virus checker holds refuses to
// be made again with ERROR_ACCESS_DENIED). INVALID_HANDLE_VALUE with the last
// error set when none can be made.
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
        BackupOfTemp(pwszBackup, pwszTemp);
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
        if ((nOld = NameHoldsBytes(pwszFile, pfd)) < 0)
            return SETTLED_UNKNOWN;
        nState = nOld > 0 ? SETTLED_GONE : SETTLED_NEW;
    } else if (fTemp && MoveToFreeName(pwszTemp, pwszFile))
        nState = SETTLED_NEW;
    else if (fBackup && MoveToFreeName(pwszBackup, pwszFile))
        return fTemp ? SETTLED_OLD : SETTLED_GONE;
    else {
        // Nothing could be moved in: the backup stays for the next read to
        // put back, the new content goes where it is not the only copy. When
        // it is (no backup), it takes the backup's name, which the next read
        // puts back too.
        if (fTemp && fBackup)
            DeleteFileW(pwszTemp);
        else if (fTemp)
            MoveToFreeName(pwszTemp, pwszBackup);
        return SETTLED_LOST;
    }
    if (fBackup && NameHoldsBytes(pwszBackup, pfd) > 0)
        DeleteFileW(pwszBackup);
    return nState;
}

// 1 when hChecked (the file that was checked before the replace) and the file
// now under the backup name are the same file, or the latter holds the bytes
// that were read; 0 when it is another file with other bytes; -1 when that
// cannot be told.
static int BackupIsChecked(HANDLE hChecked, const wchar_t *pwszBackup, const _INIFILEDATA *pfd)
{
    HANDLE hBackup = OpenToCompare(pwszBackup);
    if (hBackup == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION bhfiChecked, bhfiBackup;
    int nSame = GetFileInformationByHandle(hChecked, &bhfiChecked) &&
                        GetFileInformationByHandle(hBackup, &bhfiBackup) &&
                        bhfiChecked.dwVolumeSerialNumber == bhfiBackup.dwVolumeSerialNumber &&
                        bhfiChecked.nFileIndexHigh == bhfiBackup.nFileIndexHigh &&
                        bhfiChecked.nFileIndexLow == bhfiBackup.nFileIndexLow
                    ? 1
                    : HoldsBytes(hBackup, pfd->pb, pfd->cb);
    CloseHandle(hBackup);
    return nSame;
}

// After a replace that succeeded: the backup goes when it is the file that
// was checked (hChecked). When another program replaced the file between the
// check and the replace, the backup is that program's file: it is put back
// and the result is INISAVE_CHANGED, so that the caller reads it again. When
// that cannot be told, the backup stays.
static int SettleBackup(const wchar_t *pwszFile, const wchar_t *pwszBackup, HANDLE hChecked,
                        const _INIFILEDATA *pfd)
{
    int nSame = BackupIsChecked(hChecked, pwszBackup, pfd);
    if (nSame > 0)
        DeleteFileW(pwszBackup);
    if (nSame != 0)
        return INISAVE_OK;
    if (WIO(WIO_MOVE, pwszFile, FALSE,
            MoveFileExW(pwszBackup, pwszFile, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)))
        return INISAVE_CHANGED;
    // The other program's file is kept under the backup name.
    return INISAVE_DAMAGED;
}

// Puts the flushed temporary file pwszTemp in place of the file that was read
// (pfd), which must still hold the same bytes; the old file goes to
// pwszBackup during the replace. The temporary file is gone afterwards unless
// it is the only copy of anything. A refusal for a moment is tried again; one
// for access that stays gives SAVE_IN_PLACE.
static int SwapIntoPlace(const wchar_t *pwszFile, const wchar_t *pwszTemp, const wchar_t *pwszBackup,
                         const _INIFILEDATA *pfd)
{
    DWORD dwPause = REPLACE_PAUSE;
    for (int nTry = 1;; nTry++) {
        // The check keeps others from writing the file until the replace,
        // and its handle follows the checked file to the backup name.
        HANDLE hFile;
        int nResult = OpenUnchanged(pwszFile, pfd, WIO_OPEN, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    &hFile);
        DWORD dwError = ERROR_SHARING_VIOLATION;
        int nState = SETTLED_OLD;
        if (nResult == INISAVE_OK) {
            dwError = MayReplace(pwszFile);
            if (dwError == NO_ERROR && !ReplaceNow(pwszFile, pwszTemp, pwszBackup))
                dwError = GetLastError();
            if (dwError == NO_ERROR)
                nResult = SettleBackup(pwszFile, pwszBackup, hFile, pfd);
            CloseHandle(hFile);
            if (dwError == NO_ERROR)
                return nResult;
            // Another program's replace had the name away for a moment.
            if ((dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) && NameExists(pwszTemp) &&
                !NameExists(pwszBackup)) {
                DeleteFileW(pwszTemp);
                return INISAVE_CHANGED;
            }
            nState = SettleReplace(pwszFile, pwszTemp, pwszBackup, pfd);
        } else if (nResult != INISAVE_LOCKED) {
            DeleteFileW(pwszTemp);
            return nResult;
        }
        if (nState == SETTLED_NEW)
            return INISAVE_OK;
        if (nState == SETTLED_LOST)
            return INISAVE_DAMAGED;
        if (nState == SETTLED_UNKNOWN)
            return INISAVE_FAILED;
        if (nState == SETTLED_OLD && nTry < REPLACE_TRIES && IsTransient(dwError)) {
            Sleep(dwPause);
            dwPause *= 2;
            continue;
        }
        DeleteFileW(pwszTemp);
        return dwError == ERROR_ACCESS_DENIED ? SAVE_IN_PLACE : ResultOfSaveError(dwError);
    }
}

// Puts the flushed temporary file pwszTemp in place of a file that did not
// exist when it was read, never over one that appeared since.
static int MoveIntoPlace(const wchar_t *pwszFile, const wchar_t *pwszTemp)
{
    DWORD dwPause = REPLACE_PAUSE, dwError = NO_ERROR;
    for (int nTry = 1;; nTry++) {
        if (MoveToFreeName(pwszTemp, pwszFile))
            return INISAVE_OK;
        dwError = GetLastError();
        if (nTry >= REPLACE_TRIES || !IsTransient(dwError))
            break;
        Sleep(dwPause);
        dwPause *= 2;
    }
    DeleteFileW(pwszTemp);
    if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_FILE_EXISTS)
        return INISAVE_CHANGED;
    return dwError == ERROR_ACCESS_DENIED ? SAVE_IN_PLACE : ResultOfSaveError(dwError);
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
    wchar_t wszTemp[MAX_PATH], wszBackup[MAX_PATH];
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
    return SwapIntoPlace(pwszFile, wszTemp, wszBackup, pfd);
}

// Marks the open file hFile (opened with DELETE) to be deleted when it is
// closed, whatever its name has become: SetFileInformationByHandle where
// kernel32 has it (Vista and later), else NtSetInformationFile.
static bool DeleteWhenClosed(HANDLE hFile)
{
    typedef BOOL(WINAPI * PFNSETFILEINFORMATIONBYHANDLE)(HANDLE, int, LPVOID, DWORD);
    typedef LONG(WINAPI * PFNNTSETINFORMATIONFILE)(HANDLE, void *, void *, ULONG, int);
    struct {
        union {
            LONG nStatus;
            void *pv;
        } u;
        ULONG_PTR uInformation;
    } iosb;
    BOOLEAN fDelete = TRUE;
    HMODULE hKernel32 = GetModuleHandleA("kernel32.dll"), hNtdll = GetModuleHandleA("ntdll.dll");
    PFNSETFILEINFORMATIONBYHANDLE pfnSetFileInformationByHandle =
        hKernel32 ? (PFNSETFILEINFORMATIONBYHANDLE)(void (*)(void))GetProcAddress(hKernel32, "SetFileInformationByHandle")
                  : NULL;
    // FileDispositionInfo (4) and FileDispositionInformation (13): one BOOLEAN.
    if (pfnSetFileInformationByHandle)
        return pfnSetFileInformationByHandle(hFile, 4, &fDelete, sizeof(fDelete)) != FALSE;
    PFNNTSETINFORMATIONFILE pfnNtSetInformationFile =
        hNtdll ? (PFNNTSETINFORMATIONFILE)(void (*)(void))GetProcAddress(hNtdll, "NtSetInformationFile") : NULL;
    return pfnNtSetInformationFile && pfnNtSetInformationFile(hFile, &iosb, &fDelete, sizeof(fDelete), 13) >= 0;
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
    int nResult = OpenUnchanged(pwszFile, pfd, WIO_OPEN_WRITE, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                &hFile);
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

// Converts the UTF-8 name pszFile into pwszFile (of MAX_PATH units); false
// when it is no valid UTF-8 or does not fit.
static bool WideName(const char *pszFile, wchar_t *pwszFile)
{
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszFile, -1, pwszFile, MAX_PATH) > 0;
}

// The UTF-8 name pszFile made full, into pwszFull (of MAX_PATH units); false
// when it is no valid UTF-8 or too long.
static bool FullName(const char *pszFile, wchar_t *pwszFull)
{
    wchar_t wszFile[MAX_PATH];
    if (!WideName(pszFile, wszFile))
        return false;
    DWORD cchFull = GetFullPathNameW(wszFile, MAX_PATH, pwszFull, NULL);
    return cchFull > 0 && cchFull < MAX_PATH;
}

// Opens the file to read it.
static HANDLE OpenToRead(const wchar_t *pwszFile)
{
    return WIO(WIO_OPEN, pwszFile, INVALID_HANDLE_VALUE,
               CreateFileW(pwszFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL));
}

int IniStore_Read(const char *pszFile, _INIFILEDATA *pfd)
{
    memset(pfd, 0, sizeof(*pfd));
    wchar_t wszFile[MAX_PATH];
    if (!FullName(pszFile, wszFile))
        return INIFILE_FAILED;
    DWORD dwAttributes = GetFileAttributesW(wszFile);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return INIFILE_NOT_FILE;
    HANDLE hFile = OpenToRead(wszFile);
    DWORD dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
    if (dwError == ERROR_FILE_NOT_FOUND) {
        // Missing for a moment while another save replaces it, or left only
        // under its backup name by a replace that never ended: once no save
        // runs, it is there again, or the backup is put back.
        HANDLE hLock = LockSaves(wszFile);
        if (!hLock)
            return INIFILE_LOCKED;
        int nRestore = NameExists(wszFile) ? RESTORE_DONE : RestoreBackup(wszFile);
        UnlockSaves(hLock);
        if (nRestore == RESTORE_REFUSED)
            return INIFILE_NOT_RESTORED;
        if (nRestore == RESTORE_DONE) {
            dwAttributes = GetFileAttributesW(wszFile);
            hFile = OpenToRead(wszFile);
            dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        }
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
    wchar_t wszFull[MAX_PATH];
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
    if (nResult == INISAVE_OK)
        FlushAfterReplace(wszFull);
    else if (nResult == SAVE_IN_PLACE)
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
    wchar_t wszFull[MAX_PATH];
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
    wchar_t wszFull[MAX_PATH], wszBackup[MAX_PATH];
    return FullName(pszFile, wszFull) && NameExists(wszFull) && FindLeftBackup(wszFull, false, wszBackup) &&
           WideCharToMultiByte(CP_UTF8, 0, BaseOf(wszBackup), -1, pszName, cchName > INT_MAX ? INT_MAX : (int)cchName,
                               NULL, NULL) > 0;
}
