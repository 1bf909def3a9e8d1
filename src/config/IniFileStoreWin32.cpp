// IniFileStore on Windows: reading a file whole and putting new content in its
// place with a temporary file and ReplaceFileA (which keeps the replaced
// file's attributes, permissions and creation time), or in place where no
// temporary file can stand in for it.
#include "IniFileStore.h"

#include "IniFiles.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#ifndef REPLACEFILE_WRITE_THROUGH
#define REPLACEFILE_WRITE_THROUGH 0x00000001
#endif

// Candidate names tried for a temporary file.
#define TEMP_TRIES 100
// Largest block handed to one ReadFile or WriteFile call.
#define IO_CHUNK 0x40000000u

// Attributes that a replaced file keeps (read-only files are never replaced).
#define KEPT_ATTRIBUTES \
    (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | \
     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)

// What a read learned of the file: its identity, number of hard links,
// attributes and creation time.
struct _WIN32FACTS {
    DWORD dwVolume;
    DWORD dwIndexHigh;
    DWORD dwIndexLow;
    DWORD nLinks;
    DWORD dwAttributes;
    FILETIME ftCreated;
};

// How a replace through a temporary file ended.
enum { RENAME_DONE, RENAME_FAILED, RENAME_REFUSED };

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

// Reads up to cb bytes from the file (a HANDLE) into pb; gives the number
// read, 0 at its end, -1 on failure.
static long ReadSome(void *pvFile, unsigned char *pb, size_t cb)
{
    DWORD cbRead = 0;
    if (!ReadFile((HANDLE)pvFile, pb, cb > IO_CHUNK ? IO_CHUNK : (DWORD)cb, &cbRead, NULL))
        return -1;
    return (long)cbRead;
}

