// Tests of the configuration file module: reading, writing, key matching, the
// typed accessors and the failures that must leave the file as it was. Every
// test works in its own temporary folder; after a write the exact bytes of the
// file are compared.
#include "IniFiles.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "EndedProcess.h"
#else
#include "IniFileFaults.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#endif

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Result of Get when the key was not found.
const char *const NOT_FOUND = "<not found>";

class IniFileTest : public ::testing::Test {
protected:
    fs::path dir;
    std::string file;

    void SetUp() override
    {
        dir = MakeTestFolder("qw_inifiles_");
        file = (dir / "qw.ini").string();
    }

    void TearDown() override
    {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(dir, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    // Writes the bytes as the whole file.
    void Write(const std::string &sBytes) const
    {
        FILE *pf = fopen(file.c_str(), "wb");
        ASSERT_NE(pf, nullptr);
        ASSERT_EQ(fwrite(sBytes.data(), 1, sBytes.size(), pf), sBytes.size());
        ASSERT_EQ(fclose(pf), 0);
    }

    // The whole file, or "<missing>" when it cannot be opened.
    std::string Read() const { return ReadFrom(file); }

    // The value of the key as IniFile_GetString gives it, or NOT_FOUND.
    std::string Get(const char *pszKey, int nSize = 1024) const
    {
        std::vector<char> ach((size_t)nSize + 1, 'X');
        if (!IniFile_GetString(file.c_str(), nullptr, pszKey, ach.data(), nSize))
            return NOT_FOUND;
        EXPECT_EQ(ach[(size_t)nSize], 'X') << "written past the buffer";
        return ach.data();
    }

    // Writes the content, puts the key and gives the file afterwards.
    std::string PutInto(const std::string &sBefore, const char *pszKey, const char *pszValue) const
    {
        Write(sBefore);
        EXPECT_TRUE(IniFile_PutString(file.c_str(), nullptr, pszKey, pszValue));
        return Read();
    }

    // Writes the content, applies the changes as one batch and gives the file
    // afterwards; the same changes as single puts must give the same bytes.
    std::string BatchInto(const std::string &sBefore,
                          const std::vector<std::pair<const char *, const char *>> &aChanges) const
    {
        const std::string sSingle = (dir / "single.ini").string();
        std::vector<_INISETTING> aSettings;
        fs::remove(sSingle);
        fs::remove(file);
        if (sBefore != "<missing>") {
            Write(sBefore);
            fs::copy_file(file, sSingle);
        }
        for (const auto &change : aChanges) {
            aSettings.push_back({change.first, change.second});
            EXPECT_TRUE(IniFile_PutString(sSingle.c_str(), nullptr, change.first, change.second));
        }
        EXPECT_TRUE(IniFile_PutStrings(file.c_str(), nullptr, aSettings.data(), (int)aSettings.size()));
        std::string sBatch = Read();
        EXPECT_EQ(sBatch, ReadFrom(sSingle)) << "before: " << sBefore;
        fs::remove(sSingle);
        return sBatch;
    }

    // The whole of a file, or "<missing>" when it cannot be opened.
    static std::string ReadFrom(const std::string &sFile)
    {
        return ReadWholeFile(sFile);
    }

    // Sorted names in the test folder.
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> asNames;
        for (const auto &entry : fs::directory_iterator(dir))
            asNames.push_back(entry.path().filename().string());
        std::sort(asNames.begin(), asNames.end());
        return asNames;
    }
};

using Reading = IniFileTest;
using Writing = IniFileTest;
using Matching = IniFileTest;
using Accessors = IniFileTest;
using Failures = IniFileTest;

// A file of many setting lines, about cbTotal bytes, ending in a line feed.
std::string ManyLines(size_t cbTotal)
{
    std::string s;
    for (int n = 0; s.size() < cbTotal; n++)
        s += "#filler_" + std::to_string(n) + " = value number " + std::to_string(n) + "\r\n";
    return s;
}

// s followed by "#key = value" for each change whose key is not in asHave, in
// their order, separated as appends separate them: "\r\n", none after a line feed.
std::string WithAppended(std::string s, const std::vector<_INISETTING> &aChanges,
                         const std::vector<std::string> &asHave)
{
    for (const _INISETTING &change : aChanges) {
        if (std::find(asHave.begin(), asHave.end(), change.pszKey) == asHave.end())
            s += (s.empty() || s.back() == '\n' ? "#" : "\r\n#") + std::string(change.pszKey) + " = " + change.pszValue;
    }
    return s;
}

// ---------------------------------------------------------------------------

TEST_F(Reading, MissingFileOrKeyLeavesResultUntouched)
{
    char sz[8] = "keep";
    EXPECT_FALSE(IniFile_GetString(file.c_str(), nullptr, "key", sz, sizeof(sz)));
    Write("#other = 1\n#key\n#key without equals\n");
    EXPECT_FALSE(IniFile_GetString(file.c_str(), nullptr, "key", sz, sizeof(sz)));
    EXPECT_STREQ(sz, "keep");
}

TEST_F(Reading, ValueForms)
{
    const struct {
        std::string sContent, sValue;
    } aCases[] = {
        {"#key=1", "1"},
        {"#key    =    1   \n", "1"},
        {"#key =\t \t1", "1"},
        {"#key = a=b # c\n", "a=b # c"},
        {"#key junk = 1\n", "1"},
        {"#key = \n#key = 2", ""},
        {"#key =", ""},
        {"#key = 1\r\n#other = 2\r\n", "1"},
        {"#key = inner  spaces   kept   ", "inner  spaces   kept"},
        {"\n\n  \t #key = indented", "indented"},
        {"#key\n#key text\n#key = third", "third"},
        {"#key = first\n#key = second", "first"},
        {"#key = a\tb", "a"},
        {"#key = a\x01z", "a"},
        {"#key = ab\0cd"s, "ab"},
        {"#key = C:\\Users\\J\xe9r\xf4me\\game.exe", "C:\\Users\\J\xe9r\xf4me\\game.exe"},
        {"\xEF\xBB\xBF#key = bom", "bom"},
        {"\xEF\xBB\xBF  \r\n#key = bom", "bom"},
    };
    for (const auto &c : aCases) {
        Write(c.sContent);
        EXPECT_EQ(Get("key"), c.sValue) << "file: " << c.sContent;
    }
}

TEST_F(Reading, LinesThatAreNoSettings)
{
    const char *const apszContents[] = {
        "[General]\nkey = 1\n; #key = 1\n",
        "# key = 1\n",
        "#key\t= 1\n",
        "#key\r\n",
        "\xA0#key = 1\n",
        "\n\xEF\xBB\xBF#key = 1\n",
        "x#key = 1\n",
        "#",
        "#key",
        "##key = 1",
    };
    for (const char *pszContent : apszContents) {
        Write(pszContent);
        EXPECT_EQ(Get("key"), NOT_FOUND) << "file: " << pszContent;
    }
}

TEST_F(Reading, CutsToBufferAndTrimsTheCut)
{
    Write("#key = abc def\n");
    EXPECT_EQ(Get("key", 8), "abc def");
    EXPECT_EQ(Get("key", 7), "abc de");
    EXPECT_EQ(Get("key", 5), "abc");
    EXPECT_EQ(Get("key", 4), "abc");
    EXPECT_EQ(Get("key", 2), "a");
    EXPECT_EQ(Get("key", 1), "");
    EXPECT_EQ(Get("key", 100), "abc def");
}

TEST_F(Reading, HostileFiles)
{
    Write(std::string(1 << 20, '#'));
    EXPECT_EQ(Get("key"), NOT_FOUND);
    Write("#" + std::string(1 << 20, 'k'));
    EXPECT_EQ(Get("key"), NOT_FOUND);
    Write(std::string(1 << 20, '\0') + "#key = after nuls");
    EXPECT_EQ(Get("key"), "after nuls");
    Write("#key = " + std::string(3 << 20, 'v') + "\n");
    EXPECT_EQ(Get("key", 40), std::string(39, 'v'));
    Write(ManyLines(2 << 20) + "#key = at the end");
    EXPECT_EQ(Get("key"), "at the end");
}

TEST_F(Reading, SnapshotAnswersLikeSingleGetsFromOneRead)
{
    const std::string sContent = "\xEF\xBB\xBF#port = 0080\r\n#Host = a=b  \n#key\n #key = 12abc\n"
                                 "#empty =\n#text = " + std::string(300, 't') + "\n";
    Write(sContent);
    int nResult = -1;
    _INISNAPSHOT *pSnapshot = IniFile_ReadSnapshot(file.c_str(), &nResult);
    ASSERT_NE(pSnapshot, nullptr);
    EXPECT_EQ(nResult, INIFILE_OK);
    Write("#port = 1\n");  // read once: later changes are not seen
    // Each key: the value found (or "untouched"), LoadString's with a buffer
    // of four bytes and the default "default", LoadInt's with the default -7.
    const struct {
        const char *pszKey, *pszGet, *pszLoad;
        int nInt;
    } aCases[] = {
        {"port", "0080", "008", 80}, {"host", "a=b", "a=b", -7}, {"key", "12abc", "12a", 12},
        {"empty", "", "", -7}, {"text", "ttttttttttttttt", "ttt", -7}, {"missing", "untouched", "def", -7},
        {"a b", "untouched", "def", -7}, {"", "untouched", "def", -7},
    };
    for (const auto &c : aCases) {
        Write(sContent);
        const bool fFound = strcmp(c.pszGet, "untouched") != 0;
        char szSnap[16] = "untouched", szFile[16] = "untouched";
        EXPECT_EQ(IniFile_SnapshotGetString(pSnapshot, c.pszKey, szSnap, sizeof(szSnap)), fFound);
        EXPECT_EQ(IniFile_GetString(file.c_str(), nullptr, c.pszKey, szFile, sizeof(szFile)), fFound);
        EXPECT_STREQ(szSnap, c.pszGet) << c.pszKey;
        EXPECT_STREQ(szFile, c.pszGet) << c.pszKey;
        EXPECT_EQ(IniFile_SnapshotLoadString(pSnapshot, c.pszKey, "default", szSnap, 4), fFound);
        EXPECT_EQ(IniFile_LoadString(file.c_str(), nullptr, c.pszKey, "default", szFile, 4), fFound);
        EXPECT_STREQ(szSnap, c.pszLoad) << c.pszKey;
        EXPECT_STREQ(szFile, c.pszLoad) << c.pszKey;
        EXPECT_EQ(IniFile_SnapshotLoadInt(pSnapshot, c.pszKey, -7), c.nInt) << c.pszKey;
        EXPECT_EQ(IniFile_LoadInt(file.c_str(), nullptr, c.pszKey, -7), c.nInt) << c.pszKey;
        Write("#port = 1\n");
    }
    IniFile_FreeSnapshot(pSnapshot);

    // A missing file is an empty snapshot; a null one has no keys.
    fs::remove(file);
    pSnapshot = IniFile_ReadSnapshot(file.c_str(), &nResult);
    ASSERT_NE(pSnapshot, nullptr);
    EXPECT_EQ(nResult, INIFILE_MISSING);
    EXPECT_EQ(IniFile_SnapshotLoadInt(pSnapshot, "port", 2000), 2000);
    IniFile_FreeSnapshot(pSnapshot);
    EXPECT_EQ(IniFile_SnapshotLoadInt(nullptr, "port", 2000), 2000);
    EXPECT_EQ(Listing(), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------

TEST_F(Writing, CreatesAndAppends)
{
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "video_mode", "2"));
    EXPECT_EQ(Read(), "#video_mode = 2");
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "sound", "1"));
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "host", "example.org"));
    EXPECT_EQ(Read(), "#video_mode = 2\r\n#sound = 1\r\n#host = example.org");

    EXPECT_EQ(PutInto("", "key", "1"), "#key = 1");
    EXPECT_EQ(PutInto("#other = 1\n", "key", "1"), "#other = 1\n#key = 1");
    EXPECT_EQ(PutInto("#other = 1", "key", "1"), "#other = 1\r\n#key = 1");
    EXPECT_EQ(PutInto("#key\n", "key", "1"), "#key\n#key = 1");
    EXPECT_EQ(PutInto("#video_mode_x = 1", "video_mode", "2"), "#video_mode_x = 1\r\n#video_mode = 2");
}

