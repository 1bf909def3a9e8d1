// Tests of the Windows file store through its fault seam: the failures and
// half-done replaces that Windows documents but Wine never shows are played
// here, and after each the file must hold the old or the new content, as the
// result says, with nothing beside it but what the result says is kept.
#include "IniFileFaults.h"
#include "IniFileStore.h"
#include "IniFiles.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "EndedProcess.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One fault: the nAt-th call of kind nCall (every call when nAt is 0) fails
// with dwError, or only runs pfnAct first when dwError is NO_ERROR.
struct _FAULT {
    int nCall, nAt;
    DWORD dwError;
    void (*pfnAct)(const wchar_t *pwszName);
};
int g_anCalls[WIO_CALLS];
std::vector<_FAULT> g_aFaults;
std::vector<std::wstring> g_asTempNames;

// Forgets the counts and sets the faults of the next run.
void ArmFaults(std::vector<_FAULT> aFaults)
{
    std::fill(std::begin(g_anCalls), std::end(g_anCalls), 0);
    g_aFaults = std::move(aFaults);
}

// Counts the call and runs the actions of the faults that match it; gives the
// first of them that fails it, or NULL.
const _FAULT *Hit(int nCall, const wchar_t *pwszName)
{
    int n = ++g_anCalls[nCall];
    const _FAULT *pFailing = NULL;
    for (const _FAULT &fault : g_aFaults) {
        if (fault.nCall != nCall || (fault.nAt != 0 && fault.nAt != n))
            continue;
        if (fault.pfnAct)
            fault.pfnAct(pwszName);
        if (!pFailing && fault.dwError != NO_ERROR)
            pFailing = &fault;
    }
    return pFailing;
}

} // namespace

bool IniFault_HitWin32(int nCall, const wchar_t *pwszName)
{
    if (nCall == WIO_CREATE && pwszName)
        g_asTempNames.push_back(pwszName);
    const _FAULT *pFault = Hit(nCall, pwszName);
    if (pFault)
        SetLastError(pFault->dwError);
    return pFault != NULL;
}

// Leaves the files as a failed ReplaceFileA does for the chosen error: after
// 1176 the replaced file is gone (as without a backup name; its name goes at
// once, although the store still holds it open), after 1177 it is
// under the backup name; every other error touches nothing.
bool IniFault_Replace(const wchar_t *pwszReplaced, const wchar_t *pwszReplacement,
                      const wchar_t *pwszBackup)
{
    (void)pwszReplacement;
    const _FAULT *pFault = Hit(WIO_REPLACE, pwszReplaced);
    if (!pFault)
        return false;
    const std::wstring sGone = std::wstring(pwszReplaced) + L".gone";
    if (pFault->dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT && MoveFileW(pwszReplaced, sGone.c_str()))
        DeleteFileW(sGone.c_str());
    else if (pFault->dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileW(pwszReplaced, pwszBackup);
    SetLastError(pFault->dwError);
    return true;
}

namespace {

const std::string sOld = "#key = old\r\n; the player's own line\r\n";
const std::string sNew = "#key = new\r\n; the player's own line\r\n";

// The test's own folder, the folder of its qw.ini (the same or one inside),
// and qw.ini: its path, and its name for the store (UTF-8).
fs::path root, dir, path;
std::string file;

// Puts the test's qw.ini into a new folder inside the test's folder, named
// pszFolder (UTF-8), or into the test's folder itself when it is empty.
void UseFolder(const char *pszFolder)
{
    dir = *pszFolder ? root / fs::u8path(pszFolder) : root;
    std::error_code ec;
    fs::create_directory(dir, ec);
    path = dir / "qw.ini";
    file = path.u8string();
}

// Writes the bytes as the whole file of that name in the test's folder.
void Write(const std::string &sBytes, const std::string &sName = "qw.ini")
{
    FILE *pf = OpenPath(dir / sName, "wb");
    ASSERT_NE(pf, nullptr);
    ASSERT_EQ(fwrite(sBytes.data(), 1, sBytes.size(), pf), sBytes.size());
    ASSERT_EQ(fclose(pf), 0);
}

class StoreWin32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = MakeTestFolder("qw_store_");
        UseFolder("");
        ArmFaults({});
    }

    void TearDown() override
    {
        ArmFaults({});
        std::error_code ec;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(root, ec);
    }

    // The whole file, or "<missing>".
    static std::string Read(const std::string &sName = "qw.ini")
    {
        return ReadWholeFile(dir / sName);
    }

    static std::vector<std::string> Listing()
    {
        std::vector<std::string> asNames;
        for (const auto &entry : fs::directory_iterator(dir))
            asNames.push_back(entry.path().filename().string());
        std::sort(asNames.begin(), asNames.end());
        return asNames;
    }

    // Reads the file through the store, lets pfnBetween act, and has the
    // store put sContent in its place; gives the INISAVE_ result.
    static int Save(const std::string &sContent, void (*pfnBetween)() = nullptr)
    {
        _INIFILEDATA fd;
        int nRead = IniStore_Read(file.c_str(), &fd);
        EXPECT_TRUE(nRead == INIFILE_OK || nRead == INIFILE_MISSING) << nRead;
        if (pfnBetween)
            pfnBetween();
        const _INIPIECE piece = {(const unsigned char *)sContent.data(), sContent.size()};
        int nResult = IniStore_Replace(file.c_str(), &fd, &piece, 1);
        IniStore_Free(&fd);
        return nResult;
    }
};

