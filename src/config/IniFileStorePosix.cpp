// IniFileStore on POSIX systems: reading a file whole and putting new content
// in its place with a temporary file and rename(), or in place where no
// temporary file can stand in for it; either only while the file still holds
// the bytes that were read.
#include "IniFileStore.h"

#include "IniFiles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <sys/file.h>
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
// How long a save waits for another one's lock: tries, and the pause between.
#define LOCK_TRIES 200
#define LOCK_PAUSE_NS 1000000L

// What a read learned of the file: its status, taken from the descriptor read.
struct _POSIXFACTS {
    struct stat st;
};

// A result of the replace through a temporary file besides the INISAVE_
// ones: nothing was touched, and the file is to be rewritten in place.
#define REPLACE_IN_PLACE (-1)

// The INIFILE_ result for a failed open of a file to read.
static int ResultOfOpenError(int nErrno)
{
    if (nErrno == ENOENT)
        return INIFILE_MISSING;
    if (nErrno == EACCES || nErrno == EPERM)
        return INIFILE_DENIED;
    return INIFILE_FAILED;
}

// The INISAVE_ result for a failed call that wrote or was to write the file.
static int ResultOfErrno(int nErrno)
{
    switch (nErrno) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return INISAVE_FULL;
    case EIO:
        return INISAVE_IO;
    case EACCES:
    case EPERM:
    case EROFS:
        return INISAVE_DENIED;
    default:
        return INISAVE_FAILED;
    }
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

// INISAVE_OK when the file that was read may be written; INISAVE_READ_ONLY
// when it has no write bit (which root's permission would ignore) or lacks
// its owner's and this user owns it; else the reason this user may not.
static int WriteRefusal(const char *pszFile, const struct stat *pst)
{
    mode_t nWrite = pst->st_uid == geteuid() ? S_IWUSR : (S_IWUSR | S_IWGRP | S_IWOTH);
    if ((pst->st_mode & nWrite) == 0)
        return INISAVE_READ_ONLY;
    return access(pszFile, W_OK) == 0 ? INISAVE_OK : ResultOfErrno(errno);
}

// INISAVE_OK when the open file fd, read from its current offset (its start),
// holds exactly the bytes of *pfd; INISAVE_CHANGED when it holds others;
// another result when it cannot be read.
static int CompareContent(int fd, const _INIFILEDATA *pfd)
{
    int nSame = IniStore_HoldsBytes(ReadSome, &fd, pfd->pb, pfd->cb);
    return nSame < 0 ? ResultOfErrno(errno) : nSame ? INISAVE_OK : INISAVE_CHANGED;
}

// True when two timestamps are the same to the nanosecond.
static bool SameTime(const struct timespec *ptsA, const struct timespec *ptsB)
{
    return ptsA->tv_sec == ptsB->tv_sec && ptsA->tv_nsec == ptsB->tv_nsec;
}

// Takes the exclusive lock on the open file fd that every save of this module
// takes before its last check, waiting a moment for another save to let go.
// INISAVE_OK also where the file system has no such locks; INISAVE_LOCKED
// when another program keeps holding it.
static int LockFile(int fd)
{
    for (int n = 0; n < LOCK_TRIES; n++) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR))
            return INISAVE_OK;
        struct timespec ts = {0, LOCK_PAUSE_NS};
        nanosleep(&ts, NULL);
    }
    return INISAVE_LOCKED;
}

// INISAVE_OK when pszTarget still names the file whose status is *pst (the
// same device and inode), INISAVE_CHANGED when it names another or none.
static int StillNamed(const char *pszTarget, const struct stat *pst)
{
    struct stat st;
    if (IO(IO_FSTAT, stat(pszTarget, &st)) != 0)
        return errno == ENOENT ? INISAVE_CHANGED : ResultOfErrno(errno);
    return st.st_dev == pst->st_dev && st.st_ino == pst->st_ino ? INISAVE_OK : INISAVE_CHANGED;
}

// True when the status of a file now (pst) is the one it had when it was read
// (pstRead, its bytes cbRead) as far as a replace depends on it: the same
// file by device and inode, size, modification time, and what the new file
// takes over (mode, owner, group) or must keep (the number of its links).
static bool SameStatus(const struct stat *pst, const struct stat *pstRead, size_t cbRead)
{
    return pst->st_dev == pstRead->st_dev && pst->st_ino == pstRead->st_ino &&
           (size_t)pst->st_size == cbRead && SameTime(&pst->st_mtim, &pstRead->st_mtim) &&
           pst->st_mode == pstRead->st_mode && pst->st_uid == pstRead->st_uid &&
           pst->st_gid == pstRead->st_gid && pst->st_nlink == pstRead->st_nlink;
}