// Writes all cb bytes behind what was written to the file (a HANDLE) before;
// false on the first failed write.
static bool WriteNext(void *pvFile, const unsigned char *pb, size_t cb)
{
    while (cb > 0) {
        DWORD cbWritten = 0;
        if (!WriteFile((HANDLE)pvFile, pb, cb > IO_CHUNK ? IO_CHUNK : (DWORD)cb, &cbWritten, NULL) ||
            cbWritten == 0)
            return false;
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
           SetEndOfFile(hFile);
}

// True when no other program holds the file open without letting it be
// replaced. ReplaceFileA would fail then too, but some implementations leave a
// file of their own behind when they find out late.
static bool MayReplace(const char *pszFile)
{
    HANDLE hFile = CreateFileA(pszFile, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
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

// Removes the temporary files beside pszFile that a process which no longer
// runs left behind; any other file stays.
static void RemoveLeftovers(const char *pszFile)
{
    char szPattern[MAX_PATH], szPath[MAX_PATH];
    const char *pszSlash = strrchr(pszFile, '\\'), *pszOther = strrchr(pszFile, '/');
    if (!pszSlash || (pszOther && pszOther > pszSlash))
        pszSlash = pszOther;
    const char *pszBase = pszSlash ? pszSlash + 1 : pszFile;
    size_t cchFolder = (size_t)(pszBase - pszFile);
    if (!IniStore_TempName(szPattern, sizeof(szPattern), pszFile, 0, 0))
        return;
    // "<file>.*.tmp": the name check below is the exact one.
    strcpy(szPattern + strlen(pszFile) + 1, "*.tmp");
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        DWORD uProcess = (DWORD)IniStore_TempNameProcess(fd.cFileName, pszBase);
        size_t cchName = strlen(fd.cFileName);
        if (uProcess == 0 || uProcess == GetCurrentProcessId() || ProcessMayRun(uProcess) ||
            (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || cchFolder + cchName >= MAX_PATH)
            continue;
        memcpy(szPath, pszFile, cchFolder);
        memcpy(szPath + cchFolder, fd.cFileName, cchName + 1);
        DeleteFileA(szPath);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

// Writes the new content to a temporary file beside pszFile, flushes it and
// puts it in place: ReplaceFileA over an existing file, MoveFileExA for a new
// one. The temporary file takes the attributes and creation time of the file
// that was read (pFacts, NULL for a new file) itself, so that they stay even
// where ReplaceFileA is a plain move. RENAME_REFUSED, with nothing left
// behind, when the folder refuses the new file or its name would be too long.
static int ReplaceByRename(const char *pszFile, const _WIN32FACTS *pFacts, const _INIPIECE *aPieces,
                           size_t nPieces)
{
    char szTemp[MAX_PATH];
    HANDLE hFile = INVALID_HANDLE_VALUE;
    for (unsigned n = 0; n < TEMP_TRIES && hFile == INVALID_HANDLE_VALUE; n++) {
        if (!IniStore_TempName(szTemp, sizeof(szTemp), pszFile, GetCurrentProcessId(), n))
            return RENAME_REFUSED;
        hFile = CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        if (dwError == ERROR_ACCESS_DENIED || dwError == ERROR_FILENAME_EXCED_RANGE)
            return RENAME_REFUSED;
        if (dwError != NO_ERROR && dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS)
            return RENAME_FAILED;
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return RENAME_FAILED;
    if (pFacts)
        SetFileTime(hFile, &pFacts->ftCreated, NULL, NULL);
    size_t cb;
    bool fOk = WritePieces(hFile, aPieces, nPieces, &cb) && FlushFileBuffers(hFile);
    fOk = CloseHandle(hFile) && fOk;
    if (fOk && pFacts && (pFacts->dwAttributes & KEPT_ATTRIBUTES))
        fOk = SetFileAttributesA(szTemp, pFacts->dwAttributes & KEPT_ATTRIBUTES);
    if (fOk && pFacts)
        fOk = MayReplace(pszFile) && ReplaceFileA(pszFile, szTemp, NULL, REPLACEFILE_WRITE_THROUGH, NULL, NULL);
    else if (fOk)
        fOk = MoveFileExA(szTemp, pszFile, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!fOk)
        DeleteFileA(szTemp);
    return fOk ? RENAME_DONE : RENAME_FAILED;
}

// Rewrites the file that was read in place: new bytes, new length, flush. A
// failed step puts the old bytes and length back and gives false.
static bool RewriteInPlace(const char *pszFile, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                           size_t nPieces)
{
    const _INIPIECE old = {pfd->pb, pfd->cb};
    size_t cb;
    const _WIN32FACTS *pFacts = (const _WIN32FACTS *)pfd->pvFacts;
    HANDLE hFile = CreateFileA(pszFile, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    // Only the very file that was read is rewritten.
    BY_HANDLE_FILE_INFORMATION bhfi;
    bool fSame = GetFileInformationByHandle(hFile, &bhfi) &&
                 bhfi.dwVolumeSerialNumber == pFacts->dwVolume &&
                 bhfi.nFileIndexHigh == pFacts->dwIndexHigh && bhfi.nFileIndexLow == pFacts->dwIndexLow;
    bool fOk = fSame && WritePieces(hFile, aPieces, nPieces, &cb) && SetLength(hFile, cb) &&
               FlushFileBuffers(hFile);
    if (fSame && !fOk) {
        WritePieces(hFile, &old, 1, &cb);
        SetLength(hFile, pfd->cb);
        FlushFileBuffers(hFile);
    }
    CloseHandle(hFile);
    return fOk;
}

int IniStore_Read(const char *pszFile, _INIFILEDATA *pfd)
{
    memset(pfd, 0, sizeof(*pfd));
    DWORD dwAttributes = GetFileAttributesA(pszFile);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return INIFILE_NOT_FILE;
    HANDLE hFile = CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return ResultOfOpenError(GetLastError());
    // Devices and pipes are refused before anything is read from them.
    _WIN32FACTS *pFacts = (_WIN32FACTS *)malloc(sizeof(_WIN32FACTS));
    BY_HANDLE_FILE_INFORMATION bhfi;
    int nResult = INIFILE_FAILED;
    if (GetFileType(hFile) != FILE_TYPE_DISK)
        nResult = INIFILE_NOT_FILE;
    else if (pFacts && GetFileInformationByHandle(hFile, &bhfi)) {
        pFacts->dwVolume = bhfi.dwVolumeSerialNumber;
        pFacts->dwIndexHigh = bhfi.nFileIndexHigh;
        pFacts->dwIndexLow = bhfi.nFileIndexLow;
        pFacts->nLinks = bhfi.nNumberOfLinks;
        pFacts->dwAttributes = bhfi.dwFileAttributes;
        pFacts->ftCreated = bhfi.ftCreationTime;
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
    // The full name: ReplaceFileA needs the folder of a relative name.
    char szFull[MAX_PATH];
    DWORD cchFull = GetFullPathNameA(pszFile, sizeof(szFull), szFull, NULL);
    if (cchFull == 0 || cchFull >= sizeof(szFull))
        return INISAVE_FAILED;
    const _WIN32FACTS *pFacts = pfd->fExists ? (const _WIN32FACTS *)pfd->pvFacts : NULL;
    if (pFacts && (pFacts->dwAttributes & FILE_ATTRIBUTE_READONLY))
        return INISAVE_FAILED;
    // A second hard link would keep the old content under its name.
    int nResult = pFacts && pFacts->nLinks > 1 ? RENAME_REFUSED : ReplaceByRename(szFull, pFacts, aPieces, nPieces);
    bool fOk = nResult == RENAME_DONE;
    if (nResult == RENAME_REFUSED && pFacts)
        fOk = RewriteInPlace(szFull, pfd, aPieces, nPieces);
    if (fOk)
        RemoveLeftovers(szFull);
    return fOk ? INISAVE_OK : INISAVE_FAILED;
}