const std::vector<std::string> asOnlyFile = {"qw.ini"};
// A folder name that the ANSI code page cannot spell (UTF-8), and one so long
// that the temporary name beside qw.ini passes MAX_PATH.
const char sWideFolder[] = u8"\u0418\u0433\u0440\u044b \u6e38\u620f";
const std::string sLongFolder(200, 'L');

// Every documented end state of a failed ReplaceFileW, once and on every try:
// the file holds the new content when the result is INISAVE_OK and the old
// one otherwise, and nothing is left beside it. A refusal for a moment is
// tried again; one for access that stays sends the save in place.
// Also in a folder whose name the ANSI code page cannot spell, and in one
// whose names need the long form (never in place there).
TEST_F(StoreWin32, FailedReplaceEndsWithOldOrNewContent)
{
    struct {
        DWORD dwError;
        bool fEvery;
        int nResult;
        bool fInPlace;
    } aCases[] = {
        {ERROR_UNABLE_TO_REMOVE_REPLACED, false, INISAVE_FAILED, false},
        {ERROR_UNABLE_TO_REMOVE_REPLACED, true, INISAVE_FAILED, false},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, INISAVE_OK, false},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, INISAVE_OK, false},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false, INISAVE_OK, false},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, INISAVE_OK, false},
        {ERROR_ACCESS_DENIED, false, INISAVE_OK, false},
        {ERROR_ACCESS_DENIED, true, INISAVE_OK, true},
        {ERROR_SHARING_VIOLATION, false, INISAVE_OK, false},
        {ERROR_SHARING_VIOLATION, true, INISAVE_LOCKED, false},
    };
    for (const char *pszFolder : {"", sWideFolder, sLongFolder.c_str()}) {
        for (const auto &c : aCases) {
            UseFolder(pszFolder);
            Write(sOld);
            ArmFaults({{WIO_REPLACE, c.fEvery ? 0 : 1, c.dwError, nullptr}});
            int nResult = Save(sNew);
            EXPECT_EQ(nResult, c.nResult) << "error " << c.dwError << ", every " << c.fEvery;
            EXPECT_EQ(Read(), nResult == INISAVE_OK ? sNew : sOld) << "error " << c.dwError;
            EXPECT_EQ(g_anCalls[WIO_OPEN_WRITE], c.fInPlace ? 1 : 0) << "error " << c.dwError;
            EXPECT_EQ(Listing(), asOnlyFile) << "error " << c.dwError << ", every " << c.fEvery;
        }
    }
}

