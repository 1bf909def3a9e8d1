// Stress of the configuration file module against another program's writes:
// one process adds a setting of its own every 300 us (2,000 additions by
// default, each through IniFile_PutStringsEx as IniFile_PutString makes it,
// so that a failure's reason is counted), while a second one saves the
// editor's fourteen settings in a loop. At the end it prints how many of the
// additions that were reported saved are missing from the file, and fails
// (exit code 1) when any is or when none was saved. Run from a folder on the
// disk to be measured:
//     build/native/tests/config/stress_inifiles [ADDITIONS] [FILLER_BYTES]
// CTest runs it with few additions as a short test of concurrent saves.
#include "StressReport.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const char *const STRESS_DIR = "stress_inifiles.work";


// What the saving process counts, in memory shared with the parent.
struct _SHARED {
    volatile int fStop;
    int anResults[INISAVE_FAILED + 1];
};

// The saving process: the editor's batch again and again until told to stop.
void SaveLoop(const std::string &sFile, _SHARED *pShared)
{
    while (!pShared->fStop) {
        int nResult = IniFile_PutStringsEx(sFile.c_str(), nullptr, aEditor, nEditor);
        if (nResult >= 0 && nResult <= INISAVE_FAILED)
            pShared->anResults[nResult]++;
    }
}

// Sleeps for nMicro microseconds.
void Pause(long nMicro)
{
    struct timespec ts = {0, nMicro * 1000};
    nanosleep(&ts, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    int nAdditions = argc > 1 ? atoi(argv[1]) : 2000;
    size_t cbFiller = argc > 2 ? (size_t)atol(argv[2]) : 4096;
    mkdir(STRESS_DIR, 0777);
    const std::string sFile = std::string(STRESS_DIR) + "/qw.ini";
    MakeStressFile(sFile, cbFiller);

    _SHARED *pShared = (_SHARED *)mmap(nullptr, sizeof(_SHARED), PROT_READ | PROT_WRITE,
                                       MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (pShared == MAP_FAILED)
        return 2;
    memset(pShared, 0, sizeof(*pShared));
    pid_t nSaver = fork();
    if (nSaver < 0)
        return 2;
    if (nSaver == 0) {
        SaveLoop(sFile, pShared);
        _exit(0);
    }

    std::vector<std::string> asAdded;
    int anAdded[INISAVE_FAILED + 1] = {0};
    AddSettings(sFile, nAdditions, Pause, asAdded, anAdded);
    pShared->fStop = 1;
    waitpid(nSaver, nullptr, 0);

    bool fOk = ReportStress(sFile, nAdditions, anAdded, asAdded, pShared->anResults, true);
    remove(sFile.c_str());
    rmdir(STRESS_DIR);
    return fOk ? 0 : 1;
}
