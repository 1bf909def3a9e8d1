#!/usr/bin/env python3
"""mutate.py: how many plausible one-line faults of the configuration file
module its tests catch: natively, and for the Windows store under Wine.

Usage: scripts/mutate.py [--work DIR] [--fuzz-seconds N] [--only N,M,...] [--list]

Copies this tree (the files git knows, as they are in the working tree) into a
scratch folder (a new one under /tmp, or DIR, which is reused with its build)
and builds it natively there. Then it applies each fault of FAULTS below, one
at a time, to the scratch copy only, rebuilds, and runs in turn, each under a
time limit so that a hang counts as caught: the native config tests (ctest
-R '^config\\.'), the unit tests under valgrind, and a short fuzz run (N
seconds, 20 by default); the first that fails catches the fault and the later
ones are skipped. It prints caught or MISSED for each fault, then the number
and percentage caught, per source file and in all.

It stops with an error, before anything is built, when a fault's original text
is not found exactly once in its file (the code moved: update the list), and
when the unmodified copy fails its tests or a fault does not compile. --list
prints the faults; --only runs the numbered ones.

Faults of the Windows store (IniFileStoreWin32.cpp) are judged instead by a
64-bit MinGW build of the scratch copy (build-win64) whose config tests run
under Wine (ctest -R '^config\.', its own Wine prefix in the scratch folder):
the seam tests, the module's tests and the short stress run. Only the
Windows faults: scripts/mutate.py --only $(scripts/mutate.py --win32-numbers)
(about 25 minutes on two cores, 34 faults, 2026-12). Not run by ./test.sh: a full
run takes about 15 minutes on two cores (78 faults, 2026-12).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILES = 'src/config/IniFiles.cpp'
STORE = 'src/config/IniFileStore.cpp'
POSIX = 'src/config/IniFileStorePosix.cpp'
WIN32 = 'src/config/IniFileStoreWin32.cpp'

# Each fault: the file, its exact original text (found exactly once), the
# replacement, and why a player would notice it.
FAULTS = [
    # The format: scanning, case folding, matching, rewriting, values.
    (FILES, "return b >= 'A' && b <= 'Z' ?", "return b >= 'A' && b < 'Z' ?",
     "a key with a Z in another case is not found, and a second line is appended"),
    (FILES, "return b >= 'A' && b <= 'Z' ?", "return b > 'A' && b <= 'Z' ?",
     "a key with an A in another case is not found"),
    (FILES, "if (cch >= MAX_KEY || b <= ' ' || b == '=')", "if (cch > MAX_KEY || b <= ' ' || b == '=')",
     "a key too long to be read back is written: the setting is lost at the next load"),
    (FILES, "if (cch >= MAX_KEY || b <= ' ' || b == '=')", "if (cch >= MAX_KEY || b < ' ' || b == '=')",
     "a key with a space is written as a line that no reader finds"),
    (FILES, "if (cch >= MAX_KEY || b <= ' ' || b == '=')", "if (cch >= MAX_KEY || b <= ' ')",
     "a key with an \"=\" is written as a line of another key"),
    (FILES, "while ((unsigned char)pszValue[cch] >= 0x20)", "while ((unsigned char)pszValue[cch] > 0x20)",
     "a value is cut at its first space"),
    (FILES, "uint64_t uZero = (u0 ^ uHash) | ((u1 | uMask) ^ uWant);",
     "uint64_t uZero = (u0 ^ uHash) | ((u1 & ~uMask) ^ uWant);",
     "the fast scan folds to capitals: settings are found only near a line's end"),
    (FILES, "            p += 8;\n        }\n        const unsigned char *pStop",
     "            p += 9;\n        }\n        const unsigned char *pStop",
     "the fast scan skips a byte: a setting at some offsets is not found"),
    (FILES, "if (((uZero - uOnes) & ~uZero & (uOnes << 7)) != 0)",
     "if (((uZero - uOnes) & uZero & (uOnes << 7)) != 0)",
     "the fast scan's zero-byte test never fires: settings away from a line's end are skipped"),
    (FILES, "if (p[0] == '#' && (unsigned char)(p[1] | bMask) == bWant)",
     "if (p[0] == '#' && p[1] == bWant)",
     "a key whose first letter is a capital in the file is not found near a line's end"),
    (FILES, "while (p > pBegin && p[-1] <= ' ' && p[-1] != '\\n')",
     "while (p > pBegin && p[-1] < ' ' && p[-1] != '\\n')",
     "a setting indented with spaces is not found"),
    (FILES, "if (FoldCase(pWord[i]) != FoldCase((unsigned char)pszKey[i]))",
     "if (pWord[i] != (unsigned char)pszKey[i])",
     "keys are matched with case: a setting written by hand in capitals is lost"),
    (FILES, "if (pWordEnd < pEnd && *pWordEnd != ' ' && *pWordEnd != '=' && *pWordEnd != '\\n')",
     "if (pWordEnd <= pEnd && *pWordEnd != ' ' && *pWordEnd != '=' && *pWordEnd != '\\n')",
     "one byte past the file's content is read"),
    (FILES, "if (pWordEnd < pEnd && *pWordEnd != ' ' && *pWordEnd != '=' && *pWordEnd != '\\n')",
     "if (pWordEnd < pEnd && *pWordEnd != ' ' && *pWordEnd != '\\n')",
     "#key=1 is not taken as a setting of key"),
    (FILES, "    pob->bLast = pb[cb - 1];", "    pob->bLast = pb[0];",
     "lines are appended with a wrong line end, or glued to the last line"),
    (FILES, "    if (pob->nPieces == pob->nMax) {", "    if (pob->nPieces > pob->nMax) {",
     "the piece list is written past its end: a crash or wrong bytes"),
    (FILES, "while (pValue < pLineEnd && (*pValue == ' ' || *pValue == '\\t'))",
     "while (pValue < pLineEnd && *pValue == ' ')",
     "a value behind a tab is read as empty"),
    (FILES, "while (cch < cchMax && pValue + cch < pLineEnd && pValue[cch] >= 0x20)",
     "while (cch <= cchMax && pValue + cch < pLineEnd && pValue[cch] >= 0x20)",
     "a long value overflows the caller's buffer by one byte"),
    (FILES, "while (cch < cchMax && pValue + cch < pLineEnd && pValue[cch] >= 0x20)",
     "while (cch < cchMax && pValue + cch < pLineEnd && pValue[cch] != '\\r')",
     "a value keeps the tab or control byte that should end it"),
    (FILES, "const void *pEquals = memchr(pWordEnd, '=', (size_t)(pLineEnd - pWordEnd));",
     "const void *pEquals = memchr(pWordEnd, '=', (size_t)(pEnd - pWordEnd));",
     "a line of the key without \"=\" takes an \"=\" of a later line: a wrong value"),
    (FILES, "    while (cch > 0 && pValue[cch - 1] == ' ')\n        cch--;",
     "    if (cch > 0 && pValue[cch - 1] == ' ')\n        cch--;",
     "a value keeps trailing spaces"),
    (FILES, "if (cch >= (int)sizeof(szText)) {", "if (cch > (int)sizeof(szText)) {",
     "a formatted value of exactly the buffer's size is cut by one byte and reported saved"),
    (FILES, "if (pszText && vsnprintf(pszText, (size_t)cch + 1, pszFormat, argsCopy) != cch)",
     "if (pszText && vsnprintf(pszText, (size_t)cch, pszFormat, argsCopy) != cch)",
     "a long formatted value is cut by one byte and reported saved"),
    (FILES, "uint64_t uAboveZ = (uLow + uOnes * (0x80 - 'Z' - 1)) & uHigh;",
     "uint64_t uAboveZ = (uLow + uOnes * (0x80 - 'Z')) & uHigh;",
     "a batch misses a line whose key starts with a Z in another case and appends a second"),
    (FILES, "return u | (uCapital >> 2);", "return u | (uCapital >> 1);",
     "a batch misses lines whose keys have capitals"),
    (FILES, "pbf->cbTest = abk[i].cchKey < pbf->cbTest ? abk[i].cchKey : pbf->cbTest;",
     "pbf->cbTest = abk[i].cchKey > pbf->cbTest ? abk[i].cchKey : pbf->cbTest;",
     "a batch with a short key misses that key's lines"),
    (FILES, "if (FoldCase((unsigned char)pszA[i]) != FoldCase((unsigned char)pszB[i]))",
     "if (pszA[i] != pszB[i])",
     "the same key twice in a batch, in another case, gives two lines"),
    (FILES, "if (cchKey == 0 || !aSettings[i].pszValue)", "if (cchKey == 0)",
     "a null value in a batch crashes the editor"),
    (FILES, "if (p + 1 + pbk->cchKey < pLineEnd) {", "if (p + 1 + pbk->cchKey <= pLineEnd) {",
     "a line holding only the key word is replaced"),
    (FILES, "            if (pLineEnd == pEnd)\n                pbkLast = pbk;\n", "",
     "a file's last line gets a wrong line end after a batch"),
    (FILES, "        if (pob->cb > 0 && pob->bLast != '\\n') {", "        if (pob->bLast != '\\n') {",
     "a new file starts with an empty line"),
    (FILES, "    for (int i = 0; i < nKeys; i++)\n        abk[i].fReplaced = false;\n", "",
     "a retried save loses a setting whose line another program deleted, and reports success"),
    (FILES, "for (int nTry = 0; nKeys > 0 && nTry < SAVE_TRIES; nTry++) {",
     "for (int nTry = 0; nKeys > 0 && nTry < 1; nTry++) {",
     "a save that met another program's change fails instead of being applied again"),
    (FILES, "return IniFile_PutStringsEx(pszFile, pszSection, aSettings, nSettings) == INISAVE_OK;",
     "return IniFile_PutStringsEx(pszFile, pszSection, aSettings, nSettings) != INISAVE_FAILED;",
     "a save that failed is reported saved"),
    (FILES, "if (nRead != INIFILE_OK && nRead != INIFILE_MISSING) {", "if (nRead != INIFILE_OK) {",
     "a missing file can never be created"),
    (FILES, "    if (pszEnd == pszText)\n        return nDefault;", "    if (pszEnd == NULL)\n        return nDefault;",
     "a value that is no number loads as 0 instead of the default"),
    (FILES, "    char szText[INIFILE_NUMBER_TEXT];", "    char szText[INIFILE_NUMBER_TEXT - 1];",
     "a number of 31 bytes is read cut"),
    # The shared store code: reading whole, writing pieces, comparing.
    (STORE, "size_t cbMax = cbSize < (size_t)-1 ? cbSize + 1 : 0, cb = 0;",
     "size_t cbMax = cbSize < (size_t)-1 ? cbSize : 0, cb = 0;",
     "an empty file cannot be read, so it is never saved"),
    (STORE, "        if (cbRead < 0)\n            break;\n        if (cbRead == 0) {",
     "        if (cbRead <= 0) {",
     "a read error is taken as the end of the file: the save writes back a cut file"),
    (STORE, "        if (cb == cbMax) {", "        if (cb > cbMax) {",
     "a file that grows while it is read is cut"),
    (STORE, "        fOk = cbBlock == 0 || pfnWrite(pvFile, pbBlock, cbBlock);\n        cbBlock = 0;",
     "        fOk = cbBlock == 0 || pfnWrite(pvFile, pbBlock, cbBlock);",
     "bytes of a large file are written twice"),
    (STORE, "memcpy(pbBlock + cbBlock, pPiece->pb, pPiece->cb);", "memcpy(pbBlock, pPiece->pb, pPiece->cb);",
     "small pieces overwrite each other: the file is garbled"),
    (STORE, "fOk = fOk && (cbBlock == 0 || pfnWrite(pvFile, pbBlock, cbBlock));",
     "fOk = fOk && (cbBlock == 0 || (pfnWrite(pvFile, pbBlock, cbBlock), true));",
     "a failed write of the last block is reported saved: the file is cut"),
    (STORE, "if ((size_t)cbRead > cb - cbDone || memcmp(abBlock, pb + cbDone, (size_t)cbRead) != 0)",
     "if ((size_t)cbRead > cb - cbDone || memcmp(abBlock, pb + cbDone, (size_t)cbRead) > 0)",
     "some changes of another program pass as no change and are overwritten"),
    (STORE, "        cbDone += (size_t)cbRead;\n", "",
     "a file larger than one block always looks changed: it is never saved"),
    (STORE, "            return cbDone == cb;", "            return 1;",
     "a file another program shortened passes as unchanged and is overwritten"),
    (STORE, "    pfd->fExists = true;\n", "",
     "an existing file is treated as new: it is never saved"),
    # The POSIX store: reading, the last checks, the lock, the replace.
    (POSIX, "    if (nErrno == ENOENT)\n        return INIFILE_MISSING;", "",
     "a missing file is an error: the settings are never saved"),
    (POSIX, "    case EIO:\n        return INISAVE_IO;\n", "",
     "a disk error is reported as an unknown failure"),
    (POSIX, "if (cbRead >= 0 || errno != EINTR)", "if (cbRead >= 0 || errno != EIO)",
     "a read error is retried forever: the editor hangs"),
    (POSIX, "if (cbWritten < 0 && errno == EINTR)", "if (cbWritten < 0 && errno == EIO)",
     "a write error is retried forever: the editor hangs"),
    (POSIX, "        pw->off += cbWritten;\n", "",
     "every block is written at the start of the file"),
    (POSIX, "mode_t nWrite = pst->st_uid == geteuid() ? S_IWUSR : (S_IWUSR | S_IWGRP | S_IWOTH);",
     "mode_t nWrite = S_IWUSR | S_IWGRP | S_IWOTH;",
     "a file its owner made read-only for himself is overwritten"),
    (POSIX, "return nSame < 0 ? ResultOfErrno(errno) : nSame ? INISAVE_OK : INISAVE_CHANGED;",
     "return nSame <= 0 ? ResultOfErrno(errno) : INISAVE_OK;",
     "another program's change makes the save fail instead of being merged"),
    (POSIX, "if (flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR))",
     "if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno == EWOULDBLOCK)",
     "a lock held by another save reads as taken: both saves pass the last check"),
    (POSIX, "for (int n = 0; n < LOCK_TRIES; n++) {", "for (int n = 0; n < 1; n++) {",
     "a save does not wait for another one: the player sees a false 'locked'"),
    (POSIX, "#define LOCK_PAUSE_NS 1000000L", "#define LOCK_PAUSE_NS 1000L",
     "a save waits far too short for another one: the player sees a false 'locked'"),
    (POSIX, "    if (nResult == INISAVE_OK)\n        *pfdLock = fd;\n    else\n        close(fd);",
     "    close(fd);",
     "the lock is let go before the rename: two saves can both pass their last check"),
    (POSIX, "return st.st_dev == pst->st_dev && st.st_ino == pst->st_ino ? INISAVE_OK : INISAVE_CHANGED;",
     "return st.st_dev == pst->st_dev ? INISAVE_OK : INISAVE_CHANGED;",
     "a file another program renamed in after the check is overwritten"),
    (POSIX, "pst->st_mode == pstRead->st_mode && pst->st_uid == pstRead->st_uid &&",
     "pst->st_uid == pstRead->st_uid &&",
     "a mode another program set meanwhile is lost"),
    (POSIX, "pst->st_mode == pstRead->st_mode && pst->st_uid == pstRead->st_uid &&",
     "pst->st_mode == pstRead->st_mode &&",
     "an owner another program set meanwhile is lost"),
    (POSIX, "pst->st_gid == pstRead->st_gid && pst->st_nlink == pstRead->st_nlink;",
     "pst->st_nlink == pstRead->st_nlink;",
     "a group another program set meanwhile is lost"),
    (POSIX, "pst->st_gid == pstRead->st_gid && pst->st_nlink == pstRead->st_nlink;",
     "pst->st_gid == pstRead->st_gid;",
     "a hard link made meanwhile keeps the old content"),
    (POSIX, "return pstRead ? INISAVE_CHANGED : INISAVE_OK;", "return INISAVE_OK;",
     "a file another program deleted meanwhile comes back with the old content"),
    (POSIX, "    else if ((pst && IO(IO_FCHMOD, fchmod(fd, pst->st_mode & 07777)) != 0) ||\n"
            "             !WritePieces(fd, aPieces, nPieces)",
     "    else if (!WritePieces(fd, aPieces, nPieces)",
     "the saved file loses its permissions"),
    (POSIX, "nResult = errno == EPERM || errno == EINVAL ? REPLACE_IN_PLACE : ResultOfErrno(errno);",
     "nResult = ResultOfErrno(errno);",
     "a file owned by another user can never be saved"),
    (POSIX, "!WritePieces(fd, aPieces, nPieces) || IO(IO_FSYNC, fsync(fd)) != 0)",
     "!WritePieces(fd, aPieces, nPieces) || (IO(IO_FSYNC, fsync(fd)) != 0 && false))",
     "a failed flush of the new content is reported saved"),
    (POSIX, "if (IO(IO_CLOSE, close(fd)) != 0 && nResult == INISAVE_OK)", "if (IO(IO_CLOSE, close(fd)) != 0 && false)",
     "a failed close of the new content (lost bytes on a network disk) is reported saved"),
    (POSIX, "    if (nResult != INISAVE_OK)\n        unlink(pszTemp);", "",
     "every failed save leaves a temporary file behind"),
    (POSIX, "    for (size_t i = 0; i < nPieces; i++)\n        cb += aPieces[i].cb;",
     "    for (size_t i = 0; i + 1 < nPieces; i++)\n        cb += aPieces[i].cb;",
     "a file rewritten in place is cut at the wrong length"),
    (POSIX, "if (!WritePieces(fd, &old, pfd->cb > 0 ? 1 : 0) ||", "if (!WritePieces(fd, &old, 0) ||",
     "a failed rewrite in place leaves a mix, reported as an ordinary failure"),
    (POSIX, "        if (!S_ISREG(pFacts->st.st_mode))\n            nResult = INIFILE_NOT_FILE;\n        else if",
     "        if",
     "a device named like the file is read forever"),
    (POSIX, "int fd = IO(IO_OPEN, open(pszFile, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));",
     "int fd = IO(IO_OPEN, open(pszFile, O_RDONLY | O_NOCTTY | O_CLOEXEC));",
     "a FIFO named like the file blocks the editor"),
    (POSIX, "nResult = pst && pst->st_nlink > 1 ? REPLACE_IN_PLACE", "nResult = pst && pst->st_nlink > 2 ? REPLACE_IN_PLACE",
     "a file with a second hard link keeps the old content under that name"),
    (POSIX, "    if (nResult == INISAVE_OK)\n        nResult = FlushFolder(pszTarget);",
     "    if (nResult == INISAVE_OK)\n        FlushFolder(pszTarget);",
     "the rename is not flushed: a power cut can bring the old settings back"),
    (POSIX, "int nResult = IO(IO_FSYNC, fsync(fd)) == 0 || errno == EINVAL ? INISAVE_OK : ResultOfErrno(errno);",
     "int nResult = IO(IO_FSYNC, fsync(fd)) == 0 || errno != ENOSPC ? INISAVE_OK : ResultOfErrno(errno);",
     "a folder that could not be flushed is reported saved"),
    (POSIX, "if (lstat(pszFile, &st) == 0 && S_ISLNK(st.st_mode))",
     "if (stat(pszFile, &st) == 0 && S_ISLNK(st.st_mode))",
     "a symbolic link is replaced by a file: the game reads the old target"),
    (POSIX, "    if (nResult != INISAVE_OK)\n        return nResult;\n    char *pszTarget",
     "    if (nResult == INISAVE_FAILED)\n        return nResult;\n    char *pszTarget",
     "a file the player made read-only is overwritten"),
    # The Windows store, judged by its seam tests under Wine (a 64-bit build).
    (WIN32, "return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION ||",
     "return dwError == ERROR_SHARING_VIOLATION ||",
     "a replace refused for access for a moment is never tried again: saves go in place"),
    (WIN32, "return GetLastError() == ERROR_SHARING_VIOLATION ? 1 : -1;",
     "return GetLastError() == ERROR_SHARING_VIOLATION ? 0 : -1;",
     "a backup that a running save holds counts as free: the start takes it away"),
    (WIN32, "GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL",
     "GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL",
     "the held test shares reading: a running save's backup is never seen held"),
    (WIN32, "bhfi.nFileSizeLow != (DWORD)pfd->cb)", "bhfi.nFileSizeLow == (DWORD)pfd->cb)",
     "the check takes a file of another size for the one that was read"),
    (WIN32, "nResult = nSame > 0 ? INISAVE_OK : ResultOfSaveError(GetLastError());",
     "nResult = INISAVE_OK;",
     "a file that cannot be read for the check counts as unchanged and is overwritten"),
    (WIN32, "FILE_SHARE_READ | FILE_SHARE_DELETE, &hFile, &dwError);",
     "FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &hFile, &dwError);",
     "the check lets others write the file until the replace: their change is lost"),
    (WIN32, "if (nSame > 0 && fDelete && !DeleteWhenClosed(hFile))",
     "if (nSame > 0 && !fDelete && !DeleteWhenClosed(hFile))",
     "an OK save leaves its backup beside qw.ini"),
    (WIN32, "if (NameHolds(pwszBackup, pfd, true) != 0)", "if (NameHolds(pwszBackup, pfd, true) == 0)",
     "the old content is taken for another program's file and put back over the new one"),
    (WIN32, "return fBack ? INISAVE_CHANGED : INISAVE_SET_ASIDE;",
     "return fBack ? INISAVE_OK : INISAVE_SET_ASIDE;",
     "another program's file is put back but the save says OK: the settings are not in it"),
    (WIN32, "nTry < REPLACE_TRIES", "nTry < 1",
     "a replace refused for a moment (a virus checker) fails at once"),
    (WIN32, "if (fRefused && dwError == ERROR_ACCESS_DENIED)",
     "if (fRefused && dwError == ERROR_SHARING_VIOLATION)",
     "a file held by another program is rewritten in place under it"),
    (WIN32, "        if (fTemp && !fBackup)\n            MoveToFreeName(pwszTemp, pwszBackup);\n", "",
     "the only copy of the new content keeps a temporary name that a later save deletes"),
    (WIN32, "    } else if (fTemp && MoveToFreeName(pwszTemp, pwszFile))\n        nState = SETTLED_NEW;",
     "    } else if (fTemp && MoveToFreeName(pwszTemp, pwszFile))\n        nState = SETTLED_OLD;",
     "a half-done replace put right with the new content says it failed"),
    (WIN32, "return fTemp ? SETTLED_OLD : SETTLED_GONE;", "return SETTLED_NEW;",
     "the old content moved back is reported as the new one saved"),
    (WIN32, "    if (fBackup)\n        NameHolds(pwszBackup, pfd, true);\n", "",
     "a backup of the old content stays after a half-done replace was put right"),
    (WIN32, "if (hTemp == INVALID_HANDLE_VALUE)", "if (hTemp == INVALID_HANDLE_VALUE && false)",
     "a lone backup is put back silently at the start"),
    (WIN32, "if (IsHeld(wszPath) != 0) {", "if (IsHeld(wszPath) < 0) {",
     "a backup held by a running save is put back at the start"),
    (WIN32, "WideCharToMultiByte(CP_UTF8, 0, BaseOf(wszBackup), -1, pfd->szRestored",
     "WideCharToMultiByte(CP_UTF8, 0, L\"\", -1, pfd->szRestored",
     "a put-back backup is not named to the player"),
    (WIN32, "            return NameExists(pwszFile);", "            return true;",
     "a held backup beside a missing qw.ini lets the start show the defaults"),
    (WIN32, "_wcsnicmp(pfd->cFileName, BaseOf(pwszFile), cchBase) == 0 &&",
     "_wcsnicmp(pfd->cFileName, BaseOf(pwszFile), cchBase) != 0 &&",
     "the store's own backups and temporary files are never found"),
    (WIN32, "(bhfi.nFileIndexHigh | bhfi.nFileIndexLow) != 0)",
     "(bhfi.nFileIndexHigh | bhfi.nFileIndexLow) == 0)",
     "the lock is named after the spelling: a short name's save does not wait"),
    (WIN32, "if (cchFull + TEMP_SUFFIX >= MAX_PATH && wcsncmp(", "if (cchFull >= MAX_PATH && wcsncmp(",
     "a long path loses the safe replace and is rewritten in place"),
    (WIN32, "if (cchFile + cchEnd >= NAME_ROOM)", "if (cchFile + cchEnd >= MAX_PATH)",
     "a temporary name past MAX_PATH is refused: long paths are rewritten in place"),
    (WIN32, "        if (NameExists(pwszBackup))\n            continue;\n", "",
     "a replace may overwrite a backup that an earlier process of the same number left"),
    (WIN32, "            if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_FILE_EXISTS)\n"
            "                return INISAVE_CHANGED;\n", "",
     "a qw.ini that another program made meanwhile makes the save fail instead of read again"),
    (WIN32, "return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_FILENAME_EXCED_RANGE ? SAVE_IN_PLACE",
     "return dwError == ERROR_FILENAME_EXCED_RANGE ? SAVE_IN_PLACE",
     "a folder that refuses new files makes the save fail instead of writing in place"),
    (WIN32, "!SetLength(hFile, pfd->cb) || !Flush(hFile))", "!SetLength(hFile, pfd->cb + 1) || !Flush(hFile))",
     "an undone rewrite in place leaves a byte too many"),
    (WIN32, "bool fDamaged = !fOk && !DeleteWhenClosed(hFile);", "bool fDamaged = false;",
     "a new qw.ini that could not be written whole stays, half-written"),
    (WIN32, "    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL:\n        return INISAVE_FULL;\n", "",
     "a full disk is reported as an unknown failure"),
    (WIN32, "if (!fRestored)", "if (!fRestored && false)",
     "a backup that could not be put back lets the start show the defaults"),
    (WIN32, "if (nResult == INISAVE_OK && pFacts)", "if (nResult == INISAVE_OK)",
     "a save that made the file removes leftovers that may be the only copy"),
    (WIN32, "        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)\n"
            "            return INISAVE_CHANGED;\n", "",
     "a name away for a moment during another program's replace fails the save"),
    (WIN32, "        CharUpperBuffW(&wch, 1);\n", "",
     "the lock's name keeps the case: spellings that differ in case do not wait"),
]


def run(args, log, timeout, cwd=None):
    """Runs args with output to the file log; its exit code, or None when it ran
    longer than timeout seconds (the process group is then killed)."""
    with open(log, 'ab') as out:
        proc = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT, cwd=cwd,
                                start_new_session=True)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, 9)
            proc.wait()
            return None


def check_faults(faults):
    """Every fault's original text must stand exactly once in its file."""
    bad = []
    for n, (path, old, _new, _why) in enumerate(faults, 1):
        with open(os.path.join(ROOT, path), encoding='latin-1') as f:
            count = f.read().count(old)
        if count != 1:
            bad.append('fault %d: %s: original text found %d times: %r' % (n, path, count, old))
    if bad:
        sys.exit('mutate.py: the code moved, update FAULTS:\n  ' + '\n  '.join(bad))


