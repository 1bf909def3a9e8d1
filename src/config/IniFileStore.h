// IniFileStore: the platform's side of the configuration file module. It reads
// a file whole and puts new content in its place; it knows nothing of the
// format. One implementation per platform: IniFileStorePosix.cpp and
// IniFileStoreWin32.cpp.
#ifndef QW_INIFILESTORE_H
#define QW_INIFILESTORE_H

#include <stddef.h>

// One piece of a file's new content: bytes of the old content, or of a
// setting line; the content is its pieces one after another.
struct _INIPIECE {
    const unsigned char *pb;
    size_t cb;
};

// Room for a file's name without its folder (UTF-8).
#define INISTORE_NAME 260

// A file as one read found it.
struct _INIFILEDATA {
    unsigned char *pb;   // the whole content, NULL when missing or empty
    size_t cb;
    bool fExists;
    void *pvFacts;       // what the platform learned of the file, for the replace
    char szRestored[INISTORE_NAME]; // (Windows) the backup that the read put back, or ""
};

// File names: on POSIX as the system takes them; on Windows in UTF-8 (ASCII
// names are unchanged), made wide once at the store's entries, every file
// call being the W form; a name that is no valid UTF-8, or whose full path
// needs MAX_PATH UTF-16 units or more, fails (INIFILE_FAILED, INISAVE_FAILED).

// Reads pszFile whole into *pfd and gives an INIFILE_ result. Anything that is
// no regular file is refused before a byte is read, without blocking. Unless
// the result is INIFILE_OK or INIFILE_MISSING, *pfd holds nothing. On Windows,
// a file found missing is looked at again once no save of this module runs
// (it may have been away for a moment during one); when it is still missing,
// the backup of a replace that never ended is put back under its name and
// named in pfd->szRestored: a "<file>.qwconfig-<pid>-<n>.bak" whose temporary
// file ("...-<n>.tmp") is beside it and that nobody holds open for reading (a
// running save holds its backup so; the process number counts for nothing).
// A lone backup is never put back. While a backup is held, or the move is
// refused, the read waits and looks again for about a second; then the result
// is INIFILE_NOT_RESTORED and the backup stays. A file that appears meanwhile
// is read.
int IniStore_Read(const char *pszFile, _INIFILEDATA *pfd);