TEST_F(Writing, ReplacesEverySettingLineOfTheKey)
{
    EXPECT_EQ(PutInto("#key=1", "key", "3"), "#key = 3");
    EXPECT_EQ(PutInto("#key junk\n", "key", "3"), "#key = 3\n");
    EXPECT_EQ(PutInto("  \t#key = 1\n\n #key=2\n", "key", "3"), "  \t#key = 3\n\n #key = 3\n");
    EXPECT_EQ(PutInto("#a = 1\r\n#key = 1\r\n#b = 2\r\n", "key", "3"), "#a = 1\r\n#key = 3\n#b = 2\r\n");
    EXPECT_EQ(PutInto("#key = old", "key", ""), "#key = ");
    EXPECT_EQ(PutInto("#key = 1\n", "key", "a=b # c"), "#key = a=b # c\n");
}

TEST_F(Writing, KeepsEveryOtherLineByteForByte)
{
    const std::string sOther = "[General]\r\n; note\nkey = value\n\x01\x02 junk\n# key = 1\n#key\t= 1\n"
                               "#keyboard = 5\n\xA0#key = 1\n#k\xE9y = 2\n"s +
                               std::string("\0\0#\0"s) + "\n";
    EXPECT_EQ(PutInto(sOther + "#key = 1\n" + sOther, "key", "2"), sOther + "#key = 2\n" + sOther);
    EXPECT_EQ(PutInto(sOther, "key", "2"), sOther + "#key = 2");
}

TEST_F(Writing, ValueStopsAtItsFirstControlByte)
{
    EXPECT_EQ(PutInto("#key = 1\n#x = 2\n", "key", "a\n#other = 1"), "#key = a\n#x = 2\n");
    EXPECT_EQ(Get("other"), NOT_FOUND);
    EXPECT_EQ(PutInto("", "key", "b\r\n#other = 1"), "#key = b");
    EXPECT_EQ(PutInto("", "key", "tab\there"), "#key = tab");
    EXPECT_EQ(PutInto("", "key", "\x1f"), "#key = ");
    EXPECT_EQ(Get("other"), NOT_FOUND);
}

TEST_F(Writing, HighBytesAndByteOrderMark)
{
    const char *pszPath = "C:\\Users\\J\xe9r\xf4me\\Quarrow\\client.exe \xff";
    EXPECT_EQ(PutInto("#browser = x\n", "browser", pszPath), "#browser = "s + pszPath + "\n");
    EXPECT_EQ(Get("browser"), "C:\\Users\\J\xe9r\xf4me\\Quarrow\\client.exe \xff");

    EXPECT_EQ(PutInto("\xEF\xBB\xBF#key = 1\r\n", "key", "2"), "\xEF\xBB\xBF#key = 2\n");
    EXPECT_EQ(PutInto("\xEF\xBB\xBF\n", "key", "2"), "\xEF\xBB\xBF\n#key = 2");
    EXPECT_EQ(PutInto("\xEF\xBB\xBF", "key", "2"), "\xEF\xBB\xBF\r\n#key = 2");
    EXPECT_EQ(Get("key"), "2");
}

TEST_F(Writing, LargeFileKeepsItsTail)
{
    const std::string sHead = "#key = 1\r\n", sTail = ManyLines(1 << 20) + "; the last line";
    EXPECT_EQ(PutInto(sHead + sTail, "key", "2"), "#key = 2\n" + sTail);
    const std::string sBig = ManyLines(5 << 20);
    EXPECT_EQ(PutInto(sBig, "new_key", "1"), sBig + "#new_key = 1");
}

