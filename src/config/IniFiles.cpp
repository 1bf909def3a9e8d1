// IniFiles: the format of the game client's configuration file. Every
// operation works on the whole file in memory: a lookup scans the bytes of one
// read, a save builds the new content and hands it to IniFileStore, which
// knows the platform and puts it in place.
#include "IniFiles.h"

#include "IniFileStore.h"

#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Longest key that can be stored: "#" and the key word stay below 255 bytes.
#define MAX_KEY 253
// Buffer of the typed savers, enough for any int or float in the default formats.
#define FORMAT_TEXT 64
// Times a save reads and replaces the file while another program keeps changing it.
#define SAVE_TRIES 5

// A file read once: its bytes as the store read them.
struct _INISNAPSHOT {
    _INIFILEDATA fd;
};

// The new content of the file while it is built: a growing list of pieces
// that point into the old content and into the batch's keys and values.
struct _OUTBUF {
    _INIPIECE *aPieces;
    size_t nPieces;
    size_t nMax;
    size_t cb;              // bytes so far
    unsigned char bLast;    // the last of them
    bool fFailed;
};

// One key of a batch as it is applied: the spelling and value of the last
// change of the key (in the order given), and whether a line of it was replaced.
struct _BATCHKEY {
    const char *pszKey;
    size_t cchKey;
    const char *pszValue;
    size_t cchValue;
    int iFirst, iLast;      // positions of its first and last change in the batch
    bool fReplaced;
};

// A quick test that rules out most lines that are no setting of a batch key:
// a bit for the hash of the first cbTest bytes (small letters) of each key,
// cbTest being the length of the shortest key, at most 4.
struct _BATCHFILTER {
    size_t cbTest;
    uint64_t auBits[64];
};

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

// When the "#" at p, in content ending at pEnd, starts the key word of the
// key (the same bytes but for case, then a space, "=", a line feed or the end
// of the content), returns the end of that key word, else NULL.
static const unsigned char *MatchSetting(const unsigned char *p, const unsigned char *pEnd,
                                         const char *pszKey, size_t cchKey)
{
    if ((size_t)(pEnd - p) - 1 < cchKey)
        return NULL;
    const unsigned char *pWord = p + 1;
    for (size_t i = 0; i < cchKey; i++) {
        if (FoldCase(pWord[i]) != FoldCase((unsigned char)pszKey[i]))
            return NULL;
    }
    // The key holds no blank or "=", so the word ends here or goes on longer.
    const unsigned char *pWordEnd = pWord + cchKey;
    if (pWordEnd < pEnd && *pWordEnd != ' ' && *pWordEnd != '=' && *pWordEnd != '\n')
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
        if ((*ppWordEnd = MatchSetting(p, pEnd, pszKey, cchKey)) != NULL && StartsLine(pBegin, p)) {
            *ppLineEnd = LineEnd(*ppWordEnd, pEnd);
            return p;
        }
        p++;
    }
    return NULL;
}

