// The number of a Windows process that has ended: the writer of a leftover
// temporary file or backup that the store may remove or put back.
#ifndef QW_ENDEDPROCESS_H
#define QW_ENDEDPROCESS_H

#include <windows.h>

// Starts a process that ends at once, waits for it and gives its number.
inline DWORD EndedProcessId()
{
    STARTUPINFOA si = {};
    PROCESS_INFORMATION pi = {};
    si.cb = sizeof(si);
    char szCommand[] = "cmd.exe /c exit";
    if (!CreateProcessA(NULL, szCommand, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 0;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return pi.dwProcessId;
}

#endif
