// Stress of the Windows file store, the twin of stress_inifiles: in one
// process, a "game" thread adds a setting of its own every 300 us (2,000
// additions by default, each through IniFile_PutStringsEx as IniFile_PutString
// makes it), while an "editor" thread saves the editor's fourteen settings in
// a loop. At the end it prints how many of the additions reported saved are
// missing from the file, how many saves of either thread failed, and whether
// any file but qw.ini is left in the folder. The game thread names the folder
// by its short (8.3) name, as a second spelling of the same file (Wine gives
// every long name one). Exit code 1 when more than 1 % of
// the additions are lost, more than 1 % of the saves fail, or a file is left.
// It works in a folder of its own in the temporary folder (%TEMP%):
//     wine build/win64/tests/config/stress_inifiles_win32.exe [ADDITIONS] [FILLER_BYTES]
#include "StressReport.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

// The folder of this run: "<temporary folder>stress_inifiles.<process>".
std::string g_sDir;

// What the editor thread counts.
struct _EDITOR {
    const std::string *psFile;
    volatile LONG fStop;
    int anResults[INISAVE_FAILED + 1];
};

// The editor thread: the editor's batch again and again until told to stop.
DWORD WINAPI SaveLoop(LPVOID pvEditor)
{
    _EDITOR *pEditor = (_EDITOR *)pvEditor;
    while (!pEditor->fStop) {
        int nResult = IniFile_PutStringsEx(pEditor->psFile->c_str(), nullptr, aEditor, nEditor);
        if (nResult >= 0 && nResult <= INISAVE_FAILED)
            pEditor->anResults[nResult]++;
    }
    return 0;
}

// Waits about nMicro microseconds, giving the processor away meanwhile.
void Pause(long nMicro)
{
    LARGE_INTEGER liFreq, liStart, liNow;
    QueryPerformanceFrequency(&liFreq);
    QueryPerformanceCounter(&liStart);
    do {
        SwitchToThread();
        QueryPerformanceCounter(&liNow);
    } while ((liNow.QuadPart - liStart.QuadPart) * 1000000 / liFreq.QuadPart < nMicro);
}

// The number of files in the folder besides qw.ini.
int OtherFiles()
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((g_sDir + "\\*").c_str(), &fd);
    int cOthers = 0;
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    do {
        std::string sName = fd.cFileName;
        if (sName != "." && sName != ".." && sName != "qw.ini") {
            printf("left in the folder: %s\n", fd.cFileName);
            cOthers++;
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return cOthers;
}

} // namespace

int main(int argc, char **argv)
{
    int nAdditions = argc > 1 ? atoi(argv[1]) : 2000;
    size_t cbFiller = argc > 2 ? (size_t)atol(argv[2]) : 4096;
    char szTemp[MAX_PATH + 1];
    DWORD cchTemp = GetTempPathA(sizeof(szTemp), szTemp);
    if (cchTemp == 0 || cchTemp >= sizeof(szTemp))
        return 2;
    g_sDir = szTemp + ("stress_inifiles." + std::to_string(GetCurrentProcessId()));
    if (!CreateDirectoryA(g_sDir.c_str(), NULL))
        return 2;
    const std::string sFile = g_sDir + "\\qw.ini";
    MakeStressFile(sFile, cbFiller);
    char szShort[MAX_PATH];
    DWORD cchShort = GetShortPathNameA(g_sDir.c_str(), szShort, sizeof(szShort));
    const std::string sShortFile =
        (cchShort > 0 && cchShort < sizeof(szShort) ? std::string(szShort) : g_sDir) + "\\qw.ini";
    printf("the game thread writes %s\n", sShortFile.c_str());

    static _EDITOR editor;
    editor.psFile = &sFile;
    HANDLE hEditor = CreateThread(NULL, 0, SaveLoop, &editor, 0, NULL);
    if (!hEditor)
        return 2;

    std::vector<std::string> asAdded;
    int anAdded[INISAVE_FAILED + 1] = {0};
    DWORD dwStart = GetTickCount();
    AddSettings(sShortFile, nAdditions, Pause, asAdded, anAdded);
    InterlockedExchange(&editor.fStop, 1);
    WaitForSingleObject(hEditor, INFINITE);
    CloseHandle(hEditor);
    DWORD dwTime = GetTickCount() - dwStart;

    printf("%lu ms\n", (unsigned long)dwTime);
    bool fMet = ReportStress(sFile, nAdditions, anAdded, asAdded, editor.anResults);
    fMet = OtherFiles() == 0 && fMet;
    DeleteFileA(sFile.c_str());
    RemoveDirectoryA(g_sDir.c_str());
    return fMet ? 0 : 1;
}
