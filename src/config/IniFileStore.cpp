// IniFileStore, the part shared by both platforms: writing a content given in
// pieces, and the names of the temporary files that stand in for a file while
// it is replaced.
#include "IniFileStore.h"

#include "IniFiles.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

// Block in which small pieces are gathered before they are written.
#define GATHER_BLOCK 65536
// Block in which a file is compared with the bytes that were read.
#define COMPARE_BLOCK 16384

unsigned char *IniStore_ReadAll(size_t cbSize, PFNINIREAD pfnRead, void *pvFile, size_t *pcb)
{
    // One byte more than the size, so that one read reaches the end.
    size_t cbMax = cbSize < (size_t)-1 ? cbSize + 1 : 0, cb = 0;
    unsigned char *pb = cbMax ? (unsigned char *)malloc(cbMax) : NULL;
    while (pb) {
        long cbRead = pfnRead(pvFile, pb + cb, cbMax - cb);
        if (cbRead < 0)
            break;
        if (cbRead == 0) {
            *pcb = cb;
            return pb;
        }
        cb += (size_t)cbRead;
        if (cb == cbMax) {
            // The file grew since its size was taken: go on in a larger block.
            unsigned char *pbGrown = cbMax <= ((size_t)-1) / 2 ? (unsigned char *)realloc(pb, cbMax * 2) : NULL;
            if (!pbGrown)
                break;
            pb = pbGrown;
            cbMax *= 2;
        }
    }
    free(pb);
    return NULL;
}

bool IniStore_WritePieces(const _INIPIECE *aPieces, size_t nPieces, PFNINIWRITE pfnWrite,
                          void *pvFile)
{
    unsigned char *pbBlock = (unsigned char *)malloc(GATHER_BLOCK);
    size_t cbBlock = 0;
    bool fOk = pbBlock != NULL;
    for (size_t i = 0; fOk && i < nPieces; i++) {
        const _INIPIECE *pPiece = &aPieces[i];
        if (pPiece->cb <= GATHER_BLOCK - cbBlock) {
            memcpy(pbBlock + cbBlock, pPiece->pb, pPiece->cb);
            cbBlock += pPiece->cb;
            continue;
        }
        // A piece that does not fit: the block goes first, then the piece,
        // or the piece starts the next block when it is small.
        fOk = cbBlock == 0 || pfnWrite(pvFile, pbBlock, cbBlock);
        cbBlock = 0;
        if (fOk && pPiece->cb <= GATHER_BLOCK / 2) {
            memcpy(pbBlock, pPiece->pb, pPiece->cb);
            cbBlock = pPiece->cb;
        } else if (fOk) {
            fOk = pfnWrite(pvFile, pPiece->pb, pPiece->cb);
        }
    }
    fOk = fOk && (cbBlock == 0 || pfnWrite(pvFile, pbBlock, cbBlock));
    free(pbBlock);
    return fOk;
}

int IniStore_HoldsBytes(PFNINIREAD pfnRead, void *pvFile, const unsigned char *pb, size_t cb)
{
    unsigned char abBlock[COMPARE_BLOCK];
    for (size_t cbDone = 0;;) {
        long cbRead = pfnRead(pvFile, abBlock, sizeof(abBlock));
        if (cbRead < 0)
            return -1;
        if (cbRead == 0)
            return cbDone == cb;
        // More bytes than were read, or other ones.
        if ((size_t)cbRead > cb - cbDone || memcmp(abBlock, pb + cbDone, (size_t)cbRead) != 0)
            return 0;
        cbDone += (size_t)cbRead;
    }
}

// The number of the next temporary name of this process: never handed out twice.
static std::atomic<unsigned> g_nNextTemp(0);

unsigned IniStore_NextTempNumber(void)
{
    return g_nNextTemp.fetch_add(1);
}

bool IniStore_NameEnd(char *pszEnd, size_t cchEnd, unsigned long uProcess, unsigned n,
                      const char *pszKind)
{
    int cch = snprintf(pszEnd, cchEnd, "%s%lu-%u%s", STORE_MARKER, uProcess, n, pszKind);
    return cch > 0 && (size_t)cch < cchEnd;
}

bool IniStore_TempName(char *pszTemp, size_t cchTemp, const char *pszFile, unsigned long uProcess,
                       unsigned n)
{
    char szEnd[TEMP_SUFFIX];
    int cch = IniStore_NameEnd(szEnd, sizeof(szEnd), uProcess, n, ".tmp")
                  ? snprintf(pszTemp, cchTemp, "%s%s", pszFile, szEnd)
                  : -1;
    return cch > 0 && (size_t)cch < cchTemp;
}

unsigned long IniStore_TempNameProcess(const char *pszName, const char *pszBase)
{
    size_t cchBase = strlen(pszBase);
    return strncmp(pszName, pszBase, cchBase) == 0 ? IniStore_NameEndProcess(pszName + cchBase, ".tmp") : 0;
}

unsigned long IniStore_NameEndProcess(const char *pszEnd, const char *pszKind)
{
    size_t cchMarker = strlen(STORE_MARKER);
    if (strncmp(pszEnd, STORE_MARKER, cchMarker) != 0)
        return 0;
    // At most ten digits each; a process number beyond 32 bits is no such name.
    const char *p = pszEnd + cchMarker;
    unsigned long long uProcess = 0;
    int cDigits = 0;
    for (; *p >= '0' && *p <= '9' && cDigits < 10; p++, cDigits++)
        uProcess = uProcess * 10 + (unsigned long long)(*p - '0');
    if (cDigits == 0 || uProcess > 0xFFFFFFFFull || *p++ != '-')
        return 0;
    for (cDigits = 0; *p >= '0' && *p <= '9' && cDigits < 10; p++)
        cDigits++;
    return cDigits > 0 && strcmp(p, pszKind) == 0 ? (unsigned long)uProcess : 0;
}

int IniStore_Finish(_INIFILEDATA *pfd, int nResult, void *pvFacts)
{
    if (nResult != INIFILE_OK) {
        free(pfd->pb);
        free(pvFacts);
        memset(pfd, 0, sizeof(*pfd));
        return nResult;
    }
    pfd->fExists = true;
    pfd->pvFacts = pvFacts;
    return INIFILE_OK;
}

void IniStore_Free(_INIFILEDATA *pfd)
{
    free(pfd->pb);
    free(pfd->pvFacts);
    memset(pfd, 0, sizeof(*pfd));
}
