// IniFileStore on POSIX systems: reading a file whole and putting new content
// in its place with a temporary file and rename(), or in place where no
// temporary file can stand in for it.
#include "IniFileStore.h"

#include "IniFiles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef QW_IO_FAULTS
#include "IniFileFaults.h"
#define IO(nCall, expr) (IniFault_Hit(nCall) ? -1 : (expr))
#else
#define IO(nCall, expr) (expr)
#endif

// Candidate names tried for a temporary file.
#define TEMP_TRIES 100

// What a read learned of the file: its status, taken from the descriptor read.
struct _POSIXFACTS {
    struct stat st;
};

// How a replace through a temporary file ended.
enum { RENAME_DONE, RENAME_FAILED, RENAME_REFUSED };

// The INIFILE_ result for a failed open of a file to read.
static int ResultOfOpenError(int nErrno)
{
    if (nErrno == ENOENT)
        return INIFILE_MISSING;
    if (nErrno == EACCES || nErrno == EPERM)
        return INIFILE_DENIED;
    return INIFILE_FAILED;
}

// Reads up to cb bytes from the file (a pointer to its descriptor) into pb;
// gives the number read, 0 at its end, -1 on failure.
static long ReadSome(void *pvFile, unsigned char *pb, size_t cb)
{
    for (;;) {
        ssize_t cbRead = IO(IO_READ, read(*(int *)pvFile, pb, cb));
        if (cbRead >= 0 || errno != EINTR)
            return cbRead < 0 ? -1 : (long)cbRead;
    }
}

// A file being written from its start: its descriptor and the next offset.
struct _POSIXWRITE {
    int fd;
    off_t off;
};

// Writes all cb bytes at the next offset of the file (a _POSIXWRITE); false on
// the first failed write.
static bool WriteNext(void *pvFile, const unsigned char *pb, size_t cb)
{
    _POSIXWRITE *pw = (_POSIXWRITE *)pvFile;
    while (cb > 0) {
        ssize_t cbWritten = IO(IO_WRITE, pwrite(pw->fd, pb, cb, pw->off));
        if (cbWritten < 0 && errno == EINTR)
            continue;
        if (cbWritten <= 0)
            return false;
        pb += cbWritten;
        pw->off += cbWritten;
        cb -= (size_t)cbWritten;
    }
    return true;
}

// Writes the pieces to fd from offset 0 on.
static bool WritePieces(int fd, const _INIPIECE *aPieces, size_t nPieces)
{
    _POSIXWRITE w = {fd, 0};
    return IniStore_WritePieces(aPieces, nPieces, WriteNext, &w);
}

// Adds up the sizes of the pieces.
static size_t PiecesSize(const _INIPIECE *aPieces, size_t nPieces)
{
    size_t cb = 0;
    for (size_t i = 0; i < nPieces; i++)
        cb += aPieces[i].cb;
    return cb;
}