def copy_tree(work):
    """Copies the files git knows (tracked or untracked, not ignored) into work,
    those that differ only, with the time of the copy, so that a reused build
    rebuilds exactly what changed."""
    names = subprocess.run(['git', 'ls-files', '-co', '--exclude-standard', '-z'], cwd=ROOT,
                           check=True, stdout=subprocess.PIPE).stdout.decode().split('\0')
    for name in filter(None, names):
        src, dst = os.path.join(ROOT, name), os.path.join(work, name)
        if not os.path.isfile(src):
            continue
        with open(src, 'rb') as f:
            data = f.read()
        if os.path.isfile(dst):
            with open(dst, 'rb') as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)


def build(build_dir, log, targets):
    """Builds the targets; True when they built."""
    return run(['cmake', '--build', build_dir, '-j2', '--target'] + targets, log, 900) == 0


def judge(work, build_dir, log, fuzz_seconds):
    """Runs the checks in turn: the name of the first that fails (or hangs), or None."""
    tests = os.path.join(build_dir, 'tests', 'config')
    status = run(['ctest', '--test-dir', build_dir, '-R', r'^config\.', '--timeout', '60'], log, 300)
    if status != 0:
        return 'unit tests' if status is not None else 'unit tests (hang)'
    status = run(['valgrind', '-q', '--error-exitcode=99', os.path.join(tests, 'test_inifiles')],
                 log, 300, cwd=build_dir)
    if status != 0:
        return 'valgrind' if status is not None else 'valgrind (hang)'
    if not build(build_dir, log, ['qw_fuzz_inifiles']):
        return 'fuzz target does not build'
    corpus = os.path.join(work, 'fuzz-corpus')
    shutil.rmtree(corpus, ignore_errors=True)
    os.makedirs(corpus)
    status = run([os.path.join(tests, 'fuzz_inifiles'), '-max_total_time=%d' % fuzz_seconds,
                  '-timeout=10', '-rss_limit_mb=4096', corpus,
                  os.path.join(work, 'tests', 'config', 'corpus')], log, fuzz_seconds + 120)
    if status != 0:
        return 'fuzz' if status is not None else 'fuzz (hang)'
    return None


