// IniFiles: the game client's configuration file, read and rewritten line by
// line. Every call reads the whole file into memory and scans it once; a write
// builds the new content in memory and replaces the file in one step through
// the small platform section below, so a failure leaves the old file intact.
#include "IniFiles.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Longest key that can be stored: "#" and the key word stay below 255 bytes.
#define MAX_KEY 253
// First block read from a file whose size cannot be told.
#define READ_CHUNK 65536
// Buffer of the typed loaders: at most 31 bytes of a number are looked at.
#define NUMBER_TEXT 32
// Buffer of the typed savers, enough for any int or float in the default formats.
#define FORMAT_TEXT 64

// Results of reading the whole file.
enum { READ_OK, READ_MISSING, READ_FAILED };

// A growing block of bytes: the new content of the file while it is built.
struct _OUTBUF {
    unsigned char *pb;
    size_t cb;
    size_t cbMax;
    bool fFailed;
};

// ---------------------------------------------------------------------------
// Platform: write permission of the file, and replacing it in one step. This
// is the only part of the module that knows the operating system.
// ---------------------------------------------------------------------------

// Builds the name of the nth candidate temporary file beside pszFile; false
// when the name does not fit into cchTemp bytes.
static bool TempFileName(char *szTemp, size_t cchTemp, const char *pszFile, unsigned long uProcess,
                         unsigned n)
{
    int cch = snprintf(szTemp, cchTemp, "%s.%lu-%u.tmp", pszFile, uProcess, n);
    return cch > 0 && (size_t)cch < cchTemp;
}

#ifdef _WIN32
#include <windows.h>