TEST_F(Writing, HostileFiles)
{
    const std::string sHashes(1 << 20, '#'), sWord = "#" + std::string(1 << 20, 'k');
    EXPECT_EQ(PutInto(sHashes, "key", "1"), sHashes + "\r\n#key = 1");
    EXPECT_EQ(PutInto(sWord, "key", "1"), sWord + "\r\n#key = 1");
    const std::string sNuls(1000, '\0');
    EXPECT_EQ(PutInto(sNuls + "#key = 0" + sNuls, "key", "1"), sNuls + "#key = 1");
}

TEST_F(Writing, BatchGivesTheBytesOfItsSinglePuts)
{
    const std::vector<std::pair<const char *, const char *>> aEditor = {
        {"server_address", "eu.quarrow.net"}, {"server_port", "0080"}, {"save_ignores", "1"},
        {"use_global_ignores", "0"}, {"normal_camera_rotation_speed", "15.0"},
        {"fine_camera_rotation_speed", "1.0"}, {"browser", "C:\\B\xe9\\b.exe"}, {"video_mode", "6"},
        {"full_screen", "1"}, {"shadows_on", "0"}, {"clouds_shadows", "1"},
        {"no_adjust_shadows", "0"}, {"poor_man", "0"}, {"no_sound", "1"}};
    std::vector<_INISETTING> aSettings;
    for (const auto &change : aEditor)
        aSettings.push_back({change.first, change.second});
    EXPECT_EQ(BatchInto("<missing>", {{"a", "1"}, {"b", "2"}}), "#a = 1\r\n#b = 2");
    EXPECT_EQ(BatchInto("<missing>", aEditor), WithAppended("", aSettings, {}));
    EXPECT_EQ(BatchInto("#SERVER_PORT = 1\r\n  #server_port=2\n#browser\n#x = 1\n#no_sound = 0", aEditor),
              WithAppended("#server_port = 0080\n  #server_port = 0080\n#browser\n#x = 1\n#no_sound = 1\n",
                           aSettings, {"server_port", "no_sound"}));
    EXPECT_EQ(BatchInto("\xEF\xBB\xBF#video_mode = 2\r\n; note\r\n#poor_man", aEditor),
              WithAppended("\xEF\xBB\xBF#video_mode = 6\n; note\r\n#poor_man\r\n", aSettings, {"video_mode"}));
    // The same key again (in any case): its last spelling and value, where the
    // first change would have put it.
    EXPECT_EQ(BatchInto("#b = 0\n", {{"a", "1"}, {"b", "2"}, {"A", "3"}, {"B", "4\n#c = 5"}}),
              "#B = 4\n#A = 3");
    // A later change of the key on a last line that an earlier append ended.
    EXPECT_EQ(BatchInto("x\r\n#a = 0", {{"b", "1"}, {"a", "2"}}), "x\r\n#a = 2\n#b = 1");
    EXPECT_EQ(BatchInto("#a = 0", {{"a", "1"}, {"b", "2"}}), "#a = 1\r\n#b = 2");
    EXPECT_EQ(BatchInto("", {{"a", "1"}, {"b", "2"}, {"a", "3"}, {"c", "4"}}), "#a = 3\n#b = 2\r\n#c = 4");
}

TEST_F(Writing, BatchIsRefusedWholeForOneBadChange)
{
    const std::string sBefore = "#a = 1\n#b = 2\n";
    const _INISETTING aBadKey[] = {{"a", "9"}, {"b c", "9"}, {"b", "9"}};
    const _INISETTING aNullValue[] = {{"a", "9"}, {"b", nullptr}};
    Write(sBefore);
    EXPECT_FALSE(IniFile_PutStrings(file.c_str(), nullptr, aBadKey, 3));
    EXPECT_FALSE(IniFile_PutStrings(file.c_str(), nullptr, aNullValue, 2));
    EXPECT_FALSE(IniFile_PutStrings(file.c_str(), nullptr, aBadKey, 0));
    EXPECT_FALSE(IniFile_PutStrings(file.c_str(), nullptr, nullptr, 1));
    EXPECT_EQ(Read(), sBefore);
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
}

// ---------------------------------------------------------------------------

TEST_F(Matching, IgnoresAsciiCaseOnly)
{
    Write("#Poor_Man = 1\n#POOR_MAN = 0\n");
    EXPECT_EQ(Get("poor_man"), "1");
    EXPECT_EQ(PutInto("#Poor_Man = 1\n#POOR_MAN = 0\n", "poor_man", "0"), "#poor_man = 0\n#poor_man = 0\n");

    // Bytes 0x20 apart that are no letters differ; so do accented capitals.
    Write("#a{ = 1\n#b` = 2\n#c\xE9 = 3\n");
    EXPECT_EQ(Get("a["), NOT_FOUND);
    EXPECT_EQ(Get("b@"), NOT_FOUND);
    EXPECT_EQ(Get("c\xC9"), NOT_FOUND);
    EXPECT_EQ(Get("c\xE9"), "3");
    EXPECT_EQ(Get("A{"), "1");

    // Every letter in either case, first in the key word and behind it, with
    // the "#" at every offset of the eight bytes the scan tests at a time.
    const std::string sSmall = "abcdefghijklmnopqrstuvwxyz", sCapital = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (size_t i = 0; i < 26; i++) {
        for (size_t nOffset = 0; nOffset < 17; nOffset++) {
            const std::string sIndent(nOffset, ' ');
            Write(sIndent + "#" + sCapital[i] + sCapital + " = " + sSmall[i] + "\n" + sIndent);
            EXPECT_EQ(Get((sSmall[i] + sSmall).c_str()), std::string(1, sSmall[i])) << nOffset;
            Write("x\n" + sIndent + "#" + sSmall[i] + sSmall + "=" + sCapital[i]);
            EXPECT_EQ(Get((sCapital[i] + sCapital).c_str()), std::string(1, sCapital[i])) << nOffset;
        }
    }
    // A batch tests the first bytes of a key word quickly: every capital there.
    EXPECT_EQ(BatchInto("#ABCD = 0\n#EFGH = 0\n#IJKL = 0\n#MNOP = 0\n#QRST = 0\n#UVWX = 0\n#WXYZ = 0\n",
                        {{"abcd", "1"}, {"efgh", "2"}, {"ijkl", "3"}, {"mnop", "4"}, {"qrst", "5"},
                         {"uvwx", "6"}, {"wxyz", "7"}}),
              "#abcd = 1\n#efgh = 2\n#ijkl = 3\n#mnop = 4\n#qrst = 5\n#uvwx = 6\n#wxyz = 7\n");
}

TEST_F(Matching, WholeKeyWordOnly)
{
    Write("#video_mode_x = 1\n#video = 2\n#video_mode=3\n");
    EXPECT_EQ(Get("video_mode"), "3");
    EXPECT_EQ(Get("video_mod"), NOT_FOUND);
    EXPECT_EQ(Get("video_mode_x_"), NOT_FOUND);
}

TEST_F(Matching, LongestKey)
{
    const std::string sKey(253, 'k');
    EXPECT_EQ(PutInto("", sKey.c_str(), "long"), "#" + sKey + " = long");
    EXPECT_EQ(Get(sKey.c_str()), "long");
    Write("#" + sKey + "k = 1\n");
    EXPECT_EQ(Get(sKey.c_str()), NOT_FOUND);
}

TEST_F(Matching, KeysThatCannotBeStoredAreRefused)
{
    const std::string sTooLong(254, 'k');
    const char *const apszKeys[] = {"", "a b", "a=b", "a\tb", "a\rb", "a\nb", "=", sTooLong.c_str(), nullptr};
    const std::string sBefore = "# = 1\n#a\tb = 2\n#" + sTooLong + " = 3\n#= 4\n";
    for (const char *pszKey : apszKeys) {
        Write(sBefore);
        char sz[8] = "keep";
        EXPECT_FALSE(IniFile_GetString(file.c_str(), nullptr, pszKey, sz, sizeof(sz)));
        EXPECT_STREQ(sz, "keep");
        EXPECT_FALSE(IniFile_PutString(file.c_str(), nullptr, pszKey, "x"));
        EXPECT_EQ(Read(), sBefore);
    }
}

