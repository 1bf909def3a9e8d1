// IniFileFaults: the seam through which the tests make a chosen call of the
// POSIX file store fail. The store is compiled with QW_IO_FAULTS only for the
// native tests; the program itself never contains it.
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

#endif