// Appends cb bytes at pv to the output as a piece, or to the last piece when
// they follow it; a failed allocation marks the output failed.
static void OutAppend(_OUTBUF *pob, const void *pv, size_t cb)
{
    const unsigned char *pb = (const unsigned char *)pv;
    if (pob->fFailed || cb == 0)
        return;
    pob->cb += cb;
    pob->bLast = pb[cb - 1];
    _INIPIECE *pLast = pob->nPieces > 0 ? &pob->aPieces[pob->nPieces - 1] : NULL;
    if (pLast && pLast->pb + pLast->cb == pb) {
        pLast->cb += cb;
        return;
    }
    if (pob->nPieces == pob->nMax) {
        size_t nMax = pob->nMax < 16 ? 16 : pob->nMax * 2;
        _INIPIECE *aGrown = nMax <= ((size_t)-1) / sizeof(_INIPIECE)
                                ? (_INIPIECE *)realloc(pob->aPieces, nMax * sizeof(_INIPIECE))
                                : NULL;
        if (!aGrown) {
            pob->fFailed = true;
            return;
        }
        pob->aPieces = aGrown;
        pob->nMax = nMax;
    }
    pob->aPieces[pob->nPieces].pb = pb;
    pob->aPieces[pob->nPieces].cb = cb;
    pob->nPieces++;
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

// Folds the ASCII capitals of a word of eight bytes to small letters.
static uint64_t FoldCase8(uint64_t u)
{
    const uint64_t uOnes = 0x0101010101010101u, uHigh = uOnes << 7;
    // A byte is a capital when it is at least 'A' and below 'Z' + 1; the sums
    // are taken on the low seven bits so that no byte carries into the next.
    uint64_t uLow = u & ~uHigh;
    uint64_t uAtLeastA = (uLow + uOnes * (0x80 - 'A')) & uHigh;
    uint64_t uAboveZ = (uLow + uOnes * (0x80 - 'Z' - 1)) & uHigh;
    uint64_t uCapital = uAtLeastA & ~uAboveZ & ~u;
    return u | (uCapital >> 2);
}

// The batch key whose setting line starts with the "#" at p, or NULL.
static _BATCHKEY *MatchBatch(const unsigned char *p, const unsigned char *pEnd, _BATCHKEY *abk,
                             int nKeys)
{
    for (int i = 0; i < nKeys; i++) {
        if (MatchSetting(p, pEnd, abk[i].pszKey, abk[i].cchKey))
            return &abk[i];
    }
    return NULL;
}

// True when two keys are the same but for ASCII case.
static bool SameKey(const char *pszA, size_t cchA, const char *pszB, size_t cchB)
{
    if (cchA != cchB)
        return false;
    for (size_t i = 0; i < cchA; i++) {
        if (FoldCase((unsigned char)pszA[i]) != FoldCase((unsigned char)pszB[i]))
            return false;
    }
    return true;
}

// Hash of the cb (1 to 8) bytes at p, small letters, into 12 bits.
static unsigned FilterHash(const unsigned char *p, size_t cb)
{
    uint64_t u = 0;
    for (size_t i = 0; i < cb; i++)
        u |= (uint64_t)p[i] << (8 * i);
    return (unsigned)((FoldCase8(u) * 0x9E3779B97F4A7C15u) >> 52);
}

// Sets up the quick test for the keys of a batch.
static void PrepareFilter(const _BATCHKEY *abk, int nKeys, _BATCHFILTER *pbf)
{
    pbf->cbTest = 4;
    for (int i = 0; i < nKeys; i++)
        pbf->cbTest = abk[i].cchKey < pbf->cbTest ? abk[i].cchKey : pbf->cbTest;
    memset(pbf->auBits, 0, sizeof(pbf->auBits));
    for (int i = 0; i < nKeys; i++) {
        unsigned uHash = FilterHash((const unsigned char *)abk[i].pszKey, pbf->cbTest);
        pbf->auBits[uHash >> 6] |= (uint64_t)1 << (uHash & 63);
    }
}

// False when the key word behind the "#" at p, in content ending at pEnd,
// belongs to no key of the batch; true when it may.
static bool FilterPasses(const _BATCHFILTER *pbf, const unsigned char *p, const unsigned char *pEnd)
{
    if ((size_t)(pEnd - p) - 1 < pbf->cbTest)
        return false;
    unsigned uHash = FilterHash(p + 1, pbf->cbTest);
    return (pbf->auBits[uHash >> 6] >> (uHash & 63)) & 1;
}

// Fills abk with the keys of the batch, each key once (ASCII case aside), in
// the order of its first change, with the spelling and value of its last one.
// Gives their number, or -1 when a key cannot be stored or a value is null.
static int PrepareBatch(const _INISETTING *aSettings, int nSettings, _BATCHKEY *abk)
{
    int nKeys = 0;
    for (int i = 0; i < nSettings; i++) {
        const char *pszKey = aSettings[i].pszKey;
        size_t cchKey = KeyLength(pszKey);
        if (cchKey == 0 || !aSettings[i].pszValue)
            return -1;
        int k = 0;
        while (k < nKeys && !SameKey(abk[k].pszKey, abk[k].cchKey, pszKey, cchKey))
            k++;
        if (k == nKeys) {
            nKeys++;
            abk[k].iFirst = i;
            abk[k].fReplaced = false;
        }
        abk[k].pszKey = pszKey;
        abk[k].cchKey = cchKey;
        abk[k].pszValue = aSettings[i].pszValue;
        abk[k].cchValue = ValueLength(aSettings[i].pszValue);
        abk[k].iLast = i;
    }
    return nKeys;
}

// Builds the new content of a file from its old content, as the changes of
// the batch made one after another would: every setting line of a batch key
// replaced (blank bytes in front of it kept, its line end reduced to a line
// feed), then a line appended for each key that had none.
static void RewriteContent(const unsigned char *pStart, size_t cbOld, _BATCHKEY *abk, int nKeys,
                           _OUTBUF *pob)
{
    _BATCHFILTER bf;
    PrepareFilter(abk, nKeys, &bf);
    const unsigned char *pEnd = pStart + cbOld;
    const unsigned char *pBegin = pStart + BomLength(pStart, cbOld);
    // Old bytes from pKeep on are still to be copied. pbkLast is the key of
    // the last line when that line is a setting of the batch without line end.
    const unsigned char *pKeep = pStart, *p = pBegin;
    const _BATCHKEY *pbkLast = NULL;
    while (p < pEnd && (p = (const unsigned char *)memchr(p, '#', (size_t)(pEnd - p))) != NULL) {
        _BATCHKEY *pbk = FilterPasses(&bf, p, pEnd) && StartsLine(pBegin, p)
                             ? MatchBatch(p, pEnd, abk, nKeys)
                             : NULL;
        if (!pbk) {
            p++;
            continue;
        }
        const unsigned char *pLineEnd = LineEnd(p, pEnd);
        // A key word that ends the line is kept: it is no setting of the key.
        if (p + 1 + pbk->cchKey < pLineEnd) {
            OutAppend(pob, pKeep, (size_t)(p - pKeep));
            OutAppendSetting(pob, pbk->pszKey, pbk->cchKey, pbk->pszValue, pbk->cchValue);
            pKeep = pLineEnd;
            pbk->fReplaced = true;
            if (pLineEnd == pEnd)
                pbkLast = pbk;
        }
        p = pLineEnd;
    }
    OutAppend(pob, pKeep, (size_t)(pEnd - pKeep));
    for (int i = 0; i < nKeys; i++) {
        if (abk[i].fReplaced)
            continue;
        if (pob->cb > 0 && pob->bLast != '\n') {
            // One by one, this line's change would end the last line with
            // "\r\n"; a later change of that line's key replaces it up to the
            // line feed, which drops the carriage return.
            if (pbkLast && pbkLast->iLast > abk[i].iFirst)
                OutAppend(pob, "\n", 1);
            else
                OutAppend(pob, "\r\n", 2);
        }
        OutAppendSetting(pob, abk[i].pszKey, abk[i].cchKey, abk[i].pszValue, abk[i].cchValue);
        pbkLast = &abk[i];
    }
}

// ---------------------------------------------------------------------------
// Key access.
// ---------------------------------------------------------------------------

_INISNAPSHOT *IniFile_ReadSnapshot(const char *pszFile, int *pnResult)
{
    int nResult = INIFILE_FAILED;
    _INISNAPSHOT *pSnapshot = pszFile ? (_INISNAPSHOT *)malloc(sizeof(_INISNAPSHOT)) : NULL;
    if (pSnapshot) {
        nResult = IniStore_Read(pszFile, &pSnapshot->fd);
        if (nResult != INIFILE_OK && nResult != INIFILE_MISSING) {
            free(pSnapshot);
            pSnapshot = NULL;
        }
    }
    if (pnResult)
        *pnResult = nResult;
    return pSnapshot;
}

// The file read for a lookup of pszKey; no snapshot (no keys), and nothing
// read, when the key cannot be stored.
static _INISNAPSHOT *ReadForKey(const char *pszFile, const char *pszKey)
{
    return KeyLength(pszKey) ? IniFile_ReadSnapshot(pszFile, NULL) : NULL;
}

bool IniFile_SnapshotRestored(const _INISNAPSHOT *pSnapshot, char *pszName, int nSize)
{
    if (!pSnapshot || !pszName || nSize < 1 || !pSnapshot->fd.szRestored[0])
        return false;
    snprintf(pszName, (size_t)nSize, "%s", pSnapshot->fd.szRestored);
    return true;
}

bool IniFile_FindLeftBackup(const char *pszFile, char *pszName, int nSize)
{
    return pszFile && pszName && nSize > 0 && IniStore_FindBackup(pszFile, pszName, (size_t)nSize);
}

void IniFile_FreeSnapshot(_INISNAPSHOT *pSnapshot)
{
    if (!pSnapshot)
        return;
    IniStore_Free(&pSnapshot->fd);
    free(pSnapshot);
}

bool IniFile_SnapshotGetString(const _INISNAPSHOT *pSnapshot, const char *pszKey,
                               char *pszResult, int nSize)
{
    size_t cchKey = KeyLength(pszKey);
    if (!pSnapshot || !pszResult || cchKey == 0 || !pSnapshot->fd.pb)
        return false;
    const unsigned char *pb = pSnapshot->fd.pb;
    size_t cb = pSnapshot->fd.cb;
    const unsigned char *pEnd = pb + cb;
    const unsigned char *pBegin = pb + BomLength(pb, cb);
    const unsigned char *p = pBegin, *pLineEnd, *pWordEnd;
    while ((p = NextSetting(pBegin, p, pEnd, pszKey, cchKey, &pLineEnd, &pWordEnd)) != NULL) {
        // The first line of the key that has an "=" on it holds the value.
        const void *pEquals = memchr(pWordEnd, '=', (size_t)(pLineEnd - pWordEnd));
        if (pEquals) {
            CopyValue((const unsigned char *)pEquals + 1, pLineEnd, pszResult, nSize);
            return true;
        }
        p = pLineEnd;
    }
    return false;
}

bool IniFile_GetString(const char *pszFile, const char *pszSection, const char *pszKey,
                       char *pszResult, int nSize)
{
    (void)pszSection;
    _INISNAPSHOT *pSnapshot = pszResult ? ReadForKey(pszFile, pszKey) : NULL;
    bool fFound = IniFile_SnapshotGetString(pSnapshot, pszKey, pszResult, nSize);
    IniFile_FreeSnapshot(pSnapshot);
    return fFound;
}

// The INISAVE_ result of a save whose read of the file failed with nRead.
static int SaveResultOfRead(int nRead)
{
    if (nRead == INIFILE_LOCKED)
        return INISAVE_LOCKED;
    return nRead == INIFILE_DENIED ? INISAVE_DENIED : INISAVE_FAILED;
}

// Reads the file, applies the batch (abk, nKeys) to what it holds and has the
// store put the new content in place; gives the store's INISAVE_ result.
static int SaveOnce(const char *pszFile, _BATCHKEY *abk, int nKeys)
{
    void *pvLock;
    int nLock = IniStore_Lock(pszFile, &pvLock);
    if (nLock != INISAVE_OK)
        return nLock;
    _INIFILEDATA fd;
    int nRead = IniStore_Read(pszFile, &fd);
    if (nRead != INIFILE_OK && nRead != INIFILE_MISSING) {
        IniStore_Unlock(pvLock);
        return SaveResultOfRead(nRead);
    }
    for (int i = 0; i < nKeys; i++)
        abk[i].fReplaced = false;
    _OUTBUF ob = {NULL, 0, 0, 0, 0, false};
    RewriteContent(fd.pb ? fd.pb : (const unsigned char *)"", fd.cb, abk, nKeys, &ob);
    int nResult = ob.fFailed ? INISAVE_FAILED : IniStore_Replace(pszFile, &fd, ob.aPieces, ob.nPieces);
    IniStore_Unlock(pvLock);
    free(ob.aPieces);
    IniStore_Free(&fd);
    return nResult;
}

int IniFile_PutStringsEx(const char *pszFile, const char *pszSection,
                         const _INISETTING *aSettings, int nSettings)
{
    (void)pszSection;
    if (!pszFile || !aSettings || nSettings < 1)
        return INISAVE_FAILED;
    _BATCHKEY *abk = (_BATCHKEY *)malloc((size_t)nSettings * sizeof(_BATCHKEY));
    int nKeys = abk ? PrepareBatch(aSettings, nSettings, abk) : -1;
    int nResult = INISAVE_FAILED;
    // When another program changed the file since it was read, the batch is
    // applied again to what that program left, a few times at most.
    for (int nTry = 0; nKeys > 0 && nTry < SAVE_TRIES; nTry++) {
        nResult = SaveOnce(pszFile, abk, nKeys);
        if (nResult != INISAVE_CHANGED)
            break;
    }
    free(abk);
    return nResult;
}

bool IniFile_PutStrings(const char *pszFile, const char *pszSection,
                        const _INISETTING *aSettings, int nSettings)
{
    return IniFile_PutStringsEx(pszFile, pszSection, aSettings, nSettings) == INISAVE_OK;
}

bool IniFile_PutString(const char *pszFile, const char *pszSection, const char *pszKey,
                       const char *pszValue)
{
    _INISETTING setting = {pszKey, pszValue};
    return IniFile_PutStrings(pszFile, pszSection, &setting, 1);
}

// ---------------------------------------------------------------------------
// Typed accessors.
// ---------------------------------------------------------------------------

// Converts the value of a number: the default when the text does not begin with
// a number; numbers beyond the range of int are held at its nearest end.
static int IntFromText(const char *pszText, int nDefault)
{
    char *pszEnd;
    long lValue = strtol(pszText, &pszEnd, 10);
    if (pszEnd == pszText)
        return nDefault;
    if (lValue > INT_MAX)
        return INT_MAX;
    if (lValue < INT_MIN)
        return INT_MIN;
    return (int)lValue;
}

bool IniFile_SnapshotLoadString(const _INISNAPSHOT *pSnapshot, const char *pszKey,
                                const char *pszDefault, char *pszResult, int nSize)
{
    if (!pszResult || nSize < 1)
        return false;
    if (IniFile_SnapshotGetString(pSnapshot, pszKey, pszResult, nSize))
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

int IniFile_SnapshotLoadInt(const _INISNAPSHOT *pSnapshot, const char *pszKey, int nDefault)
{
    char szText[INIFILE_NUMBER_TEXT];
    if (!IniFile_SnapshotGetString(pSnapshot, pszKey, szText, sizeof(szText)))
        return nDefault;
    return IntFromText(szText, nDefault);
}

bool IniFile_LoadString(const char *pszFile, const char *pszSection, const char *pszKey,
                        const char *pszDefault, char *pszResult, int nSize)
{
    (void)pszSection;
    _INISNAPSHOT *pSnapshot = pszResult && nSize >= 1 ? ReadForKey(pszFile, pszKey) : NULL;
    bool fFound = IniFile_SnapshotLoadString(pSnapshot, pszKey, pszDefault, pszResult, nSize);
    IniFile_FreeSnapshot(pSnapshot);
    return fFound;
}

int IniFile_LoadInt(const char *pszFile, const char *pszSection, const char *pszKey, int nDefault)
{
    (void)pszSection;
    _INISNAPSHOT *pSnapshot = ReadForKey(pszFile, pszKey);
    int nValue = IniFile_SnapshotLoadInt(pSnapshot, pszKey, nDefault);
    IniFile_FreeSnapshot(pSnapshot);
    return nValue;
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
