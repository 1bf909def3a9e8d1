// IniFileFaults: the seam through which the tests make a chosen call of the
// file store fail. The store is compiled with QW_IO_FAULTS only for the tests
// (natively and for Windows); the program itself never contains it.
#ifndef QW_INIFILEFAULTS_H
#define QW_INIFILEFAULTS_H

// The system calls of the file store that a test can make fail.
enum {
    IO_OPEN,
    IO_FSTAT,
    IO_READ,
    IO_WRITE,
    IO_FSYNC,
    IO_FCHOWN,
    IO_FCHMOD,
    IO_FTRUNCATE,
    IO_CLOSE,
    IO_RENAME,
    IO_CALLS
};

// Counts one call of kind nCall; true (with errno set) when the test wants
// that call to fail.
bool IniFault_Hit(int nCall);

#ifdef _WIN32
// The Windows calls of the file store that a test can make fail.
enum {
    WIO_OPEN,            // CreateFileW of the file itself: to read, to check it, to flush it
    WIO_OPEN_DELETE,     // CreateFileW of the file for DELETE, right before the replace
    WIO_OPEN_WRITE,      // CreateFileW of the file to rewrite it in place
    WIO_CREATE,          // CreateFileW of a new file: a temporary one, or the file itself
    WIO_READ,            // ReadFile
    WIO_WRITE,           // WriteFile
    WIO_FLUSH,           // FlushFileBuffers
    WIO_SET_END,         // SetEndOfFile
    WIO_SET_ATTRIBUTES,  // SetFileAttributesW of a temporary file
    WIO_REPLACE,         // ReplaceFileW
    WIO_MOVE,            // MoveFileExW
    WIO_CALLS
};

// Counts one call of kind nCall on the file named pwszName; true (with the
// last error set) when the test wants that call to fail.
bool IniFault_HitWin32(int nCall, const wchar_t *pwszName);

// Counts one ReplaceFileW(pwszReplaced, pwszReplacement, pwszBackup) as a
// call of kind WIO_REPLACE; true when the test wants it to fail. The test has
// then left the three files as Windows documents for the last error it set.
bool IniFault_Replace(const wchar_t *pwszReplaced, const wchar_t *pwszReplacement,
                      const wchar_t *pwszBackup);
#endif

#endif