WIN_TARGETS = ['test_inifiles', 'test_inifilestore_win32', 'stress_inifiles_win32']


def setup_wine(work, win_dir, log):
    """Configures the 64-bit Windows build of the scratch copy and gives it a
    Wine prefix of its own (made once, then kept alive)."""
    os.environ.update({'WINEPREFIX': os.path.join(work, 'wineprefix'), 'WINEARCH': 'win64',
                       'WINEDEBUG': '-all', 'WINEDLLOVERRIDES': 'mscoree,mshtml='})
    if run(['cmake', '-S', work, '-B', win_dir, '-DCMAKE_BUILD_TYPE=RelWithDebInfo',
            '-DCMAKE_TOOLCHAIN_FILE=' + os.path.join(work, 'cmake', 'mingw-w64-x86_64.cmake')],
           log, 300) != 0:
        sys.exit('mutate.py: configuring the Windows build failed, see ' + log)
    if not os.path.exists(os.path.join(os.environ['WINEPREFIX'], 'system.reg')):
        run(['wineboot', '-i'], log, 300)
    run(['wineserver', '-p'], log, 60)
    # The prefix's services start with its first program: here, not under a
    # test whose output ctest reads through a pipe that they would keep open.
    run(['wine', 'cmd', '/c', 'exit'], log, 300)