// After 1177 the new content cannot be moved in: the old file goes back under
// its name. When it cannot go back either, the result says the file is
// damaged, its backup stays with the temporary file, and the next read puts
// it back first and names it.
TEST_F(StoreWin32, ReplacedFileUnderTheBackupNameComesBack)
{
    for (const char *pszFolder : {"", sWideFolder, sLongFolder.c_str()}) {
        UseFolder(pszFolder);
        Write(sOld);
        ArmFaults({{WIO_REPLACE, 1, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, nullptr},
                   {WIO_MOVE, 1, ERROR_WRITE_FAULT, nullptr}});
        EXPECT_EQ(Save(sNew), INISAVE_FAILED);
        EXPECT_EQ(Read(), sOld);
        EXPECT_EQ(Listing(), asOnlyFile);

        ArmFaults({{WIO_REPLACE, 1, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, nullptr},
                   {WIO_MOVE, 0, ERROR_WRITE_FAULT, nullptr}});
        EXPECT_EQ(Save(sNew), INISAVE_DAMAGED);
        ArmFaults({});
        std::vector<std::string> asLeft = Listing();
        ASSERT_EQ(asLeft.size(), 2u);
        EXPECT_EQ(Read(asLeft[0]), sOld);
        _INIFILEDATA fd;
        EXPECT_EQ(IniStore_Read(file.c_str(), &fd), INIFILE_OK);
        EXPECT_EQ(fd.szRestored, asLeft[0]);
        IniStore_Free(&fd);
        EXPECT_EQ(Save(sNew), INISAVE_OK);
        EXPECT_EQ(Listing(), asOnlyFile);
    }
}

// A save cut off during its replace left the old file under its backup name
// and its new content under the temporary name beside it: the next read puts
// that backup back, not a lone one with a newer time. Once qw.ini is there
// again, the lone backup is never deleted, however many saves follow, and is
// named; temporary files whose backup is gone go. After a save that made the
// file, leftovers stay too.
TEST_F(StoreWin32, InterruptedReplaceIsPutRightByTheNextRead)
{
    const std::string sEnded = "qw.ini.qwconfig-" + std::to_string(EndedProcessId());
    Write("#key = older\r\n", sEnded + "-1.bak");
    Write(sOld, sEnded + "-2.bak");
    Write("#key = half", sEnded + "-2.tmp");
    Write("#key = half", sEnded + "-3.tmp");
    FILETIME ftOld = {0, 0x01C00000};
    HANDLE hFile = CreateFileA((dir / (sEnded + "-2.bak")).string().c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL,
                               OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    SetFileTime(hFile, NULL, NULL, &ftOld);
    CloseHandle(hFile);

    char szValue[16] = "";
    EXPECT_TRUE(IniFile_GetString(file.c_str(), nullptr, "key", szValue, sizeof(szValue)));
    EXPECT_STREQ(szValue, "old");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", sEnded + "-1.bak", sEnded + "-2.tmp", sEnded + "-3.tmp"}));
    for (int n = 0; n < 3; n++)
        EXPECT_EQ(Save(n % 2 ? sOld : sNew), INISAVE_OK);
    EXPECT_EQ(Read(sEnded + "-1.bak"), "#key = older\r\n");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", sEnded + "-1.bak"}));
    char szBackup[64] = "";
    EXPECT_TRUE(IniFile_FindLeftBackup(file.c_str(), szBackup, sizeof(szBackup)));
    EXPECT_EQ(szBackup, sEnded + "-1.bak");
    Write("#key = half", sEnded + "-3.tmp");

    // No backup, only a name alike: a missing file is missing, a save makes
    // it and keeps the rest.
    fs::remove(path);
    fs::remove(dir / (sEnded + "-1.bak"));
    Write("", "qw.ini.x.bak");
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", sEnded + "-3.tmp", "qw.ini.x.bak"}));
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", "qw.ini.x.bak"}));
}

// The open for DELETE or the replace refused for access (a per-user copy of a
// protected file): the file is rewritten in place with the right bytes. A
// file held by another program and a read-only one stay untouched.
TEST_F(StoreWin32, ReplaceRefusedForAccessSavesInPlace)
{
    for (int nCall : {WIO_OPEN_DELETE, WIO_REPLACE}) {
        Write(sOld);
        ArmFaults({{nCall, 0, ERROR_ACCESS_DENIED, nullptr}});
        EXPECT_EQ(Save(sNew), INISAVE_OK) << nCall;
        EXPECT_EQ(g_anCalls[WIO_OPEN_WRITE], 1) << nCall;
        EXPECT_EQ(Read(), sNew) << nCall;
        EXPECT_EQ(Listing(), asOnlyFile) << nCall;
    }

    // A new file whose move into place is refused is written directly.
    fs::remove(path);
    ArmFaults({{WIO_MOVE, 0, ERROR_ACCESS_DENIED, nullptr}});
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(g_anCalls[WIO_CREATE], 2);
    EXPECT_EQ(Read(), sNew);
    EXPECT_EQ(Listing(), asOnlyFile);

    Write(sOld);
    ArmFaults({{WIO_OPEN_DELETE, 0, ERROR_SHARING_VIOLATION, nullptr}});
    EXPECT_EQ(Save(sNew), INISAVE_LOCKED);
    EXPECT_EQ(g_anCalls[WIO_OPEN_DELETE], 5);
    EXPECT_EQ(g_anCalls[WIO_OPEN_WRITE], 0);
    EXPECT_EQ(Read(), sOld);
    EXPECT_EQ(Listing(), asOnlyFile);

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ArmFaults({});
    EXPECT_EQ(Save(sNew), INISAVE_READ_ONLY);
    EXPECT_EQ(g_anCalls[WIO_CREATE], 0);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Read(), sOld);
    EXPECT_EQ(Listing(), asOnlyFile);
}

