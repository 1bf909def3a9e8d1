// Tests of the configuration file module: reading, writing, key matching, the
// typed accessors and the failures that must leave the file as it was. Every
// test works in its own temporary folder; after a write the exact bytes of the
// file are compared.
#include "IniFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
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
        // A fresh folder per test: tick count and a counter keep names unique.
        static unsigned nCount = 0;
        auto nTicks = std::chrono::steady_clock::now().time_since_epoch().count();
        do {
            dir = fs::temp_directory_path() /
                  ("qw_inifiles_" + std::to_string(nTicks) + "_" + std::to_string(nCount++));
        } while (!fs::create_directory(dir));
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
    std::string Read() const
    {
        FILE *pf = fopen(file.c_str(), "rb");
        if (!pf)
            return "<missing>";
        std::string sBytes;
        char ab[65536];
        size_t cb;
        while ((cb = fread(ab, 1, sizeof(ab), pf)) > 0)
            sBytes.append(ab, cb);
        fclose(pf);
        return sBytes;
    }

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
    EXPECT_EQ(Read(), sBefore);
    EXPECT_EQ(Listing(), std::vector<std::string>{"qw.ini"});
    EXPECT_EQ(Get("key"), "1");
}

TEST_F(Failures, FolderNamedLikeTheFile)
{
    ASSERT_TRUE(fs::create_directory(file));
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

// The replaced file keeps the permissions of the old one.
TEST_F(Failures, ReplacedFileKeepsItsMode)
{
    Write("#key = 1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(IniFile_PutString(file.c_str(), nullptr, "key", "2"));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Read(), "#key = 2\n");
}
#endif

} // namespace