def judge_win32(win_dir, log):
    """Runs the Windows config tests under Wine: 'Wine tests' when they fail
    (or hang), or None."""
    status = run(['ctest', '--test-dir', win_dir, '-R', r'^config\.', '--timeout', '120'], log, 600)
    if status != 0:
        return 'Wine tests' if status is not None else 'Wine tests (hang)'
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--work', help='scratch folder (reused); default: a new one under /tmp')
    parser.add_argument('--fuzz-seconds', type=int, default=20)
    parser.add_argument('--only', help='comma-separated fault numbers')
    parser.add_argument('--list', action='store_true')
    parser.add_argument('--win32-numbers', action='store_true',
                        help='print the numbers of the Windows store\'s faults, comma-separated')
    args = parser.parse_args()
    check_faults(FAULTS)
    if args.win32_numbers:
        print(','.join(str(n) for n, f in enumerate(FAULTS, 1) if f[0] == WIN32))
        return 0
    chosen = list(range(1, len(FAULTS) + 1))
    if args.only:
        chosen = [int(n) for n in args.only.split(',')]
    if args.list:
        for n in chosen:
            path, old, new, why = FAULTS[n - 1]
            print('%2d %s: %s\n     %r -> %r' % (n, os.path.basename(path), why, old, new))
        return 0

    work = args.work or tempfile.mkdtemp(prefix='qw_mutate_')
    os.makedirs(work, exist_ok=True)
    copy_tree(work)
    build_dir = os.path.join(work, 'build')
    log = os.path.join(work, 'mutate.log')
    print('scratch copy: %s (log: %s)' % (work, log))
    if run(['cmake', '-S', work, '-B', build_dir, '-DCMAKE_BUILD_TYPE=RelWithDebInfo',
            '-DCMAKE_CXX_COMPILER=g++'], log, 300) != 0:
        sys.exit('mutate.py: configuring the scratch copy failed, see ' + log)
    targets = ['test_inifiles', 'stress_inifiles']
    if any(FAULTS[n - 1][0] != WIN32 for n in chosen):
        if not build(build_dir, log, targets):
            sys.exit('mutate.py: the unmodified copy does not build, see ' + log)
        fail = judge(work, build_dir, log, args.fuzz_seconds)
        if fail:
            sys.exit('mutate.py: the unmodified copy fails its %s, see %s' % (fail, log))
    win_dir = os.path.join(work, 'build-win64')
    if any(FAULTS[n - 1][0] == WIN32 for n in chosen):
        setup_wine(work, win_dir, log)
        if not build(win_dir, log, WIN_TARGETS):
            sys.exit('mutate.py: the unmodified copy does not build for Windows, see ' + log)
        if judge_win32(win_dir, log):
            sys.exit('mutate.py: the unmodified copy fails its Windows tests, see ' + log)

    caught = {}
    total = {}
    missed = []
    broken = []
    for n in chosen:
        path, old, new, why = FAULTS[n - 1]
        name = os.path.basename(path)
        target = os.path.join(work, path)
        with open(target, encoding='latin-1') as f:
            original = f.read()
        with open(target, 'w', encoding='latin-1') as f:
            f.write(original.replace(old, new, 1))
        started = time.time()
        try:
            with open(log, 'a') as f:
                f.write('\n==== fault %d: %s: %s\n' % (n, path, why))
            if path == WIN32:
                built = build(win_dir, log, WIN_TARGETS)
                fail = judge_win32(win_dir, log) if built else None
            else:
                built = build(build_dir, log, targets)
                fail = judge(work, build_dir, log, args.fuzz_seconds) if built else None
        finally:
            with open(target, 'w', encoding='latin-1') as f:
                f.write(original)
        if not built:
            broken.append(n)
            print('%2d DOES NOT COMPILE (see %s): %s: %s' % (n, log, name, why), flush=True)
            continue
        total[name] = total.get(name, 0) + 1
        if fail:
            caught[name] = caught.get(name, 0) + 1
        else:
            missed.append(n)
        print('%2d %-8s %-26s %s: %s (%ds)' % (n, 'caught' if fail else 'MISSED', fail or '', name,
                                              why, time.time() - started), flush=True)
    print()
    for name in sorted(total):
        print('%-24s %2d of %2d caught' % (name, caught.get(name, 0), total[name]))
    n_caught = sum(caught.values())
    n_total = sum(total.values())
    if n_total:
        print('caught %d of %d faults (%.1f %%)%s' % (n_caught, n_total, 100.0 * n_caught / n_total,
                                                       '; missed: ' + ','.join(map(str, missed)) if missed else ''))
    if any(FAULTS[n - 1][0] == WIN32 for n in chosen):
        run(['wineserver', '-k'], log, 60)
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    if broken:
        print('mutate.py: faults that do not compile (fix FAULTS): ' + ','.join(map(str, broken)))
        return 1
    return 0

if __name__ == '__main__':
    sys.exit(main())