// Another program puts a new file (another index) in place of qw.ini, with
// the same bytes or with its own.
void SwapForSameBytes(const wchar_t *)
{
    Write(sOld, "other");
    MoveFileExW((dir / "other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}
void SwapForOtherBytes(const wchar_t *)
{
    Write("#key = game\r\n", "other");
    MoveFileExW((dir / "other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Another program replaces qw.ini with ReplaceFileW, which works while the
// editor holds it open for its check: same bytes, or its own.
void ReplaceForBytes(const std::string &sBytes)
{
    Write(sBytes, "other");
    EXPECT_TRUE(ReplaceFileW(path.c_str(), (dir / "other").c_str(), NULL, 0, NULL, NULL)) << GetLastError();
}
void ReplaceForSameBytes(const wchar_t *)
{
    ReplaceForBytes(sOld);
}
void ReplaceForOtherBytes(const wchar_t *)
{
    ReplaceForBytes("#key = game\r\n");
}

// The rewrite in place takes the file it opened when its bytes are the ones
// that were read, whatever its index, and leaves any other alone.
TEST_F(StoreWin32, InPlaceGoesByTheBytes)
{
    Write(sOld);
    ArmFaults({{WIO_OPEN_DELETE, 0, ERROR_ACCESS_DENIED, nullptr},
               {WIO_OPEN_WRITE, 1, NO_ERROR, SwapForSameBytes}});
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(Read(), sNew);
    EXPECT_EQ(Listing(), asOnlyFile);

    Write(sOld);
    ArmFaults({{WIO_OPEN_DELETE, 0, ERROR_ACCESS_DENIED, nullptr},
               {WIO_OPEN_WRITE, 1, NO_ERROR, SwapForOtherBytes}});
    EXPECT_EQ(Save(sNew), INISAVE_CHANGED);
    EXPECT_EQ(Read(), "#key = game\r\n");
    EXPECT_EQ(Listing(), asOnlyFile);
}

// The last-write time of qw.ini.
FILETIME LastWrite()
{
    WIN32_FILE_ATTRIBUTE_DATA fad = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &fad);
    return fad.ftLastWriteTime;
}

// Another program's changes between the read and the replace.
void AppendLine()
{
    FILE *pf = OpenPath(path, "ab");
    fputs("#added = 1\r\n", pf);
    fclose(pf);
}
void ChangeByteKeepingTime()
{
    FILETIME ftWritten = LastWrite();
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    DWORD cb = 0;
    SetFilePointer(hFile, 7, NULL, FILE_BEGIN);
    WriteFile(hFile, "O", 1, &cb, NULL);
    SetFileTime(hFile, NULL, NULL, &ftWritten);
    CloseHandle(hFile);
}
void CreateFile()
{
    Write("#key = game\r\n");
}
void SameBytesOtherTime()
{
    FILETIME ftWritten = LastWrite();
    SwapForSameBytes(nullptr);
    ftWritten.dwHighDateTime -= 1;
    HANDLE hFile = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFileTime(hFile, NULL, NULL, &ftWritten);
    CloseHandle(hFile);
}

// A file that changed after it was read, even one that kept its size and
// last-write time, or one that appeared where none was, is left as the other
// program left it: INISAVE_CHANGED, no temporary file left.
TEST_F(StoreWin32, ChangedFileIsLeftAsItIs)
{
    Write(sOld);
    EXPECT_EQ(Save(sNew, AppendLine), INISAVE_CHANGED);
    EXPECT_EQ(Read(), sOld + "#added = 1\r\n");
    EXPECT_EQ(Listing(), asOnlyFile);

    Write(sOld);
    EXPECT_EQ(Save(sNew, ChangeByteKeepingTime), INISAVE_CHANGED);
    EXPECT_EQ(Read(), "#key = Old\r\n; the player's own line\r\n");
    EXPECT_EQ(Listing(), asOnlyFile);

    fs::remove(path);
    EXPECT_EQ(Save(sNew, CreateFile), INISAVE_CHANGED);
    EXPECT_EQ(Read(), "#key = game\r\n");
    EXPECT_EQ(Listing(), asOnlyFile);

    // The same bytes in another file, of another time (as FAT or a network
    // drive may show one file): unchanged.
    Write(sOld);
    EXPECT_EQ(Save(sNew, SameBytesOtherTime), INISAVE_OK);
    EXPECT_EQ(Read(), sNew);
    EXPECT_EQ(Listing(), asOnlyFile);
}

// A failed rewrite in place is undone and its cause reported (a file that
// cannot be read for the check is not written); when the undo fails too, the
// result says that the file may be damaged.
TEST_F(StoreWin32, FailedRewriteInPlaceIsUndoneOrReported)
{
    const _FAULT refused = {WIO_CREATE, 0, ERROR_ACCESS_DENIED, nullptr};
    struct {
        _FAULT fault;
        int nResult;
    } aCases[] = {
        {{WIO_WRITE, 1, ERROR_DISK_FULL, nullptr}, INISAVE_FULL},
        {{WIO_FLUSH, 1, ERROR_CRC, nullptr}, INISAVE_IO},
        {{WIO_SET_END, 1, ERROR_LOCK_VIOLATION, nullptr}, INISAVE_LOCKED},
        {{WIO_READ, 3, ERROR_CRC, nullptr}, INISAVE_IO},
        {{WIO_WRITE, 0, ERROR_WRITE_FAULT, nullptr}, INISAVE_DAMAGED},
        {{WIO_FLUSH, 0, ERROR_WRITE_FAULT, nullptr}, INISAVE_DAMAGED},
    };
    for (const auto &c : aCases) {
        Write(sOld);
        ArmFaults({refused, c.fault});
        EXPECT_EQ(Save(sNew), c.nResult) << c.fault.nCall << " " << c.fault.nAt;
        EXPECT_EQ(g_anCalls[WIO_OPEN_WRITE], 1);
        if (c.nResult != INISAVE_DAMAGED) {
            EXPECT_EQ(Read(), sOld) << c.fault.nCall;
        }
        EXPECT_EQ(Listing(), asOnlyFile);
    }
}

// Leaves a file under the name, as a deleted file that a virus checker still
// holds.
void LeaveName(const wchar_t *pwszName)
{
    fclose(_wfopen(pwszName, L"wb"));
}

// No temporary name is used twice by one process; a name refused for access
// while a file of that name is still there is passed over, a refusal of the
// folder itself sends the save in place. A save by replace flushes the
// temporary file and the replaced file.
TEST_F(StoreWin32, TemporaryNamesAreNeverReused)
{
    Write(sOld);
    g_asTempNames.clear();
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(g_anCalls[WIO_FLUSH], 2);
    EXPECT_EQ(Save(sOld), INISAVE_OK);
    ASSERT_EQ(g_asTempNames.size(), 2u);
    EXPECT_NE(g_asTempNames[0], g_asTempNames[1]);

    g_asTempNames.clear();
    ArmFaults({{WIO_CREATE, 1, ERROR_ACCESS_DENIED, LeaveName}});
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(g_anCalls[WIO_REPLACE], 1);
    EXPECT_EQ(g_anCalls[WIO_OPEN_WRITE], 0);
    EXPECT_EQ(Read(), sNew);
    ASSERT_EQ(g_asTempNames.size(), 2u);
    EXPECT_NE(g_asTempNames[0], g_asTempNames[1]);
    fs::remove(g_asTempNames[0]);
    EXPECT_EQ(Listing(), asOnlyFile);

    ArmFaults({{WIO_CREATE, 1, ERROR_ACCESS_DENIED, nullptr}});
    EXPECT_EQ(Save(sOld), INISAVE_OK);
    EXPECT_EQ(g_anCalls[WIO_OPEN_WRITE], 1);
    EXPECT_EQ(Read(), sOld);
    EXPECT_EQ(Listing(), asOnlyFile);
}

// A process that is still running: its number, and its end.
struct _RUNNING {
    PROCESS_INFORMATION pi;
    _RUNNING()
    {
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        char szCommand[] = "cmd.exe /c exit";
        pi = {};
        CreateProcessA(NULL, szCommand, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &si, &pi);
    }
    ~_RUNNING()
    {
        TerminateProcess(pi.hProcess, 0);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
};

// Holds the file of that name open to read it, as a running save holds its
// backup (or a virus checker any file).
HANDLE g_hHeld = INVALID_HANDLE_VALUE;
void HoldFile(const wchar_t *pwszName)
{
    g_hHeld = CreateFileW(pwszName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
}

// The game makes qw.ini, as it may while the start puts a backup back.
void MakeGameFile(const wchar_t *)
{
    Write("#key = game\r\n");
}

// The start-up restore puts back only a backup whose replace never ended (its
// temporary file beside it), whatever process number its name holds, and
// names it; never one that somebody holds (the read waits, then fails), nor a
// lone one. A restore that is refused fails the read and every save, and the
// backup stays; a qw.ini that appears meanwhile is read.
TEST_F(StoreWin32, OnlyABackupOfAnEndedReplaceIsPutBack)
{
    _RUNNING running;
    ASSERT_NE(running.pi.dwProcessId, 0u);
    const struct {
        bool fTemp, fHeld;
        DWORD dwMoveError;
        void (*pfnAct)(const wchar_t *);
        int nRead;
    } aCases[] = {
        {true, false, NO_ERROR, nullptr, INIFILE_OK},
        {true, true, NO_ERROR, nullptr, INIFILE_NOT_RESTORED},
        {false, true, NO_ERROR, nullptr, INIFILE_NOT_RESTORED},
        {true, false, ERROR_SHARING_VIOLATION, nullptr, INIFILE_NOT_RESTORED},
        {true, false, ERROR_ALREADY_EXISTS, MakeGameFile, INIFILE_OK},
        {false, false, NO_ERROR, nullptr, INIFILE_MISSING},
    };
    for (const auto &c : aCases) {
        const std::string sName = "qw.ini.qwconfig-" + std::to_string(running.pi.dwProcessId) + "-1";
        Write(sOld, sName + ".bak");
        if (c.fTemp)
            Write(sNew, sName + ".tmp");
        if (c.fHeld)
            HoldFile((dir / (sName + ".bak")).c_str());
        ArmFaults({{WIO_MOVE, 0, c.dwMoveError, c.pfnAct}});
        _INIFILEDATA fd;
        EXPECT_EQ(IniStore_Read(file.c_str(), &fd), c.nRead) << c.fTemp << c.fHeld;
        EXPECT_EQ(fd.szRestored, c.nRead == INIFILE_OK && !c.pfnAct ? sName + ".bak" : "");
        IniStore_Free(&fd);
        if (c.nRead != INIFILE_OK) {
            EXPECT_EQ(IniFile_PutString(file.c_str(), nullptr, "key", "new"), c.nRead == INIFILE_MISSING);
            EXPECT_EQ(Read(sName + ".bak"), sOld);
        }
        char szBackup[64] = "";
        EXPECT_EQ(IniFile_FindLeftBackup(file.c_str(), szBackup, sizeof(szBackup)),
                  !c.fHeld && (c.nRead != INIFILE_OK || c.pfnAct));
        CloseHandle(g_hHeld);
        g_hHeld = INVALID_HANDLE_VALUE;
        fs::remove(dir / (sName + ".bak"));
        fs::remove(dir / (sName + ".tmp"));
        fs::remove(path);
    }
}

// Another program appends a line to qw.ini, when Windows lets it open the file
// for writing (never while the check holds it).
void AppendIfOpens(const wchar_t *)
{
    HANDLE hFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    DWORD cb = 0;
    WriteFile(hFile, "#added = 1\r\n", 12, &cb, NULL);
    CloseHandle(hFile);
}

// Another program in the middle of its own replace, with qw.ini moved away.
void MoveAway(const wchar_t *)
{
    EXPECT_TRUE(MoveFileW(path.c_str(), (dir / "zz.away").c_str())) << GetLastError();
}

// Another program replaces qw.ini between the check and the editor's replace:
// with bytes of its own, its file is put back and the save reads again
// (INISAVE_CHANGED); with the same bytes the save stands. When the other
// program's file cannot be put back, it stays under the backup name and the
// result says so (INISAVE_SET_ASIDE). A program that would write qw.ini
// between the check and the replace is kept out. A name
// that is away for a moment (another program's replace half-way) is
// INISAVE_CHANGED too, and no temporary file stays.
TEST_F(StoreWin32, AnotherProgramsReplaceBeforeOursIsKept)
{
    const std::string sGame = "#key = game\r\n", sMissing = "<missing>";
    const struct {
        void (*pfnSwap)(const wchar_t *);
        DWORD dwMoveError;
        int nResult;
        const std::string &sLeft;
        size_t cFiles;
    } aCases[] = {
        {ReplaceForOtherBytes, NO_ERROR, INISAVE_CHANGED, sGame, 1},
        {ReplaceForSameBytes, NO_ERROR, INISAVE_OK, sNew, 1},
        {ReplaceForOtherBytes, ERROR_SHARING_VIOLATION, INISAVE_SET_ASIDE, sNew, 2},
        {MoveAway, NO_ERROR, INISAVE_CHANGED, sMissing, 1},
        {AppendIfOpens, NO_ERROR, INISAVE_OK, sNew, 1},
    };
    for (const auto &c : aCases) {
        Write(sOld);
        ArmFaults({{c.pfnSwap == MoveAway ? WIO_OPEN_DELETE : WIO_REPLACE, 1, NO_ERROR, c.pfnSwap},
                   {WIO_MOVE, 0, c.dwMoveError, nullptr}});
        EXPECT_EQ(Save(sNew), c.nResult);
        EXPECT_EQ(Read(), c.sLeft);
        std::vector<std::string> asLeft = Listing();
        ASSERT_EQ(asLeft.size(), c.cFiles);
        if (c.cFiles > 1) {
            EXPECT_EQ(Read(asLeft[1]), sGame);
            fs::remove(dir / asLeft[1]);
        }
        fs::remove(dir / "zz.away");
    }
}

// Moves the temporary file over qw.ini, as a replace that fails late may.
void MoveTempIn(const wchar_t *)
{
    MoveFileExW(g_asTempNames.back().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// A half-done replace tells the truth. qw.ini gone with no backup and the new
// content not movable in: the new content takes the backup's name, the result
// says damaged, and the start names that file. qw.ini there but unreadable
// after a failed replace: a failure, never INISAVE_OK. A backup name that a
// process of the same number left long ago is never overwritten. A new qw.ini
// made in place that cannot be written whole is deleted through its handle.
TEST_F(StoreWin32, HalfDoneSaveTellsTheTruth)
{
    const _FAULT moveFails = {WIO_MOVE, 1, ERROR_WRITE_FAULT, nullptr};
    Write(sOld);
    ArmFaults({{WIO_REPLACE, 1, ERROR_UNABLE_TO_MOVE_REPLACEMENT, nullptr}, moveFails});
    EXPECT_EQ(Save(sNew), INISAVE_DAMAGED);
    std::vector<std::string> asLeft = Listing();
    ASSERT_EQ(asLeft.size(), 1u);
    EXPECT_EQ(asLeft[0].substr(asLeft[0].size() - 4), ".bak");
    EXPECT_EQ(Read(asLeft[0]), sNew);
    ArmFaults({});
    char szBackup[64] = "";
    EXPECT_TRUE(IniFile_FindLeftBackup(file.c_str(), szBackup, sizeof(szBackup)));
    EXPECT_EQ(szBackup, asLeft[0]);
    fs::remove(dir / asLeft[0]);

    Write(sOld);
    ArmFaults({{WIO_REPLACE, 1, ERROR_UNABLE_TO_REMOVE_REPLACED, MoveTempIn},
               {WIO_OPEN, 2, ERROR_SHARING_VIOLATION, nullptr}});
    EXPECT_EQ(Save(sNew), INISAVE_FAILED);

    Write(sOld);
    const std::string sStale = "qw.ini.qwconfig-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(IniStore_NextTempNumber() + 1) + ".bak";
    Write("#key = stale\r\n", sStale);
    ArmFaults({});
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(Read(sStale), "#key = stale\r\n");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", sStale}));
    fs::remove(dir / sStale);

    fs::remove(path);
    ArmFaults({{WIO_MOVE, 0, ERROR_ACCESS_DENIED, nullptr}, {WIO_WRITE, 2, ERROR_DISK_FULL, nullptr}});
    EXPECT_EQ(Save(sNew), INISAVE_FULL);
    EXPECT_EQ(g_anCalls[WIO_CREATE], 2);
    EXPECT_EQ(Listing(), std::vector<std::string>{});
}

} // namespace

namespace {

// A qw.ini that is a symbolic link stays one: the save writes its target in
// place, through the link.
TEST_F(StoreWin32, SymbolicLinkIsWrittenThrough)
{
    typedef BOOLEAN(WINAPI * PFNCREATESYMBOLICLINKA)(LPCSTR, LPCSTR, DWORD);
    PFNCREATESYMBOLICLINKA pfnCreateSymbolicLinkA = (PFNCREATESYMBOLICLINKA)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA");
    Write(sOld, "target.ini");
    const std::string sTarget = (dir / "target.ini").string();
    // Without privileges where Windows allows it (flag 2), else as before.
    bool fMade = pfnCreateSymbolicLinkA && (pfnCreateSymbolicLinkA(file.c_str(), sTarget.c_str(), 2) ||
                                            pfnCreateSymbolicLinkA(file.c_str(), sTarget.c_str(), 0));
    DWORD dwAttributes = GetFileAttributesW(path.c_str());
    if (!fMade || dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "no symbolic link can be made here";
    EXPECT_EQ(Save(sNew), INISAVE_OK);
    EXPECT_EQ(g_anCalls[WIO_REPLACE], 0);
    EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(Read("target.ini"), sNew);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", "target.ini"}));
}

} // namespace