// Puts the new content (nPieces pieces at aPieces) in place of the content
// that *pfd holds, and gives an INISAVE_ result (IniFiles.h).
//
// Both platforms: usually the bytes go to a temporary file beside the file,
// which is flushed and then replaces it in one step, keeping its permissions,
// owner and attributes. Right before that step (or before a rewrite in place)
// the store makes sure that the file is still the one that was read, holding
// the same bytes; when it is not (or is gone, or a file appeared where none
// was), it gives INISAVE_CHANGED with nothing touched: the caller reads the
// file again and applies its changes to what is there now. INISAVE_OK means
// the new content is in place and flushed; any other result means the file is
// exactly as it was, but for the exceptions below (a folder that cannot be
// flushed, INISAVE_DAMAGED, and on Windows a failed replace after which the
// file's content cannot be read to tell which it is: INISAVE_FAILED).
//
// When the folder refuses a new file (no permission, or the temporary name is
// too long), when it refuses the replace for access, when the file has more
// than one hard link, or when the temporary file cannot take the file's
// owner, the file is rewritten in place instead: new bytes, new length, flush,
// but only when the file under the name still holds exactly the bytes that
// were read (whatever its identity; else INISAVE_CHANGED). A failed step
// writes the old bytes and length back before the failure is given; when that
// fails too, the result is INISAVE_DAMAGED and the file may hold a mix. A
// crash during the rewrite can also leave a mix. A full disk, an I/O error,
// or a file that is read-only, locked or unreadable never leads there.
//
// After a success, leftover temporary files of the same file that nobody
// holds open (POSIX: whose writing process no longer runs) are removed
// ("<file>.qwconfig-<pid>-<n>.tmp" only);
// never while the file is missing, nor after a save that created the file (a
// leftover may then be the only copy of an earlier one), nor on Windows while
// the backup of the same replace is there. No file of any other name is ever
// deleted, moved or changed.
//
// On POSIX: the file's final target is replaced when it is a symbolic link
// (the link stays). The check before the rename compares device and inode,
// size, modification time (to the nanosecond), mode, owner, group and number
// of links (what a rename would lose), then the bytes, with the file locked
// (flock) until the rename is done, so that two saves of this module never
// both pass it; a program that writes the file without that lock can still
// slip in between the check and the rename, a window of one read of the
// file. The temporary file is flushed before the rename and the folder after
// it, so a crash or a power cut at any moment leaves either the old or the
// new content (a rewrite in place excepted). One failure comes after the
// rename: when the folder cannot be flushed, the result is a failure although
// the new content is in place, since a power cut could still undo the
// rename. A rename refused with EACCES or EPERM (a sticky folder) and an
// owner that the temporary file cannot take (fchown failing with EPERM or
// EINVAL) send the save in place; any other failure of those calls ends it.
// A file creation refused for EROFS, ENOSPC, EDQUOT or EIO ends it too.
// Reasons: ENOSPC and EDQUOT give INISAVE_FULL, EIO INISAVE_IO, EACCES, EPERM
// and EROFS INISAVE_DENIED; a file without a write bit (or without its
// owner's, for its owner) INISAVE_READ_ONLY; the lock held by another program
// for 0.2 s INISAVE_LOCKED; anything else INISAVE_FAILED.
//
// On Windows the temporary file takes the file's place through ReplaceFileW,
// the old file going to a backup name of the store's own
// ("<file>.qwconfig-<pid>-<n>.bak", whose number is passed over when a file of
// that name is there, so that no backup is ever overwritten). Saves of one
// file through this module wait for each other (IniStore_Lock). The check
// before the replace compares the size, then the bytes (never the file's
// index or times), and holds the checked file open for reading and deletion,
// sharing only read and delete, until the backup is settled: no program
// writes it meanwhile, and a start sees the backup held. Afterwards the
// backup is deleted, through a handle opened while the check's is still
// held, when it holds the bytes that were read. Else another program replaced
// the file between the check and the replace, and the backup is that
// program's file: once the file is shown to hold exactly the new bytes, the
// backup is put back over it with ReplaceFileW (tried again for a moment) and
// the result is INISAVE_CHANGED; when it cannot be, it stays under the backup
// name and the result is INISAVE_SET_ASIDE. A check that finds the file gone,
// or a replace that finds it gone before it touched anything, gives
// INISAVE_CHANGED with nothing moved in. Windows documents no
// way to make that step itself durable (REPLACEFILE_WRITE_THROUGH is not
// supported, MOVEFILE_WRITE_THROUGH flushes only a move that copies): the new
// content is flushed before the replace, and the file once more through a
// handle opened after it, but a power cut soon after a save can still bring
// back the old content (never a mix); there is no folder to flush. A replace
// that fails half-way is put right before the result is given: the new file
// is moved in where the old one is gone, or the old one moved back; only when
// neither can be moved is the result INISAVE_DAMAGED, with the old content
// under its backup name and the temporary file beside it, for the next
// IniStore_Read to put back (or, when no old content was left, the new
// content under the backup name, which the start names). Names of the file,
// its temporary file and backup take the "\\?\" form ("\\?\UNC\" for a
// share) where they would pass MAX_PATH. A refusal for
// a moment (a virus checker, the search indexer) is tried again for up to
// about 150 ms. Besides the cases above, the file is rewritten in place when
// Windows refuses its replace for access for longer (a per-user copy of a
// file in a protected folder, a file that may be written but not deleted) and
// when it is a symbolic link (written through the link, which stays); the
// rewrite takes only a file that still holds exactly the bytes that were
// read. A new file that cannot be written whole is deleted through its own
// handle (SetFileInformationByHandle, or NtSetInformationFile before Vista),
// never by name; when even that fails, the result is INISAVE_DAMAGED.
int IniStore_Replace(const char *pszFile, const _INIFILEDATA *pfd, const _INIPIECE *aPieces,
                     size_t nPieces);

// Finds a backup beside pszFile ("<file>.qwconfig-<pid>-<n>.bak") that no
// running save holds, whether the file exists or not, and gives its name,
// without the folder, in pszName (of cchName bytes, UTF-8 on Windows); false
// when there is none. Always false on POSIX, where a save leaves no backup.
bool IniStore_FindBackup(const char *pszFile, char *pszName, size_t cchName);