// True when the file that was read may be written: it has a write bit (which
// root's permission would ignore) and this user may write it.
static bool MayWrite(const char *pszFile, const struct stat *pst)
{
    return (pst->st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && access(pszFile, W_OK) == 0;
}

// The name to replace, in a new block: the final target when pszFile is a
// symbolic link (so that the link stays), else pszFile itself; NULL for a
// link whose target cannot be found.
static char *TargetOf(const char *pszFile)
{
    struct stat st;
    if (lstat(pszFile, &st) == 0 && S_ISLNK(st.st_mode))
        return realpath(pszFile, NULL);
    return strdup(pszFile);
}

// Splits a file name into a new block holding its folder ("." when it has
// none) and a pointer to its last component; NULL when out of memory.
static char *FolderOf(const char *pszFile, const char **ppszBase)
{
    const char *pszSlash = strrchr(pszFile, '/');
    *ppszBase = pszSlash ? pszSlash + 1 : pszFile;
    if (!pszSlash)
        return strdup(".");
    size_t cch = pszSlash == pszFile ? 1 : (size_t)(pszSlash - pszFile);
    char *pszFolder = (char *)malloc(cch + 1);
    if (pszFolder) {
        memcpy(pszFolder, pszFile, cch);
        pszFolder[cch] = '\0';
    }
    return pszFolder;
}

// Flushes the folder that holds pszFile, so that a rename in it is on disk;
// a file system that cannot flush a folder counts as flushed.
static bool FlushFolder(const char *pszFile)
{
    const char *pszBase;
    char *pszFolder = FolderOf(pszFile, &pszBase);
    int fd = pszFolder ? IO(IO_OPEN, open(pszFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) : -1;
    free(pszFolder);
    if (fd < 0)
        return false;
    bool fOk = IO(IO_FSYNC, fsync(fd)) == 0 || errno == EINVAL;
    close(fd);
    return fOk;
}

// Removes the temporary files beside pszFile that a process which no longer
// runs left behind; any other file stays.
static void RemoveLeftovers(const char *pszFile)
{
    const char *pszBase;
    char *pszFolder = FolderOf(pszFile, &pszBase);
    DIR *pdir = pszFolder ? opendir(pszFolder) : NULL;
    struct dirent *pde;
    while (pdir && (pde = readdir(pdir)) != NULL) {
        unsigned long uProcess = IniStore_TempNameProcess(pde->d_name, pszBase);
        struct stat st;
        if (uProcess > 0 && uProcess != (unsigned long)getpid() && kill((pid_t)uProcess, 0) != 0 &&
            errno == ESRCH && fstatat(dirfd(pdir), pde->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            unlinkat(dirfd(pdir), pde->d_name, 0);
    }
    if (pdir)
        closedir(pdir);
    free(pszFolder);
}

// Creates a new temporary file beside pszFile, its name in pszTemp (of
// cchTemp bytes), with mode nMode; -1 with errno set when none can be made.
static int CreateTemp(const char *pszFile, char *pszTemp, size_t cchTemp, mode_t nMode)
{
    for (unsigned n = 0; n < TEMP_TRIES; n++) {
        if (!IniStore_TempName(pszTemp, cchTemp, pszFile, (unsigned long)getpid(), IniStore_NextTempNumber())) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = IO(IO_OPEN, open(pszTemp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, nMode));
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Writes the new content to a temporary file with the permissions, owner and
// group of the file that was read (pst, NULL for a new file), flushes it and
// renames it over pszTarget. RENAME_REFUSED, with nothing left behind, when
// the folder refuses the new file or the file's owner cannot be kept.
static int ReplaceByRename(const char *pszTarget, const struct stat *pst, const _INIPIECE *aPieces,
                           size_t nPieces)
{
    size_t cchTemp = strlen(pszTarget) + TEMP_SUFFIX;
    char *pszTemp = (char *)malloc(cchTemp);
    if (!pszTemp)
        return RENAME_FAILED;
    int fd = CreateTemp(pszTarget, pszTemp, cchTemp, pst ? 0600 : 0666);
    if (fd < 0) {
        bool fRefused = errno == EACCES || errno == EPERM || errno == ENAMETOOLONG;
        free(pszTemp);
        return fRefused ? RENAME_REFUSED : RENAME_FAILED;
    }
    int nResult = RENAME_DONE;
    if (pst && IO(IO_FCHOWN, fchown(fd, pst->st_uid, pst->st_gid)) != 0)
        nResult = RENAME_REFUSED;
    else if ((pst && IO(IO_FCHMOD, fchmod(fd, pst->st_mode & 07777)) != 0) ||
             !WritePieces(fd, aPieces, nPieces) || IO(IO_FSYNC, fsync(fd)) != 0)
        nResult = RENAME_FAILED;
    if (IO(IO_CLOSE, close(fd)) != 0 && nResult == RENAME_DONE)
        nResult = RENAME_FAILED;
    if (nResult == RENAME_DONE && IO(IO_RENAME, rename(pszTemp, pszTarget)) != 0)
        nResult = RENAME_FAILED;
    if (nResult != RENAME_DONE)
        unlink(pszTemp);
    free(pszTemp);
    return nResult;
}

// Rewrites the file that was read in place: new bytes, new length, flush. A
// failed step puts the old bytes and length back and gives false.
static bool RewriteInPlace(const char *pszTarget, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                           size_t nPieces)
{
    const _INIPIECE old = {pfd->pb, pfd->cb};
    const struct stat *pstRead = &((const _POSIXFACTS *)pfd->pvFacts)->st;
    int fd = IO(IO_OPEN, open(pszTarget, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
        return false;
    // Only the very file that was read is rewritten.
    struct stat st;
    bool fSame = IO(IO_FSTAT, fstat(fd, &st)) == 0 && S_ISREG(st.st_mode) &&
                 st.st_dev == pstRead->st_dev && st.st_ino == pstRead->st_ino;
    bool fOk = fSame && WritePieces(fd, aPieces, nPieces) &&
               IO(IO_FTRUNCATE, ftruncate(fd, (off_t)PiecesSize(aPieces, nPieces))) == 0 &&
               IO(IO_FSYNC, fsync(fd)) == 0;
    if (fSame && !fOk) {
        WritePieces(fd, &old, 1);
        ftruncate(fd, (off_t)pfd->cb);
        fsync(fd);
    }
    close(fd);
    return fOk;
}

int IniStore_Read(const char *pszFile, _INIFILEDATA *pfd)
{
    memset(pfd, 0, sizeof(*pfd));
    // Without blocking: a FIFO must not wait for a writer before it is refused.
    int fd = IO(IO_OPEN, open(pszFile, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd < 0)
        return ResultOfOpenError(errno);
    _POSIXFACTS *pFacts = (_POSIXFACTS *)malloc(sizeof(_POSIXFACTS));
    int nResult = INIFILE_FAILED;
    if (pFacts && IO(IO_FSTAT, fstat(fd, &pFacts->st)) == 0) {
        if (!S_ISREG(pFacts->st.st_mode))
            nResult = INIFILE_NOT_FILE;
        else if ((pfd->pb = IniStore_ReadAll((size_t)pFacts->st.st_size, ReadSome, &fd, &pfd->cb)) != NULL)
            nResult = INIFILE_OK;
    }
    close(fd);
    return IniStore_Finish(pfd, nResult, pFacts);
}

int IniStore_Replace(const char *pszFile, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                     size_t nPieces)
{
    const struct stat *pst = pfd->fExists ? &((const _POSIXFACTS *)pfd->pvFacts)->st : NULL;
    if (pst && !MayWrite(pszFile, pst))
        return INISAVE_FAILED;
    char *pszTarget = TargetOf(pszFile);
    if (!pszTarget)
        return INISAVE_FAILED;
    // A second hard link would keep the old content under its name.
    int nResult = pst && pst->st_nlink > 1 ? RENAME_REFUSED : ReplaceByRename(pszTarget, pst, aPieces, nPieces);
    bool fOk = nResult == RENAME_DONE && FlushFolder(pszTarget);
    if (nResult == RENAME_REFUSED && pst)
        fOk = RewriteInPlace(pszTarget, pfd, aPieces, nPieces);
    if (fOk)
        RemoveLeftovers(pszTarget);
    free(pszTarget);
    return fOk ? INISAVE_OK : INISAVE_FAILED;
}