// True when the file exists and carries the read-only attribute.
static bool FileIsReadOnly(const char *pszFile)
{
    DWORD dwAttributes = GetFileAttributesA(pszFile);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Writes all cb bytes to hFile; false on the first failed or short write.
static bool WriteAll(HANDLE hFile, const unsigned char *pb, size_t cb)
{
    while (cb > 0) {
        DWORD cbChunk = cb > 0x40000000 ? 0x40000000 : (DWORD)cb;
        DWORD cbWritten = 0;
        if (!WriteFile(hFile, pb, cbChunk, &cbWritten, NULL) || cbWritten == 0)
            return false;
        pb += cbWritten;
        cb -= cbWritten;
    }
    return true;
}

// Writes pb to a new file beside pszFile, flushes it to disk and moves it over
// pszFile. On failure the new file is deleted and pszFile is untouched.
static bool ReplaceFileContent(const char *pszFile, const unsigned char *pb, size_t cb)
{
    char szTemp[MAX_PATH];
    HANDLE hFile = INVALID_HANDLE_VALUE;
    for (unsigned n = 0; n < 100 && hFile == INVALID_HANDLE_VALUE; n++) {
        if (!TempFileName(szTemp, sizeof(szTemp), pszFile, GetCurrentProcessId(), n))
            return false;
        hFile = CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    bool fOk = WriteAll(hFile, pb, cb) && FlushFileBuffers(hFile);
    fOk = CloseHandle(hFile) && fOk;
    fOk = fOk && MoveFileExA(szTemp, pszFile, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!fOk)
        DeleteFileA(szTemp);
    return fOk;
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// True when the file exists and may not be written: no write permission for
// this user, or no write bit at all (which root's permission would ignore).
static bool FileIsReadOnly(const char *pszFile)
{
    struct stat st;
    if (stat(pszFile, &st) != 0)
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(pszFile, W_OK) != 0;
}

// Writes all cb bytes to fd; false on the first failed write.
static bool WriteAll(int fd, const unsigned char *pb, size_t cb)
{
    while (cb > 0) {
        ssize_t cbWritten = write(fd, pb, cb);
        if (cbWritten < 0 && errno == EINTR)
            continue;
        if (cbWritten <= 0)
            return false;
        pb += cbWritten;
        cb -= (size_t)cbWritten;
    }
    return true;
}

// Writes pb to a new file beside pszFile (with pszFile's permissions), flushes
// it to disk and renames it over pszFile. On failure the new file is removed
// and pszFile is untouched.
static bool ReplaceFileContent(const char *pszFile, const unsigned char *pb, size_t cb)
{
    size_t cchTemp = strlen(pszFile) + 32;
    char *pszTemp = (char *)malloc(cchTemp);
    if (!pszTemp)
        return false;
    int fd = -1;
    for (unsigned n = 0; n < 100 && fd < 0; n++) {
        if (!TempFileName(pszTemp, cchTemp, pszFile, (unsigned long)getpid(), n))
            break;
        fd = open(pszTemp, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        free(pszTemp);
        return false;
    }
    struct stat st;
    bool fOk = stat(pszFile, &st) != 0 || fchmod(fd, st.st_mode & 07777) == 0;
    fOk = fOk && WriteAll(fd, pb, cb) && fsync(fd) == 0;
    fOk = close(fd) == 0 && fOk;
    fOk = fOk && rename(pszTemp, pszFile) == 0;
    if (!fOk)
        unlink(pszTemp);
    free(pszTemp);
    return fOk;
}
#endif

// ---------------------------------------------------------------------------
// Portable helpers.
// ---------------------------------------------------------------------------

// Folds the ASCII capitals A-Z to small letters; every other byte is itself.
static unsigned char FoldCase(unsigned char b)
{
    return b >= 'A' && b <= 'Z' ? (unsigned char)(b - 'A' + 'a') : b;
}

// Length of a key that can be stored, or 0 for one that cannot: null, empty,
// longer than MAX_KEY, or holding a blank byte (0x20 or less) or "=".
static size_t KeyLength(const char *pszKey)
{
    if (!pszKey)
        return 0;
    size_t cch = 0;
    for (; pszKey[cch] != '\0'; cch++) {
        unsigned char b = (unsigned char)pszKey[cch];
        if (cch >= MAX_KEY || b <= ' ' || b == '=')
            return 0;
    }
    return cch;
}

// Length of the part of a value that is written: up to its first control byte.
static size_t ValueLength(const char *pszValue)
{
    size_t cch = 0;
    while ((unsigned char)pszValue[cch] >= 0x20)
        cch++;
    return cch;
}

// Length of the UTF-8 byte-order mark at the start of the content (3 or 0).
static size_t BomLength(const unsigned char *pb, size_t cb)
{
    return cb >= 3 && pb[0] == 0xEF && pb[1] == 0xBB && pb[2] == 0xBF ? 3 : 0;
}

// Next "#" from p on that is directly followed by bFirst (in either case when
// it is an ASCII letter), or NULL. Tests eight positions at a time: a word is
// skipped when none of its bytes is "#" with the wanted byte behind it.
static const unsigned char *FindHashAnd(const unsigned char *p, const unsigned char *pEnd,
                                        unsigned char bFirst)
{
    const uint64_t uOnes = 0x0101010101010101u;
    unsigned char bWant = FoldCase(bFirst);
    unsigned char bMask = bWant >= 'a' && bWant <= 'z' ? 0x20 : 0;
    uint64_t uHash = uOnes * '#', uMask = uOnes * bMask, uWant = uOnes * bWant;
    while (pEnd - p >= 2) {
        while (pEnd - p >= 9) {
            uint64_t u0, u1;
            memcpy(&u0, p, 8);
            memcpy(&u1, p + 1, 8);
            uint64_t uZero = (u0 ^ uHash) | ((u1 | uMask) ^ uWant);
            if (((uZero - uOnes) & ~uZero & (uOnes << 7)) != 0)
                break;
            p += 8;
        }
        const unsigned char *pStop = pEnd - p >= 9 ? p + 8 : pEnd - 1;
        for (; p < pStop; p++) {
            if (p[0] == '#' && (unsigned char)(p[1] | bMask) == bWant)
                return p;
        }
    }
    return NULL;
}

// True when only blank bytes (line feeds excepted) stand between the start of
// p's line and p; pBegin is the start of the first line.
static bool StartsLine(const unsigned char *pBegin, const unsigned char *p)
{
    while (p > pBegin && p[-1] <= ' ' && p[-1] != '\n')
        p--;
    return p == pBegin || p[-1] == '\n';
}

// The line feed that ends the line at p, or pEnd for the last line.
static const unsigned char *LineEnd(const unsigned char *p, const unsigned char *pEnd)
{
    const void *pv = memchr(p, '\n', (size_t)(pEnd - p));
    return pv ? (const unsigned char *)pv : pEnd;
}

// When the "#" at pLine, up to pLineEnd, starts the key word of the key,
// returns the end of that key word, else NULL.
static const unsigned char *MatchSetting(const unsigned char *pLine, const unsigned char *pLineEnd,
                                         const char *pszKey, size_t cchKey)
{
    if ((size_t)(pLineEnd - pLine) - 1 < cchKey)
        return NULL;
    const unsigned char *pWord = pLine + 1;
    for (size_t i = 0; i < cchKey; i++) {
        if (FoldCase(pWord[i]) != FoldCase((unsigned char)pszKey[i]))
            return NULL;
    }
    // The key holds no space or "=", so the word ends here or goes on longer.
    const unsigned char *pWordEnd = pWord + cchKey;
    if (pWordEnd < pLineEnd && *pWordEnd != ' ' && *pWordEnd != '=')
        return NULL;
    return pWordEnd;
}

// The next setting line of the key from p on: its "#", or NULL when there is
// none; *ppLineEnd and *ppWordEnd get the ends of its line and its key word.
static const unsigned char *NextSetting(const unsigned char *pBegin, const unsigned char *p,
                                        const unsigned char *pEnd, const char *pszKey,
                                        size_t cchKey, const unsigned char **ppLineEnd,
                                        const unsigned char **ppWordEnd)
{
    // Only a "#" followed by the key's first byte can start a setting of the
    // key; it does when it is the first non-blank byte of its line.
    while ((p = FindHashAnd(p, pEnd, (unsigned char)pszKey[0])) != NULL) {
        if (StartsLine(pBegin, p)) {
            *ppLineEnd = LineEnd(p, pEnd);
            *ppWordEnd = MatchSetting(p, *ppLineEnd, pszKey, cchKey);
            if (*ppWordEnd)
                return p;
        }
        p++;
    }
    return NULL;
}

// Size of the open file as its end position tells it, or -1; only a hint.
static long FileSizeHint(FILE *pf)
{
    long cb = fseek(pf, 0, SEEK_END) == 0 ? ftell(pf) : -1;
    rewind(pf);
    return cb;
}

// Reads the whole file into a new heap block (*ppb, to be freed by the caller,
// NULL when nothing was read) and gives READ_OK, READ_MISSING when the file does
// not exist, or READ_FAILED when it exists but cannot be read.
static int ReadWholeFile(const char *pszFile, unsigned char **ppb, size_t *pcb)
{
    *ppb = NULL;
    *pcb = 0;
    FILE *pf = fopen(pszFile, "rb");
    if (!pf)
        return errno == ENOENT ? READ_MISSING : READ_FAILED;
    // Read into a block one byte larger than the file, so that a single read
    // reaches its end; the block doubles whenever a read fills it.
    long cbHint = FileSizeHint(pf);
    size_t cbMax = cbHint >= 0 && (unsigned long)cbHint < SIZE_MAX - 1 ? (size_t)cbHint + 1 : READ_CHUNK;
    size_t cb = 0;
    unsigned char *pb = (unsigned char *)malloc(cbMax);
    if (!pb && cbMax > READ_CHUNK) {
        cbMax = READ_CHUNK;
        pb = (unsigned char *)malloc(cbMax);
    }
    bool fOk = pb != NULL;
    while (fOk) {
        cb += fread(pb + cb, 1, cbMax - cb, pf);
        if (cb < cbMax)
            break;
        unsigned char *pbGrown = cbMax <= SIZE_MAX / 2 ? (unsigned char *)realloc(pb, cbMax * 2) : NULL;
        fOk = pbGrown != NULL;
        if (fOk) {
            pb = pbGrown;
            cbMax *= 2;
        }
    }
    fOk = fOk && !ferror(pf);
    fclose(pf);
    if (!fOk) {
        free(pb);
        return READ_FAILED;
    }
    *ppb = pb;
    *pcb = cb;
    return READ_OK;
}

// Appends cb bytes to the output, growing it; a failed allocation marks it failed.
static void OutAppend(_OUTBUF *pob, const void *pv, size_t cb)
{
    if (pob->fFailed || cb == 0)
        return;
    if (cb > pob->cbMax - pob->cb) {
        size_t cbNeed = pob->cb + cb;
        size_t cbMax = cbNeed <= SIZE_MAX / 2 ? cbNeed * 2 : cbNeed;
        unsigned char *pbGrown = cbNeed < pob->cb ? NULL : (unsigned char *)realloc(pob->pb, cbMax);
        if (!pbGrown) {
            pob->fFailed = true;
            return;
        }
        pob->pb = pbGrown;
        pob->cbMax = cbMax;
    }
    memcpy(pob->pb + pob->cb, pv, cb);
    pob->cb += cb;
}

// Appends the setting line "#key = value", without a line end.
static void OutAppendSetting(_OUTBUF *pob, const char *pszKey, size_t cchKey, const char *pszValue,
                             size_t cchValue)
{
    OutAppend(pob, "#", 1);
    OutAppend(pob, pszKey, cchKey);
    OutAppend(pob, " = ", 3);
    OutAppend(pob, pszValue, cchValue);
}

// Copies the value behind an "=" (pValue..pLineEnd) into pszResult: leading
// spaces and tabs skipped, up to the first control byte and at most nSize - 1
// bytes, trailing spaces removed, always terminated. Writes nothing when nSize < 1.
static void CopyValue(const unsigned char *pValue, const unsigned char *pLineEnd, char *pszResult,
                      int nSize)
{
    if (nSize < 1)
        return;
    while (pValue < pLineEnd && (*pValue == ' ' || *pValue == '\t'))
        pValue++;
    size_t cchMax = (size_t)nSize - 1, cch = 0;
    while (cch < cchMax && pValue + cch < pLineEnd && pValue[cch] >= 0x20)
        cch++;
    while (cch > 0 && pValue[cch - 1] == ' ')
        cch--;
    memcpy(pszResult, pValue, cch);
    pszResult[cch] = '\0';
}

// Formats one value with pszFormat into a buffer large enough for it and
// stores it as the key's value.
static bool PutFormatted(const char *pszFile, const char *pszSection, const char *pszKey,
                         const char *pszFormat, ...)
{
    char szText[FORMAT_TEXT];
    va_list args, argsCopy;
    va_start(args, pszFormat);
    va_copy(argsCopy, args);
    int cch = vsnprintf(szText, sizeof(szText), pszFormat, args);
    va_end(args);
    char *pszText = szText;
    if (cch >= (int)sizeof(szText)) {
        pszText = (char *)malloc((size_t)cch + 1);
        if (pszText && vsnprintf(pszText, (size_t)cch + 1, pszFormat, argsCopy) != cch)
            cch = -1;
    }
    va_end(argsCopy);
    bool fOk = cch >= 0 && pszText && IniFile_PutString(pszFile, pszSection, pszKey, pszText);
    if (pszText != szText)
        free(pszText);
    return fOk;
}

// ---------------------------------------------------------------------------
// Key access.
// ---------------------------------------------------------------------------

bool IniFile_GetString(const char *pszFile, const char *pszSection, const char *pszKey,
                       char *pszResult, int nSize)
{
    (void)pszSection;
    size_t cchKey = KeyLength(pszKey);
    unsigned char *pb;
    size_t cb;
    if (!pszFile || !pszResult || cchKey == 0 || ReadWholeFile(pszFile, &pb, &cb) != READ_OK)
        return false;

    bool fFound = false;
    const unsigned char *pEnd = pb + cb;
    const unsigned char *pBegin = pb + BomLength(pb, cb);
    const unsigned char *p = pBegin, *pLineEnd, *pWordEnd;
    while (!fFound &&
           (p = NextSetting(pBegin, p, pEnd, pszKey, cchKey, &pLineEnd, &pWordEnd)) != NULL) {
        // The first line of the key that has an "=" on it holds the value.
        const void *pEquals = memchr(pWordEnd, '=', (size_t)(pLineEnd - pWordEnd));
        if (pEquals) {
            CopyValue((const unsigned char *)pEquals + 1, pLineEnd, pszResult, nSize);
            fFound = true;
        }
        p = pLineEnd;
    }
    free(pb);
    return fFound;
}

bool IniFile_PutString(const char *pszFile, const char *pszSection, const char *pszKey,
                       const char *pszValue)
{
    (void)pszSection;
    size_t cchKey = KeyLength(pszKey);
    if (!pszFile || !pszValue || cchKey == 0)
        return false;
    size_t cchValue = ValueLength(pszValue);
    unsigned char *pbOld;
    size_t cbOld;
    int nRead = ReadWholeFile(pszFile, &pbOld, &cbOld);
    if (nRead == READ_FAILED || (nRead == READ_OK && FileIsReadOnly(pszFile))) {
        free(pbOld);
        return false;
    }

    const unsigned char *pStart = pbOld ? pbOld : (const unsigned char *)"";
    const unsigned char *pEnd = pStart + cbOld;
    // The new content: the old one, a replaced line seldom longer than one
    // setting, and room for an appended line.
    size_t cbLine = 1 + cchKey + 3 + cchValue;
    _OUTBUF ob = {NULL, 0, cbOld + 2 + cbLine, false};
    ob.pb = (unsigned char *)malloc(ob.cbMax);
    ob.fFailed = ob.pb == NULL;
    // Old bytes from pKeep on are still to be copied; each setting line of the
    // key is replaced, keeping the blank bytes in front of it.
    const unsigned char *pKeep = pStart;
    const unsigned char *pBegin = pStart + BomLength(pStart, cbOld);
    const unsigned char *p = pBegin, *pLineEnd, *pWordEnd;
    bool fReplaced = false;
    while ((p = NextSetting(pBegin, p, pEnd, pszKey, cchKey, &pLineEnd, &pWordEnd)) != NULL) {
        // A key word that ends the line is kept: it is no setting of the key.
        if (pWordEnd < pLineEnd) {
            OutAppend(&ob, pKeep, (size_t)(p - pKeep));
            OutAppendSetting(&ob, pszKey, cchKey, pszValue, cchValue);
            pKeep = pLineEnd;
            fReplaced = true;
        }
        p = pLineEnd;
    }
    OutAppend(&ob, pKeep, (size_t)(pEnd - pKeep));
    if (!fReplaced) {
        if (cbOld > 0 && pEnd[-1] != '\n')
            OutAppend(&ob, "\r\n", 2);
        OutAppendSetting(&ob, pszKey, cchKey, pszValue, cchValue);
    }

    bool fOk = !ob.fFailed && ReplaceFileContent(pszFile, ob.pb, ob.cb);
    free(ob.pb);
    free(pbOld);
    return fOk;
}

// ---------------------------------------------------------------------------
// Typed accessors.
// ---------------------------------------------------------------------------

bool IniFile_LoadString(const char *pszFile, const char *pszSection, const char *pszKey,
                        const char *pszDefault, char *pszResult, int nSize)
{
    if (!pszResult || nSize < 1)
        return false;
    if (IniFile_GetString(pszFile, pszSection, pszKey, pszResult, nSize))
        return true;
    if (pszDefault) {
        // Like strncpy: the rest of the buffer is zeroed, and the text is cut
        // to nSize - 1 bytes so that it stays terminated.
        strncpy(pszResult, pszDefault, (size_t)nSize - 1);
        pszResult[nSize - 1] = '\0';
    } else {
        pszResult[0] = '\0';
    }
    return false;
}

int IniFile_LoadInt(const char *pszFile, const char *pszSection, const char *pszKey, int nDefault)
{
    char szText[NUMBER_TEXT];
    if (!IniFile_GetString(pszFile, pszSection, pszKey, szText, sizeof(szText)))
        return nDefault;
    char *pszEnd;
    long lValue = strtol(szText, &pszEnd, 10);
    if (pszEnd == szText)
        return nDefault;
    // Numbers beyond the range of int are held at its nearest end.
    if (lValue > INT_MAX)
        return INT_MAX;
    if (lValue < INT_MIN)
        return INT_MIN;
    return (int)lValue;
}

float IniFile_LoadFloat(const char *pszFile, const char *pszSection, const char *pszKey,
                        float fDefault)
{
    char szText[NUMBER_TEXT];
    if (!IniFile_GetString(pszFile, pszSection, pszKey, szText, sizeof(szText)))
        return fDefault;
    char *pszEnd;
    float fValue = strtof(szText, &pszEnd);
    return pszEnd == szText ? fDefault : fValue;
}

bool IniFile_SaveString(const char *pszFile, const char *pszSection, const char *pszKey,
                        const char *pszValue)
{
    return IniFile_PutString(pszFile, pszSection, pszKey, pszValue);
}

bool IniFile_SaveInt(const char *pszFile, const char *pszSection, const char *pszKey, int nValue,
                     const char *pszFormat)
{
    if (!pszFormat || !*pszFormat)
        pszFormat = "%d";
    return PutFormatted(pszFile, pszSection, pszKey, pszFormat, nValue);
}

bool IniFile_SaveFloat(const char *pszFile, const char *pszSection, const char *pszKey,
                       float fValue, const char *pszFormat)
{
    if (!pszFormat || !*pszFormat)
        pszFormat = "%f";
    return PutFormatted(pszFile, pszSection, pszKey, pszFormat, (double)fValue);
}