// Makes every other save of pszFile through this module wait until
// IniStore_Unlock(*ppvLock): a save holds it from its read to the end of its
// replace, so that two saves never both pass the check. Gives INISAVE_OK,
// INISAVE_LOCKED when another save keeps it for more than about 2 s, or
// INISAVE_FAILED (a name too long). On Windows a mutex in this session's
// namespace named after the file's identity: its folder's volume serial number
// and file ID (the folder's name as given only where they cannot be had, or
// the ID is 0) and its long name in capitals, so that every spelling of the
// path (a short name, a mapped or subst drive, a share) waits; another user's
// editor does not, but the check before the replace still catches its save.
// Folders whose IDs collide (ReFS) only wait for each other. On POSIX
// nothing, as the file itself is locked from the check to the rename.
int IniStore_Lock(const char *pszFile, void **ppvLock);
void IniStore_Unlock(void *pvLock);

// Frees what IniStore_Read allocated.
void IniStore_Free(_INIFILEDATA *pfd);

// The end of a read, shared by both platforms: after INIFILE_OK keeps the
// platform's facts (a malloc'd block) in *pfd, else frees them and whatever
// was read. Gives nResult.
int IniStore_Finish(_INIFILEDATA *pfd, int nResult, void *pvFacts);

// Reads a file of about cbSize bytes whole into a new block (to be freed)
// through pfnRead, which reads up to cb bytes into pb from the file pvFile and
// gives their number, 0 at the end of the file, or -1 on failure. NULL on
// failure; a file that grows meanwhile is read to its new end.
typedef long (*PFNINIREAD)(void *pvFile, unsigned char *pb, size_t cb);
unsigned char *IniStore_ReadAll(size_t cbSize, PFNINIREAD pfnRead, void *pvFile, size_t *pcb);

// Reads the file pvFile from its current offset to its end through pfnRead
// and compares it with the cb bytes at pb: 1 when it holds exactly them, 0
// when it holds others, -1 when a read fails (the platform's error left as
// the failed read set it).
int IniStore_HoldsBytes(PFNINIREAD pfnRead, void *pvFile, const unsigned char *pb, size_t cb);

// Writes the pieces one after another through pfnWrite (which writes cb
// bytes at pb behind what it wrote before, on the file pvFile): small pieces
// are gathered into larger blocks first. False on the first failed write.
typedef bool (*PFNINIWRITE)(void *pvFile, const unsigned char *pb, size_t cb);
bool IniStore_WritePieces(const _INIPIECE *aPieces, size_t nPieces, PFNINIWRITE pfnWrite,
                          void *pvFile);

// Names of the store's own files beside the file, shared by both platforms:
// "<file>.qwconfig-<pid>-<n>.tmp" for the new content while it is written and
// flushed, and on Windows "<file>.qwconfig-<pid>-<n>.bak" for the old file
// during a replace. The marker ".qwconfig-" keeps them apart from any name a
// player or another program gives a file; the store never deletes, moves or
// changes a file of any other name. IniStore_NextTempNumber gives n, a number that this process never gives
// again (so that a name still held by a virus checker after its deletion is
// not met again). IniStore_NameEnd builds the end ".<pid>-<n><pszKind>" of the
// nth name of kind pszKind (".tmp", ".bak") of process uProcess into pszEnd;
// false when it does not fit into cchEnd bytes. IniStore_NameEndProcess
// gives the process number in such an end, else 0. IniStore_TempName builds
// the whole temporary name into pszTemp (false when it does not fit into
// cchTemp bytes); IniStore_TempNameProcess gives the process number in pszName
// when it is such a name of the file named pszBase (no folder), else 0.
#define STORE_MARKER ".qwconfig-"
#define TEMP_SUFFIX 48   // room for the end of such a name: marker, two numbers, kind
unsigned IniStore_NextTempNumber(void);
bool IniStore_NameEnd(char *pszEnd, size_t cchEnd, unsigned long uProcess, unsigned n,
                      const char *pszKind);
unsigned long IniStore_NameEndProcess(const char *pszEnd, const char *pszKind);
bool IniStore_TempName(char *pszTemp, size_t cchTemp, const char *pszFile, unsigned long uProcess,
                       unsigned n);
unsigned long IniStore_TempNameProcess(const char *pszName, const char *pszBase);

#endif