// ---------------------------------------------------------------------------

TEST_F(Accessors, LoadInt)
{
    EXPECT_EQ(IniFile_LoadInt(file.c_str(), nullptr, "port", 2000), 2000);
    const struct {
        const char *pszValue;
        int nExpected;
    } aCases[] = {
        {"0080", 80},  {"-5", -5},       {"+7", 7},      {"12abc", 12},     {"0x10", 0},
        {"1.5", 1},    {"abc", -1},      {"", -1},       {"-", -1},         {"2147483647", 2147483647},
        {"99999999999", 2147483647},     {"-99999999999", -2147483647 - 1},
        // Only the first 31 bytes are read: 30 zeros and the 1.
        {"000000000000000000000000000000123", 1},
        {"0000000000000000000000000000012", 12},
    };
    for (const auto &c : aCases) {
        Write("#port = "s + c.pszValue + "\n");
        EXPECT_EQ(IniFile_LoadInt(file.c_str(), nullptr, "port", -1), c.nExpected) << c.pszValue;
    }
}

TEST_F(Accessors, LoadFloat)
{
    EXPECT_EQ(IniFile_LoadFloat(file.c_str(), nullptr, "speed", 2.5f), 2.5f);
    const struct {
        const char *pszValue;
        float fExpected;
    } aCases[] = {
        {"15.000000", 15.0f}, {"-2.5e3", -2500.0f}, {".5x", 0.5f}, {"7", 7.0f}, {"x1", -1.0f}, {"", -1.0f},
    };
    for (const auto &c : aCases) {
        Write("#speed = "s + c.pszValue + "\n");
        EXPECT_EQ(IniFile_LoadFloat(file.c_str(), nullptr, "speed", -1.0f), c.fExpected) << c.pszValue;
    }
}

TEST_F(Accessors, LoadString)
{
    char sz[8];
    memset(sz, 'x', sizeof(sz));
    EXPECT_FALSE(IniFile_LoadString(file.c_str(), nullptr, "key", "15.0", sz, sizeof(sz)));
    EXPECT_EQ(std::string(sz, sizeof(sz)), "15.0\0\0\0\0"s);
    EXPECT_FALSE(IniFile_LoadString(file.c_str(), nullptr, "key", nullptr, sz, sizeof(sz)));
    EXPECT_STREQ(sz, "");
    // A default as long as the buffer, or longer, is cut and terminated.
    EXPECT_FALSE(IniFile_LoadString(file.c_str(), nullptr, "key", "12345678", sz, sizeof(sz)));
    EXPECT_EQ(std::string(sz, sizeof(sz)), "1234567\0"s);
    memset(sz, 'x', sizeof(sz));
    EXPECT_FALSE(IniFile_LoadString(file.c_str(), nullptr, "key", "15.0", sz, 0));
    EXPECT_EQ(std::string(sz, sizeof(sz)), "xxxxxxxx");

    Write("#key =\n");
    EXPECT_TRUE(IniFile_LoadString(file.c_str(), nullptr, "key", "15.0", sz, sizeof(sz)));
    EXPECT_STREQ(sz, "");
    Write("#key = from the file\n");
    EXPECT_TRUE(IniFile_LoadString(file.c_str(), nullptr, "key", "15.0", sz, sizeof(sz)));
    EXPECT_STREQ(sz, "from th");
}

TEST_F(Accessors, SaveFormatsTheValue)
{
    ASSERT_TRUE(IniFile_SaveInt(file.c_str(), nullptr, "port", 80, "%04d"));
    EXPECT_EQ(Read(), "#port = 0080");
    ASSERT_TRUE(IniFile_SaveInt(file.c_str(), nullptr, "port", 2000, "%04d"));
    EXPECT_EQ(Read(), "#port = 2000");
    ASSERT_TRUE(IniFile_SaveInt(file.c_str(), nullptr, "port", 1, nullptr));
    EXPECT_EQ(Read(), "#port = 1");
    ASSERT_TRUE(IniFile_SaveInt(file.c_str(), nullptr, "port", -2147483647 - 1, ""));
    EXPECT_EQ(Read(), "#port = -2147483648");
    for (int nWidth : {63, 64, 65}) {
        ASSERT_TRUE(IniFile_SaveInt(file.c_str(), nullptr, "port", 5, ("%0" + std::to_string(nWidth) + "d").c_str()));
        EXPECT_EQ(Read(), "#port = " + std::string((size_t)nWidth - 1, '0') + "5");
    }
    ASSERT_TRUE(IniFile_SaveInt(file.c_str(), nullptr, "port", 5, "%0100d"));
    EXPECT_EQ(Read(), "#port = " + std::string(99, '0') + "5");

    ASSERT_TRUE(IniFile_SaveFloat(file.c_str(), nullptr, "speed", 15.0f, nullptr));
    EXPECT_EQ(Read(), "#port = " + std::string(99, '0') + "5\r\n#speed = 15.000000");
    EXPECT_EQ(IniFile_LoadFloat(file.c_str(), nullptr, "speed", 0.0f), 15.0f);
    Write("");
    ASSERT_TRUE(IniFile_SaveFloat(file.c_str(), nullptr, "speed", 1e10f, ""));
    EXPECT_EQ(Read(), "#speed = 10000000000.000000");
    ASSERT_TRUE(IniFile_SaveFloat(file.c_str(), nullptr, "speed", -FLT_MAX, nullptr));
    EXPECT_EQ(Read(), "#speed = -340282346638528859811704183484516925440.000000");
    ASSERT_TRUE(IniFile_SaveFloat(file.c_str(), nullptr, "speed", 2.5f, "%.3f"));
    EXPECT_EQ(Read(), "#speed = 2.500");

    ASSERT_TRUE(IniFile_SaveString(file.c_str(), nullptr, "speed", "fast\r\n#x = 1"));
    EXPECT_EQ(Read(), "#speed = fast");
}

// ---------------------------------------------------------------------------

TEST_F(Failures, ReadOnlyFileIsLeftAlone)
{
    const std::string sBefore = "#key = 1\r\n";
    Write(sBefore);
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    EXPECT_FALSE(IniFile_SaveInt(file.c_str(), nullptr, "other", 2, nullptr));
#ifndef _WIN32
    // Read-only for its owner, even with a write bit for others.
    const _INISETTING setting = {"key", "2"};
    EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, &setting, 1), INISAVE_READ_ONLY);
    chmod(file.c_str(), 0466);
    EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, &setting, 1), INISAVE_READ_ONLY);
#endif
    EXPECT_EQ(Read(), sBefore);
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
    EXPECT_EQ(Get("key"), "1");
}

TEST_F(Failures, FolderNamedLikeTheFile)
{
    ASSERT_TRUE(fs::create_directory(file));
    int nResult = -1;
    EXPECT_EQ(IniFile_ReadSnapshot(file.c_str(), &nResult), nullptr);
    EXPECT_EQ(nResult, INIFILE_NOT_FILE);
    EXPECT_FALSE(IniFile_PutString(file.c_str(), nullptr, "key", "1"));
    EXPECT_EQ(Get("key"), NOT_FOUND);
    EXPECT_EQ(IniFile_LoadInt(file.c_str(), nullptr, "key", 7), 7);
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_TRUE(fs::is_empty(file));
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
}

TEST_F(Failures, MissingFolder)
{
    const std::string sFile = (dir / "absent" / "qw.ini").string();
    EXPECT_FALSE(IniFile_PutString(sFile.c_str(), nullptr, "key", "1"));
    EXPECT_TRUE(fs::is_empty(dir));
}

