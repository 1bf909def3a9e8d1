// Stress of the configuration file module against another program's writes:
// one process adds a setting of its own every 300 us (2,000 additions by
// default, each through IniFile_PutStringsEx as IniFile_PutString makes it,
// so that a failure's reason is counted), while a second one saves the
// editor's fourteen settings in a loop. At the end it prints how many of the
// additions that were reported saved are missing from the file, and fails
// (exit code 1) when any is, or when none was saved. Run from a folder on the
// disk to be measured:
//     build/native/tests/config/stress_inifiles [ADDITIONS] [FILLER_BYTES]
// CTest runs it with few additions as a short test of concurrent saves.
#include "EditorSettings.h"
#include "IniFiles.h"

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

// Writes the starting file: the editor's settings and about cbFiller bytes of others.
void MakeFile(const std::string &sFile, size_t cbFiller)
{
    std::string s;
    for (int i = 0; i < nEditor; i++)
        s += "#" + std::string(aEditor[i].pszKey) + " = " + aEditor[i].pszValue + "\r\n";
    for (int n = 0; s.size() < cbFiller; n++)
        s += "#setting_" + std::to_string(n) + " = value " + std::to_string(n * 7) + "\r\n";
    FILE *pf = fopen(sFile.c_str(), "wb");
    if (!pf || fwrite(s.data(), 1, s.size(), pf) != s.size() || fclose(pf) != 0)
        abort();
}

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
    MakeFile(sFile, cbFiller);

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
    for (int n = 0; n < nAdditions; n++) {
        std::string sKey = "addition_" + std::to_string(n);
        const _INISETTING setting = {sKey.c_str(), "1"};
        int nResult = IniFile_PutStringsEx(sFile.c_str(), nullptr, &setting, 1);
        if (nResult == INISAVE_OK)
            asAdded.push_back(sKey);
        if (nResult >= 0 && nResult <= INISAVE_FAILED)
            anAdded[nResult]++;
        Pause(300);
    }
    pShared->fStop = 1;
    waitpid(nSaver, nullptr, 0);

    int nMissing = 0;
    char szValue[8];
    for (const std::string &sKey : asAdded) {
        if (!IniFile_GetString(sFile.c_str(), nullptr, sKey.c_str(), szValue, sizeof(szValue)))
            nMissing++;
    }
    int nSaves = 0;
    for (int n : pShared->anResults)
        nSaves += n;
    printf("additions: %d tried, %zu returned true; false: %d changed, %d other\n", nAdditions,
           asAdded.size(), anAdded[INISAVE_CHANGED],
           nAdditions - (int)asAdded.size() - anAdded[INISAVE_CHANGED]);
    printf("missing from the final file: %d of %zu (%.2f%%)\n", nMissing, asAdded.size(),
           asAdded.empty() ? 0.0 : 100.0 * nMissing / (double)asAdded.size());
    printf("editor saves: %d, of which ok %d, changed %d, other failures %d\n", nSaves,
           pShared->anResults[INISAVE_OK], pShared->anResults[INISAVE_CHANGED],
           nSaves - pShared->anResults[INISAVE_OK] - pShared->anResults[INISAVE_CHANGED]);
    remove(sFile.c_str());
    rmdir(STRESS_DIR);
    return nMissing > 0 || asAdded.empty() ? 1 : 0;
}