// The last checks on the open file fd (whose status is *pst) when it passed
// the cheap tests (fCheap): it is locked, then must still be under the name
// pszTarget and hold exactly the bytes of *pfd. INISAVE_CHANGED when it fails
// a test; another result when that cannot be told.
static int LockIfStillRead(int fd, bool fCheap, const char *pszTarget, const struct stat *pst,
                           const _INIFILEDATA *pfd)
{
    int nResult = fCheap ? LockFile(fd) : INISAVE_CHANGED;
    if (nResult == INISAVE_OK)
        nResult = StillNamed(pszTarget, pst);
    if (nResult == INISAVE_OK)
        nResult = CompareContent(fd, pfd);
    return nResult;
}

// INISAVE_OK when pszTarget is still the file that was read: missing when it
// was missing, else with the status it had (SameStatus) and the bytes that
// were read (the time alone may be too coarse to tell two writes apart).
// It is then locked until the
// caller closes *pfdLock (-1 when nothing is to be closed). INISAVE_CHANGED
// when it is not; another result when that cannot be told.
static int LockUnchanged(const char *pszTarget, const _INIFILEDATA *pfd, const struct stat *pstRead,
                         int *pfdLock)
{
    *pfdLock = -1;
    int fd = IO(IO_OPEN, open(pszTarget, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd < 0 && errno == ENOENT)
        return pstRead ? INISAVE_CHANGED : INISAVE_OK;
    if (fd < 0)
        return ResultOfErrno(errno);
    struct stat st;
    int nResult;
    if (pstRead && IO(IO_FSTAT, fstat(fd, &st)) != 0)
        nResult = ResultOfErrno(errno);
    else
        nResult = LockIfStillRead(fd, pstRead && SameStatus(&st, pstRead, pfd->cb), pszTarget, &st, pfd);
    if (nResult == INISAVE_OK)
        *pfdLock = fd;
    else
        close(fd);
    return nResult;
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
// a file system that cannot flush a folder counts as flushed. Gives an
// INISAVE_ result.
static int FlushFolder(const char *pszFile)
{
    const char *pszBase;
    char *pszFolder = FolderOf(pszFile, &pszBase);
    if (!pszFolder)
        return INISAVE_FAILED;
    int fd = IO(IO_OPEN, open(pszFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    free(pszFolder);
    if (fd < 0)
        return ResultOfErrno(errno);
    int nResult = IO(IO_FSYNC, fsync(fd)) == 0 || errno == EINVAL ? INISAVE_OK : ResultOfErrno(errno);
    close(fd);
    return nResult;
}

// Removes the temporary files beside pszFile that a process which no longer
// runs left behind; any other file stays. Nothing is removed while pszFile is
// missing: a leftover may then be the only copy of its content.
static void RemoveLeftovers(const char *pszFile)
{
    const char *pszBase;
    struct stat stFile;
    char *pszFolder = lstat(pszFile, &stFile) == 0 ? FolderOf(pszFile, &pszBase) : NULL;
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
// group of the file that was read (pst, NULL for a new file), flushes it and,
// when pszTarget is still the file that was read (*pfd), renames it over
// pszTarget. Gives an INISAVE_ result, or REPLACE_IN_PLACE when the folder
// refuses the new file or its rename, or the file's owner cannot be kept
// (only for a file that exists). Unless it gives INISAVE_OK, nothing is
// left behind.
static int ReplaceByRename(const char *pszTarget, const _INIFILEDATA *pfd, const struct stat *pst,
                           const _INIPIECE *aPieces, size_t nPieces)
{
    size_t cchTemp = strlen(pszTarget) + TEMP_SUFFIX;
    char *pszTemp = (char *)malloc(cchTemp);
    if (!pszTemp)
        return INISAVE_FAILED;
    int fd = CreateTemp(pszTarget, pszTemp, cchTemp, pst ? 0600 : 0666);
    if (fd < 0) {
        int nResult = ResultOfErrno(errno);
        if (pst && (errno == EACCES || errno == EPERM || errno == ENAMETOOLONG))
            nResult = REPLACE_IN_PLACE;
        free(pszTemp);
        return nResult;
    }
    // An owner that the new file cannot take sends the save in place; any
    // other failure ends it.
    int nResult = INISAVE_OK;
    if (pst && IO(IO_FCHOWN, fchown(fd, pst->st_uid, pst->st_gid)) != 0)
        nResult = errno == EPERM || errno == EINVAL ? REPLACE_IN_PLACE : ResultOfErrno(errno);
    else if ((pst && IO(IO_FCHMOD, fchmod(fd, pst->st_mode & 07777)) != 0) ||
             !WritePieces(fd, aPieces, nPieces) || IO(IO_FSYNC, fsync(fd)) != 0)
        nResult = ResultOfErrno(errno);
    if (IO(IO_CLOSE, close(fd)) != 0 && nResult == INISAVE_OK)
        nResult = ResultOfErrno(errno);
    int fdLock = -1;
    if (nResult == INISAVE_OK)
        nResult = LockUnchanged(pszTarget, pfd, pst, &fdLock);
    if (nResult == INISAVE_OK && IO(IO_RENAME, rename(pszTemp, pszTarget)) != 0)
        nResult = pst && (errno == EACCES || errno == EPERM) ? REPLACE_IN_PLACE : ResultOfErrno(errno);
    if (fdLock >= 0)
        close(fdLock);
    if (nResult != INISAVE_OK)
        unlink(pszTemp);
    free(pszTemp);
    return nResult;
}

// Rewrites the file under the name pszTarget in place when it still holds the
// bytes that were read (*pfd), whatever its inode, locked as LockUnchanged
// locks it: new bytes, new length, flush. A failed step puts the old bytes
// and length back; INISAVE_DAMAGED when that fails too.
static int RewriteInPlace(const char *pszTarget, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                          size_t nPieces)
{
    const _INIPIECE old = {pfd->pb, pfd->cb};
    int fd = IO(IO_OPEN, open(pszTarget, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
        return errno == ENOENT ? INISAVE_CHANGED : ResultOfErrno(errno);
    struct stat st;
    int nResult;
    if (IO(IO_FSTAT, fstat(fd, &st)) != 0)
        nResult = ResultOfErrno(errno);
    else
        nResult = LockIfStillRead(fd, S_ISREG(st.st_mode) && (size_t)st.st_size == pfd->cb, pszTarget, &st,
                                  pfd);
    if (nResult == INISAVE_OK &&
        (!WritePieces(fd, aPieces, nPieces) ||
         IO(IO_FTRUNCATE, ftruncate(fd, (off_t)PiecesSize(aPieces, nPieces))) != 0 ||
         IO(IO_FSYNC, fsync(fd)) != 0)) {
        nResult = ResultOfErrno(errno);
        if (!WritePieces(fd, &old, pfd->cb > 0 ? 1 : 0) ||
            IO(IO_FTRUNCATE, ftruncate(fd, (off_t)pfd->cb)) != 0 || IO(IO_FSYNC, fsync(fd)) != 0)
            nResult = INISAVE_DAMAGED;
    }
    close(fd);
    return nResult;
}

int IniStore_Lock(const char *pszFile, void **ppvLock)
{
    (void)pszFile;
    *ppvLock = NULL;
    return INISAVE_OK;
}

void IniStore_Unlock(void *pvLock)
{
    (void)pvLock;
}

bool IniStore_FindBackup(const char *pszFile, char *pszName, size_t cchName)
{
    (void)pszFile;
    (void)pszName;
    (void)cchName;
    return false;
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
    int nResult = pst ? WriteRefusal(pszFile, pst) : INISAVE_OK;
    if (nResult != INISAVE_OK)
        return nResult;
    char *pszTarget = TargetOf(pszFile);
    if (!pszTarget)
        return INISAVE_FAILED;
    // A second hard link would keep the old content under its name.
    nResult = pst && pst->st_nlink > 1 ? REPLACE_IN_PLACE
                                       : ReplaceByRename(pszTarget, pfd, pst, aPieces, nPieces);
    if (nResult == INISAVE_OK)
        nResult = FlushFolder(pszTarget);
    else if (nResult == REPLACE_IN_PLACE)
        nResult = RewriteInPlace(pszTarget, pfd, aPieces, nPieces);
    // After a save that created the file, a leftover may hold the player's
    // only copy of an earlier one.
    if (nResult == INISAVE_OK && pst)
        RemoveLeftovers(pszTarget);
    free(pszTarget);
    return nResult;
}