// The player's own copies and other programs' files beside qw.ini, named like
// the editor's files of old or not, stay byte for byte through saves, a
// deleted qw.ini, a start, the save that makes qw.ini again and saves after it.
TEST_F(Failures, OtherFilesBesideTheFileAreNeverTouched)
{
    const std::vector<std::pair<std::string, std::string>> aOthers = {
        {"qw.ini.2023-05.bak", "#key = may 2023\r\n"},
        {"qw.ini.20240512-1.bak", "#key = 12 may 2024\r\n"},
        {"qw.ini.bak", "#key = the player's copy\r\n"},
        {"qw.ini.old", "#key = older\r\n"},
        {"qw.ini.31999-2.tmp", "half of another tool's write"},
        {"qw.ini.qwconfig.bak", "#key = a copy named by hand\r\n"},
        {"qw.ini.qwconfig-x-1.tmp", ""},
    };
    for (const auto &other : aOthers) {
        FILE *pf = OpenPath(dir / other.first, "wb");
        ASSERT_NE(pf, nullptr);
        fputs(other.second.c_str(), pf);
        ASSERT_EQ(fclose(pf), 0);
    }
    Write("#key = 0\r\n");
    const struct {
        const char *pszStep;
        std::function<bool()> pfnStep;
    } aSteps[] = {
        {"save", [&] { return IniFile_PutString(file.c_str(), nullptr, "key", "1"); }},
        {"second save", [&] { return IniFile_PutString(file.c_str(), nullptr, "key", "2"); }},
        {"qw.ini deleted", [&] { return fs::remove(file); }},
        {"start", [&] {
             int nResult = -1;
             IniFile_FreeSnapshot(IniFile_ReadSnapshot(file.c_str(), &nResult));
             char szName[64];
             return nResult == INIFILE_MISSING && !IniFile_FindLeftBackup(file.c_str(), szName, sizeof(szName));
         }},
        {"save that makes qw.ini", [&] { return IniFile_PutString(file.c_str(), nullptr, "key", "3"); }},
        {"save after it", [&] { return IniFile_PutString(file.c_str(), nullptr, "key", "4"); }},
    };
    for (const auto &step : aSteps) {
        EXPECT_TRUE(step.pfnStep()) << step.pszStep;
        for (const auto &other : aOthers)
            EXPECT_EQ(ReadFrom((dir / other.first).string()), other.second) << step.pszStep << ": " << other.first;
        EXPECT_EQ(Listing().size(), aOthers.size() + (fs::exists(file) ? 1 : 0)) << step.pszStep;
    }
    EXPECT_EQ(Read(), "#key = 4");
}

#ifdef _WIN32
// Another program holds the file open without letting it be replaced: the
// write fails at the last step, the move, and the temporary file goes away.
TEST_F(Failures, FailedReplaceLeavesNoTemporaryFile)
{
    const std::string sBefore = ManyLines(10000);
    Write(sBefore);
    HANDLE hFile = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(IniFile_PutString(file.c_str(), nullptr, "filler_3", "changed"));
    CloseHandle(hFile);
    EXPECT_EQ(Read(), sBefore);
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
}

// A file that another program keeps from being read is not rewritten.
TEST_F(Failures, LockedFileIsLeftAlone)
{
    Write("#key = 1\n");
    HANDLE hFile = CreateFileA(file.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    EXPECT_EQ(Get("key"), NOT_FOUND);
    CloseHandle(hFile);
    EXPECT_EQ(Read(), "#key = 1\n");
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
}
// The creation time of the file, as a number.
ULONGLONG CreationTime(const std::string &sFile)
{
    WIN32_FILE_ATTRIBUTE_DATA fad;
    if (!GetFileAttributesExA(sFile.c_str(), GetFileExInfoStandard, &fad))
        return 0;
    return ((ULONGLONG)fad.ftCreationTime.dwHighDateTime << 32) | fad.ftCreationTime.dwLowDateTime;
}

// The replaced file keeps its attributes and its creation time. (Wine keeps
// no creation time that a program sets: that check needs a file system that
// stores one.)
TEST_F(Failures, ReplacedFileKeepsAttributesAndCreationTime)
{
    Write("#key = 1\r\n");
    const FILETIME ftCreated = {0x3D2C1B00, 0x01C9A2B3}; // in 2009
    HANDLE hFile = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(hFile, &ftCreated, NULL, NULL));
    CloseHandle(hFile);
    const ULONGLONG uCreated = CreationTime(file);
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    EXPECT_EQ(Read(), "#key = 2\n");
    EXPECT_EQ(GetFileAttributesA(file.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    if (uCreated == (((ULONGLONG)ftCreated.dwHighDateTime << 32) | ftCreated.dwLowDateTime)) {
        EXPECT_EQ(CreationTime(file), uCreated);
    }
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
}

// A file with a second hard link is rewritten in place: both names see it.
TEST_F(Failures, HardLinkedFileIsRewrittenInPlace)
{
    const std::string sOther = (dir / "other.ini").string();
    Write("#key = 1\r\n#other = long enough to shrink\r\n");
    ASSERT_TRUE(CreateHardLinkA(sOther.c_str(), file.c_str(), NULL));
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "other", "x"));
    EXPECT_EQ(ReadFrom(sOther), "#key = 1\r\n#other = x\n");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"other.ini", "qw.ini"}));
}

// A temporary file of this file whose process has ended is removed by the
// next save, unless the backup of its replace is still there; a name that
// only looks alike stays.
TEST_F(Failures, LeftoversOfEndedProcessesAreRemoved)
{
    const DWORD dwEnded = EndedProcessId();
    ASSERT_NE(0u, dwEnded);
    const std::string sEnded = "qw.ini.qwconfig-" + std::to_string(dwEnded);
    for (const std::string &sName : {"qw.ini"s, sEnded + "-0.tmp", sEnded + "-0.tmp.bak", sEnded + "-1.tmp",
                                     sEnded + "-1.bak"})
        fclose(fopen((dir / sName).string().c_str(), "wb"));
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "1"));
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", sEnded + "-0.tmp.bak", sEnded + "-1.bak",
                                                   sEnded + "-1.tmp"}));
}

// Anything that is no regular file is refused without reading it.
TEST_F(Failures, OnlyRegularFilesAreRead)
{
    int nResult = -1;
    EXPECT_EQ(IniFile_ReadSnapshot("NUL", &nResult), nullptr);
    EXPECT_EQ(nResult, INIFILE_NOT_FILE);
    EXPECT_FALSE(IniFile_PutString("NUL", nullptr, "key", "1"));
}
#else
// A file size limit below the new content makes writing the temporary file
// fail halfway, as a full disk would.
TEST_F(Failures, FailedReplaceLeavesNoTemporaryFile)
{
    const std::string sBefore = ManyLines(100000);
    Write(sBefore);
    struct rlimit rlOld, rlSmall;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &rlOld), 0);
    rlSmall = rlOld;
    rlSmall.rlim_cur = 4096;
    void (*pfnOld)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &rlSmall), 0);
    bool fResult = IniFile_PutString(file.c_str(), nullptr, "filler_3", "changed");
    setrlimit(RLIMIT_FSIZE, &rlOld);
    signal(SIGXFSZ, pfnOld);
    EXPECT_FALSE(fResult);
    EXPECT_EQ(Read(), sBefore);
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
}

// The replaced file keeps the mode, owner and group of the old one; the owner
// and group only where this user may give them away (as root).
TEST_F(Failures, ReplacedFileKeepsModeOwnerAndGroup)
{
    Write("#key = 1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool fRoot = geteuid() == 0;
    if (fRoot) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (fRoot) {
        EXPECT_TRUE(st.st_uid == 65534 && st.st_gid == 65534);
    }
    EXPECT_EQ(Read(), "#key = 2\n");
}

// A symbolic link stays a link and its target gets the new content; a file
// with a second hard link is rewritten in place, so both names see it.
TEST_F(Failures, LinksKeepTheirMeaning)
{
    fs::create_directory(dir / "real");
    const std::string sTarget = (dir / "real" / "target.ini").string();
    FILE *pf = fopen(sTarget.c_str(), "wb");
    ASSERT_TRUE(pf && fputs("#key = 1\n", pf) >= 0 && fclose(pf) == 0);
    fs::create_symlink("real/target.ini", file);
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(ReadFrom(sTarget), "#key = 2\n");
    EXPECT_EQ(fs::read_symlink(file), "real/target.ini");

    fs::remove(file);
    const std::string sOther = (dir / "other.ini").string();
    Write("#key = 1\n#other = long enough to shrink\n");
    fs::create_hard_link(file, sOther);
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "other", "x"));
    EXPECT_EQ(ReadFrom(sOther), "#key = 1\n#other = x\n");
    EXPECT_EQ(fs::hard_link_count(file), 2u);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"other.ini", "qw.ini", "real"}));
}

// A folder that refuses new files (immutable for root, read-only for anyone
// else) with a writable qw.ini in it: the file is rewritten in place. A file
// that does not exist yet cannot be made there.
TEST_F(Failures, FolderThatRefusesNewFilesIsWrittenInPlace)
{
    const std::string sBefore = ManyLines(100000);
    Write(sBefore);
    const std::string sFolder = dir.string();
    bool fRoot = geteuid() == 0;
    std::string sLock = "chattr +i '" + sFolder + "' 2>/dev/null", sUnlock = "chattr -i '" + sFolder + "'";
    if (fRoot ? system(sLock.c_str()) != 0 : chmod(sFolder.c_str(), 0555) != 0)
        GTEST_SKIP() << "this file system cannot refuse new files here";
    bool fShort = IniFile_PutString(file.c_str(), nullptr, "filler_1", "1");
    bool fNew = IniFile_PutString((dir / "new.ini").string().c_str(), nullptr, "key", "1");
    std::vector<std::string> asNames = Listing();
    if (fRoot) {
        ASSERT_EQ(system(sUnlock.c_str()), 0);
    } else {
        chmod(sFolder.c_str(), 0755);
    }
    EXPECT_TRUE(fShort);
    EXPECT_FALSE(fNew);
    std::string sExpected = sBefore;
    sExpected.replace(sExpected.find("#filler_1 "), sizeof("#filler_1 = value number 1\r") - 1, "#filler_1 = 1");
    EXPECT_EQ(Read(), sExpected);
    EXPECT_EQ(asNames, std::vector<std::string>{"qw.ini"});
}

// Temporary files of this file whose process has ended are removed by the
// next save; every other file stays.
TEST_F(Failures, LeftoversOfEndedProcessesAreRemoved)
{
    pid_t nChild = fork();
    if (nChild == 0)
        _exit(0);
    ASSERT_GT(nChild, 0);
    waitpid(nChild, nullptr, 0);
    const std::string sEnded = "qwconfig-" + std::to_string(nChild), sRunning = "qwconfig-" + std::to_string(getppid());
    // A save that creates the file removes nothing: a leftover may then be
    // the only copy of an earlier one.
    const std::string sOnlyCopy = "qw.ini." + sEnded + "-5.tmp";
    fclose(fopen((dir / sOnlyCopy).string().c_str(), "wb"));
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "1"));
    EXPECT_EQ(Listing(), (std::vector<std::string>{"qw.ini", sOnlyCopy}));
    const std::vector<std::string> asKept = {
        "qw.ini", "qw.ini." + sRunning + "-0.tmp", "qw.ini." + sEnded + "-0.tmp.bak",
        "other.ini." + sEnded + "-0.tmp", "qw.ini." + sEnded + "-x.tmp", "qw.ini.qwconfig--0.tmp",
        "qw.ini." + sEnded + ".tmp", "xqw.ini." + sEnded + "-0.tmp", "qw.ini." + std::to_string(nChild) + "-0.tmp"};
    for (const std::string &sName : asKept)
        fclose(fopen((dir / sName).string().c_str(), "wb"));
    fclose(fopen((dir / ("qw.ini." + sEnded + "-0.tmp")).string().c_str(), "wb"));
    fclose(fopen((dir / ("qw.ini." + sEnded + "-17.tmp")).string().c_str(), "wb"));
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "1"));
    std::vector<std::string> asSorted = asKept;
    std::sort(asSorted.begin(), asSorted.end());
    EXPECT_EQ(Listing(), asSorted);
}

// Anything that is no regular file is refused at once, without blocking on a
// FIFO and without reading a device.
TEST_F(Failures, OnlyRegularFilesAreRead)
{
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    int nResult = -1;
    EXPECT_EQ(IniFile_ReadSnapshot(file.c_str(), &nResult), nullptr);
    EXPECT_EQ(nResult, INIFILE_NOT_FILE);
    EXPECT_EQ(Get("key"), NOT_FOUND);
    EXPECT_FALSE(IniFile_PutString(file.c_str(), nullptr, "key", "1"));
    EXPECT_TRUE(fs::is_fifo(file));
    EXPECT_EQ(IniFile_ReadSnapshot("/dev/zero", &nResult), nullptr);
    EXPECT_EQ(nResult, INIFILE_NOT_FILE);
    EXPECT_FALSE(IniFile_PutString("/dev/null", nullptr, "key", "1"));
}

} // namespace

// The fault seam of the file store: the nth call of one kind fails with the
// errno chosen (with nAt = -n, the nth and every later one), any number of
// such faults at once; every call is counted, and a test may act as another
// program right before any call.
namespace {
struct _FAULT {
    int nCall, nAt, nErrno;
};
int g_anCalls[IO_CALLS];
std::vector<_FAULT> g_aFaults;
std::function<void(int nCall, int nAt)> g_fnBeforeCall;

// Forgets the counts and sets the faults of the next run.
void ArmFaults(std::vector<_FAULT> aFaults)
{
    std::fill(std::begin(g_anCalls), std::end(g_anCalls), 0);
    g_aFaults = std::move(aFaults);
}
} // namespace

bool IniFault_Hit(int nCall)
{
    int n = ++g_anCalls[nCall];
    if (g_fnBeforeCall)
        g_fnBeforeCall(nCall, n);
    for (const _FAULT &fault : g_aFaults) {
        if (fault.nCall == nCall && (fault.nAt == n || (fault.nAt < 0 && n >= -fault.nAt))) {
            errno = fault.nErrno;
            return true;
        }
    }
    return false;
}

namespace {

// The editor's fourteen settings, some of them new to the file below.
const _INISETTING aEditorChanges[] = {
    {"server_address", "eu.quarrow.net"}, {"server_port", "0080"}, {"save_ignores", "1"},
    {"use_global_ignores", "0"}, {"normal_camera_rotation_speed", "15.0"},
    {"fine_camera_rotation_speed", "1.0"}, {"browser", "C:\\b.exe"}, {"video_mode", "6"},
    {"full_screen", "1"}, {"shadows_on", "0"}, {"clouds_shadows", "1"},
    {"no_adjust_shadows", "0"}, {"poor_man", "0"}, {"no_sound", "1"}};

// The inode of a file, or 0 when it has none.
ino_t InodeOf(const std::string &sFile)
{
    struct stat st;
    return stat(sFile.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Every call of the store, made to fail in turn, during a save by rename and
// during a save in place: the result is an I/O error (a failure of the first
// read: any failure) and the file, its mode and its folder are exactly as
// they were, or the result is true and the file holds the new content. Then
// the failures that decide where a save goes: a full disk, a read-only file
// system or an I/O error never lead to the rewrite in place, an owner that
// the temporary file cannot take or a rename refused for access do; a
// rewrite in place whose undo fails reports the damage.
TEST_F(Failures, EveryFailingCallLeavesTheFileAsItWas)
{
    const std::string sBefore = "#server_port = 2000\r\n#video_mode = 2\r\n" + ManyLines(20000);
    const int nEditor = (int)(sizeof(aEditorChanges) / sizeof(aEditorChanges[0]));
    Write(sBefore);
    ArmFaults({});
    IniFile_FreeSnapshot(IniFile_ReadSnapshot(file.c_str(), nullptr));
    int anRead[IO_CALLS];
    std::copy(std::begin(g_anCalls), std::end(g_anCalls), anRead);
    ASSERT_TRUE(IniFile_PutStrings(file.c_str(), nullptr, aEditorChanges, nEditor));
    const std::string sAfter = Read();
    ASSERT_NE(sAfter, sBefore);

    // The second open makes the temporary file: refused, it sends the save in place.
    const _FAULT refused = {IO_OPEN, 2, EACCES};
    int anInPlace[IO_CALLS];
    for (bool fInPlace : {false, true}) {
        Write(sBefore);
        ArmFaults(fInPlace ? std::vector<_FAULT>{refused} : std::vector<_FAULT>{});
        ASSERT_TRUE(IniFile_PutStrings(file.c_str(), nullptr, aEditorChanges, nEditor));
        int anClean[IO_CALLS];
        std::copy(std::begin(g_anCalls), std::end(g_anCalls), anClean);
        std::copy(std::begin(g_anCalls), std::end(g_anCalls), anInPlace);
        for (int nCall = 0; nCall < IO_CALLS; nCall++) {
            for (int nAt = 1; nAt <= anClean[nCall]; nAt++) {
                if (fInPlace && nCall == IO_OPEN && nAt == 2)
                    continue;
                Write(sBefore);
                fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
                std::vector<_FAULT> aFaults = {{nCall, nAt, EIO}};
                if (fInPlace)
                    aFaults.push_back(refused);
                ArmFaults(aFaults);
                int nResult = IniFile_PutStringsEx(file.c_str(), nullptr, aEditorChanges, nEditor);
                ArmFaults({});
                bool fOk = nResult == INISAVE_OK;
                // Flushing the folder is the one step after the rename: its
                // failure is reported, but the new content is already there.
                bool fFolder = !fInPlace && (nCall == IO_FSYNC || nCall == IO_OPEN) && nAt == anClean[nCall];
                bool fInRead = nAt <= anRead[nCall];
                const std::string sNow = Read();
                EXPECT_EQ(sNow, fOk || fFolder ? sAfter : sBefore)
                    << "in place " << fInPlace << ", call " << nCall << " #" << nAt;
                EXPECT_TRUE(fOk || nResult == (fInRead ? INISAVE_FAILED : INISAVE_IO))
                    << "result " << nResult << ", in place " << fInPlace << ", call " << nCall << " #" << nAt;
                EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
                EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
            }
        }
    }

    // One case: the faults, the result, whether the file is rewritten in
    // place (it keeps its inode), and the content it ends with.
    struct _CASE {
        std::vector<_FAULT> aFaults;
        int nResult;
        bool fSameInode;
        const std::string *psEnd;
    };
    const int nWrites = anInPlace[IO_WRITE];
    const _CASE aCases[] = {
        {{{IO_WRITE, 1, ENOSPC}}, INISAVE_FULL, true, &sBefore},
        {{{IO_OPEN, 2, EROFS}}, INISAVE_DENIED, true, &sBefore},
        {{{IO_FCHOWN, 1, EIO}}, INISAVE_IO, true, &sBefore},
        {{{IO_FSYNC, 1, EIO}}, INISAVE_IO, true, &sBefore},
        {{{IO_CLOSE, 1, EIO}}, INISAVE_IO, true, &sBefore},
        // The folder's flush, after the rename: the new content is there.
        {{{IO_FSYNC, 2, EIO}}, INISAVE_IO, false, &sAfter},
        // Faults that persist: every read, write or flush fails, at once.
        {{{IO_READ, -1, EIO}}, INISAVE_FAILED, true, &sBefore},
        {{{IO_WRITE, -1, EIO}}, INISAVE_IO, true, &sBefore},
        {{{IO_FSYNC, -1, EIO}}, INISAVE_IO, true, &sBefore},
        {{refused, {IO_FSYNC, -1, EIO}}, INISAVE_DAMAGED, true, nullptr},
        {{{IO_FCHOWN, 1, EPERM}}, INISAVE_OK, true, &sAfter},
        {{{IO_RENAME, 1, EACCES}}, INISAVE_OK, true, &sAfter},
        {{refused, {IO_WRITE, 1, ENOSPC}}, INISAVE_FULL, true, &sBefore},
        // The rewrite in place fails at its flush, then so does its undo.
        {{refused, {IO_FSYNC, 1, EIO}, {IO_WRITE, nWrites + 1, EIO}}, INISAVE_DAMAGED, true, nullptr},
        {{refused, {IO_FSYNC, 1, EIO}, {IO_FSYNC, 2, EIO}}, INISAVE_DAMAGED, true, nullptr},
    };
    for (const _CASE &c : aCases) {
        Write(sBefore);
        const ino_t nInode = InodeOf(file);
        ArmFaults(c.aFaults);
        int nResult = IniFile_PutStringsEx(file.c_str(), nullptr, aEditorChanges, nEditor);
        ArmFaults({});
        const _FAULT &last = c.aFaults.back();
        SCOPED_TRACE("call " + std::to_string(last.nCall) + " #" + std::to_string(last.nAt) +
                     " errno " + std::to_string(last.nErrno));
        EXPECT_EQ(nResult, c.nResult);
        EXPECT_EQ(InodeOf(file) == nInode, c.fSameInode);
        if (c.psEnd) {
            EXPECT_EQ(Read(), *c.psEnd);
        }
        EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
    }
}

// Another program changes the file while a save runs, right before one of the
// store's calls (the flush of the temporary file, the open of the last check
// or of the rewrite in place, the check of the name, the read of the last
// check): the save is applied again to what that program left and its change
// is kept (a line changed, added or deleted, the file cut short, made where
// none was or removed), however it wrote the file (in place with the same size
// and time, or by a rename), on the way to a rename or to a rewrite in place.
// Changed at every try, the save gives up and the file stays as the other
// program left it.
TEST_F(Failures, AnotherProgramsChangeDuringASaveIsKept)
{
    const std::string sFiller = ManyLines(5000), sPort = "#server_port = 2000\r\n";
    const std::string sBefore = sPort + "#video_mode = 2\r\n" + sFiller;
    const int nEditor = (int)(sizeof(aEditorChanges) / sizeof(aEditorChanges[0]));
    // The bytes the editor's batch gives on a file of its two first lines, then
    // sMiddle; with fVideo, video_mode has no line and is appended.
    const std::vector<_INISETTING> aEditor(std::begin(aEditorChanges), std::end(aEditorChanges));
    auto Saved = [&](const std::string &sMiddle, bool fVideo) {
        if (fVideo)
            return WithAppended("#server_port = 0080\n" + sMiddle, aEditor, {"server_port"});
        return WithAppended("#server_port = 0080\n#video_mode = 6\n" + sMiddle, aEditor, {"server_port", "video_mode"});
    };
    // The other program's writes: in place keeping size and time, and by rename.
    std::string sSameFiller = sFiller;
    sSameFiller.replace(sSameFiller.find("value number 7"), 14, "VALUE NUMBER 7");
    const std::string sSame = sPort + "#video_mode = 2\r\n" + sSameFiller;
    auto WriteKeepingTime = [&](const std::string &sContent) {
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        Write(sContent);
        const struct timespec ats[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), ats, 0), 0);
    };
    auto WriteByRename = [&](const std::string &sContent) {
        const std::string sTemp = (dir / "another.tmp").string();
        FILE *pf = fopen(sTemp.c_str(), "wb");
        ASSERT_TRUE(pf && fwrite(sContent.data(), 1, sContent.size(), pf) == sContent.size());
        fclose(pf);
        ASSERT_EQ(rename(sTemp.c_str(), file.c_str()), 0);
    };
    const std::string sAppended = sBefore + "#other_program = 1\r\n", sDeleted = sPort + sFiller;
    const std::string sCutFiller = sFiller.substr(0, sFiller.rfind("#filler_")), sCut = sBefore.substr(0, sBefore.rfind("#filler_"));
    const std::string sSavedSame = Saved(sSameFiller, false), sSavedAppended = Saved(sFiller + "#other_program = 1\r\n", false),
                      sSavedDeleted = Saved(sFiller, true), sSaved = Saved(sFiller, false),
                      sSavedNew = WithAppended("", aEditor, {}), sSavedCut = Saved(sCutFiller, false);
    // The second open makes the temporary file: refused, it sends the save in place.
    const _FAULT refused = {IO_OPEN, 2, EACCES};
    struct _CASE {
        std::vector<_FAULT> aFaults;
        int nCall, nAt;   // the call before which the other program writes
        bool fRename;
        const std::string *psBefore, *psOther, *psExpected;   // no file before, or after the other: null
    };
    // The status calls: the read's, the last check's, its check of the name;
    // the reads: two of the file, then the last check's.
    const _CASE aCases[] = {
        {{}, IO_READ, 3, false, &sBefore, &sCut, &sSavedCut},
        {{}, IO_OPEN, 3, true, &sBefore, nullptr, &sSavedNew},
        {{}, IO_FSYNC, 1, false, &sBefore, &sSame, &sSavedSame},
        {{}, IO_FSYNC, 1, false, &sBefore, &sAppended, &sSavedAppended},
        {{}, IO_OPEN, 3, true, &sBefore, &sAppended, &sSavedAppended},
        {{}, IO_OPEN, 3, true, &sBefore, &sDeleted, &sSavedDeleted},
        {{}, IO_FSTAT, 3, true, &sBefore, &sAppended, &sSavedAppended},
        {{}, IO_OPEN, 3, true, nullptr, &sAppended, &sSavedAppended},
        {{refused}, IO_OPEN, 3, false, &sBefore, &sSame, &sSavedSame},
        {{refused}, IO_OPEN, 3, true, &sBefore, &sAppended, &sSavedAppended},
        {{refused}, IO_FSTAT, 3, true, &sBefore, &sDeleted, &sSavedDeleted},
    };
    for (const _CASE &c : aCases) {
        SCOPED_TRACE("call " + std::to_string(c.nCall) + " #" + std::to_string(c.nAt) + " rename " +
                     std::to_string(c.fRename) + " expected " + c.psExpected->substr(0, 40));
        fs::remove(file);
        if (c.psBefore)
            Write(*c.psBefore);
        ArmFaults(c.aFaults);
        g_fnBeforeCall = [&](int nCall, int nAt) {
            if (nCall == c.nCall && nAt == c.nAt) {
                if (!c.psOther)
                    fs::remove(file);
                else if (c.fRename)
                    WriteByRename(*c.psOther);
                else
                    WriteKeepingTime(*c.psOther);
            }
        };
        int nResult = IniFile_PutStringsEx(file.c_str(), nullptr, aEditorChanges, nEditor);
        g_fnBeforeCall = nullptr;
        ArmFaults({});
        EXPECT_EQ(nResult, INISAVE_OK);
        EXPECT_EQ(Read(), *c.psExpected);
        EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
    }

    // What a rename would lose, changed before the last check, one at a time:
    // a new mode, owner or group stays, a new hard link sends the save in place.
    const std::string sLink = (dir / "link.ini").string();
    const bool fRoot = geteuid() == 0;
    auto StatOf = [&]() {
        struct stat st = {};
        EXPECT_EQ(stat(file.c_str(), &st), 0);
        return st;
    };
    const struct {
        const char *pszWhat;
        bool fNeedsRoot;
        std::function<void()> fnChange;
        std::function<bool()> fnKept;
    } aChanges[] = {
        {"mode", false, [&] { chmod(file.c_str(), 0640); }, [&] { return (StatOf().st_mode & 07777) == 0640; }},
        {"owner", true, [&] { EXPECT_EQ(chown(file.c_str(), 65534, (gid_t)-1), 0); },
         [&] { return StatOf().st_uid == 65534; }},
        {"group", true, [&] { EXPECT_EQ(chown(file.c_str(), (uid_t)-1, 65534), 0); },
         [&] { return StatOf().st_gid == 65534; }},
        {"link", false, [&] { fs::create_hard_link(file, sLink); }, [&] { return ReadFrom(sLink) == sSaved; }},
    };
    for (const auto &change : aChanges) {
        if (change.fNeedsRoot && !fRoot)
            continue;
        Write(sBefore);
        chmod(file.c_str(), 0600);
        ArmFaults({});
        g_fnBeforeCall = [&](int nCall, int nAt) {
            if (nCall == IO_OPEN && nAt == 3)
                change.fnChange();
        };
        EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, aEditorChanges, nEditor), INISAVE_OK) << change.pszWhat;
        g_fnBeforeCall = nullptr;
        EXPECT_EQ(Read(), sSaved) << change.pszWhat;
        EXPECT_TRUE(change.fnKept()) << change.pszWhat;
        fs::remove(sLink);
        fs::remove(file);
    }

    // In place, a file under the name that holds the bytes that were read is
    // rewritten, whatever its inode.
    Write(sBefore);
    ArmFaults({refused});
    g_fnBeforeCall = [&](int nCall, int nAt) {
        if (nCall == IO_OPEN && nAt == 3)
            WriteByRename(sBefore);
    };
    EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, aEditorChanges, nEditor), INISAVE_OK);
    g_fnBeforeCall = nullptr;
    EXPECT_EQ(Read(), sSaved);

    // Changed at every try, before the last check of a rename or the open of
    // a rewrite in place (every third open: read, temporary file, that one):
    // the save gives up.
    for (bool fInPlace : {false, true}) {
        Write(sBefore);
        std::string sLast;
        int nWrites = 0;
        std::vector<_FAULT> aRefused;
        for (int nAt = 2; fInPlace && nAt < 30; nAt += 3)
            aRefused.push_back({IO_OPEN, nAt, EACCES});
        ArmFaults(aRefused);
        g_fnBeforeCall = [&](int nCall, int nAt) {
            if (nCall == IO_OPEN && nAt % 3 == 0) {
                sLast = sBefore + "#other_program = " + std::to_string(++nWrites) + "\r\n";
                WriteByRename(sLast);
            }
        };
        EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, aEditorChanges, nEditor), INISAVE_CHANGED);
        g_fnBeforeCall = nullptr;
        ArmFaults({});
        EXPECT_GT(nWrites, 1);
        EXPECT_EQ(Read(), sLast);
        EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
    }
}

// Another save holds the lock of the file: this one waits for it a moment
// and goes on when it is let go; held on, it gives "locked", the file as it was.
TEST_F(Failures, LockOfAnotherSaveIsWaitedFor)
{
    Write("#key = 1\n");
    const _INISETTING setting = {"key", "2"};
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, &setting, 1), INISAVE_LOCKED);
    EXPECT_EQ(Read(), "#key = 1\n");
    std::thread letGo([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        close(fd);
    });
    EXPECT_EQ(IniFile_PutStringsEx(file.c_str(), nullptr, &setting, 1), INISAVE_OK);
    letGo.join();
    EXPECT_EQ(Read(), "#key = 2\n");
}

// A file that grows between the status and the read of it is read to its
// new end.
TEST_F(Failures, FileThatGrowsWhileReadIsReadWhole)
{
    Write("#key = 1\n");
    ArmFaults({});
    g_fnBeforeCall = [&](int nCall, int nAt) {
        if (nCall == IO_READ && nAt == 1)
            Write("#key = 1\n" + ManyLines(100000) + "#late = 2");
    };
    EXPECT_EQ(IniFile_LoadInt(file.c_str(), nullptr, "late", -1), 2);
    g_fnBeforeCall = nullptr;
}

// Another program removes the file right after a save has put it in place:
// the leftover of an ended process may now be the only copy, and stays.
TEST_F(Failures, LeftoversStayWhileTheFileIsMissing)
{
    pid_t nChild = fork();
    if (nChild == 0)
        _exit(0);
    ASSERT_GT(nChild, 0);
    waitpid(nChild, nullptr, 0);
    const std::string sLeftover = "qw.ini." + std::to_string(nChild) + "-0.tmp";
    fclose(fopen((dir / sLeftover).string().c_str(), "wb"));
    Write("#key = 1\n");
    ArmFaults({});
    // The opens of a save: the read, the temporary file, the last check, the folder.
    g_fnBeforeCall = [&](int nCall, int nAt) {
        if (nCall == IO_OPEN && nAt == 4)
            fs::remove(file);
    };
    EXPECT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    g_fnBeforeCall = nullptr;
    EXPECT_EQ(Listing(), std::vector<std::string>{sLeftover});
}
#endif

} // namespace
