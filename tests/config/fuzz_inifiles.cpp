// libFuzzer target of the configuration file module. An input is
// "key NUL value NUL content": the content becomes the file (no second NUL:
// there is no file), then IniFile_GetString and IniFile_PutString run on it and
// their results are compared with a plain line-by-line model of the format.
// A key field with 0x01 bytes in it is a batch instead: its keys, with the
// values of the value field split at 0x01 in turn, go to IniFile_PutStrings,
// whose file must equal the model's single puts made one after another.
// Any difference abort()s.
#include "IniFiles.h"

#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::string g_sDir, g_sFile;

// Stops the run with a message when a check fails.
void Check(bool fOk, const char *pszWhat)
{
    if (!fOk) {
        fprintf(stderr, "fuzz_inifiles: %s\n", pszWhat);
        abort();
    }
}

// Removes the work folder at the end of the run.
void RemoveWorkFolder()
{
    unlink(g_sFile.c_str());
    rmdir(g_sDir.c_str());
}

// Creates the work folder once, on a memory file system when there is one.
void MakeWorkFolder()
{
    if (!g_sDir.empty())
        return;
    const char *pszBase = getenv("TMPDIR");
    if (!pszBase)
        pszBase = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string sTemplate = std::string(pszBase) + "/fuzz_inifiles.XXXXXX";
    Check(mkdtemp(&sTemplate[0]) != nullptr, "cannot create the work folder");
    g_sDir = sTemplate;
    g_sFile = g_sDir + "/qw.ini";
    atexit(RemoveWorkFolder);
}

// The whole file, or "<missing>".
std::string ReadFile()
{
    FILE *pf = fopen(g_sFile.c_str(), "rb");
    if (!pf)
        return "<missing>";
    std::string s;
    char ab[4096];
    size_t cb;
    while ((cb = fread(ab, 1, sizeof(ab), pf)) > 0)
        s.append(ab, cb);
    fclose(pf);
    return s;
}

// Number of entries in the work folder besides "." and "..".
int CountFolderEntries()
{
    DIR *pdir = opendir(g_sDir.c_str());
    Check(pdir != nullptr, "cannot list the work folder");
    int n = 0;
    while (const dirent *pde = readdir(pdir))
        n += strcmp(pde->d_name, ".") != 0 && strcmp(pde->d_name, "..") != 0;
    closedir(pdir);
    return n;
}

// --- The model: the file format written down as plainly as possible. -------

bool IsKeyUsable(const std::string &sKey)
{
    if (sKey.empty() || sKey.size() > 253)
        return false;
    for (unsigned char b : sKey)
        if (b <= ' ' || b == '=')
            return false;
    return true;
}

bool EqualIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
        if (x >= 'A' && x <= 'Z')
            x = (unsigned char)(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = (unsigned char)(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

struct Line {
    std::string sText;  // without its line feed
    bool fLineFeed;     // ended by a line feed
};

// Splits the content (after a byte-order mark) into lines.
std::vector<Line> SplitLines(const std::string &sContent, size_t iStart)
{
    std::vector<Line> aLines;
    size_t i = iStart;
    for (;;) {
        size_t iEnd = sContent.find('\n', i);
        if (iEnd == std::string::npos) {
            aLines.push_back({sContent.substr(i), false});
            return aLines;
        }
        aLines.push_back({sContent.substr(i, iEnd - i), true});
        i = iEnd + 1;
    }
}

size_t BomSize(const std::string &s)
{
    return s.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

// For a setting line of the key: the index of the "#", and the index where
// the key word ends. False for every other line.
bool IsLineOfKey(const std::string &sLine, const std::string &sKey, size_t *piHash, size_t *piWordEnd)
{
    size_t i = 0;
    while (i < sLine.size() && (unsigned char)sLine[i] <= ' ')
        i++;
    if (i == sLine.size() || sLine[i] != '#')
        return false;
    size_t j = i + 1;
    while (j < sLine.size() && sLine[j] != ' ' && sLine[j] != '=')
        j++;
    *piHash = i;
    *piWordEnd = j;
    return EqualIgnoringAsciiCase(sLine.substr(i + 1, j - i - 1), sKey);
}

// The value as it is stored: up to its first control byte.
std::string StoredValue(const std::string &sValue)
{
    size_t n = 0;
    while (n < sValue.size() && (unsigned char)sValue[n] >= 0x20)
        n++;
    return sValue.substr(0, n);
}

// The value as the reader gives it back from the text behind the "=".
std::string ReadBack(std::string s, size_t cchMax)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        i++;
    s = StoredValue(s.substr(i)).substr(0, cchMax);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool ModelGet(const std::string &sContent, const std::string &sKey, size_t cchMax, std::string *psValue)
{
    if (!IsKeyUsable(sKey))
        return false;
    for (const Line &line : SplitLines(sContent, BomSize(sContent))) {
        size_t iHash, iWordEnd;
        if (!IsLineOfKey(line.sText, sKey, &iHash, &iWordEnd))
            continue;
        size_t iEquals = line.sText.find('=', iWordEnd);
        if (iEquals == std::string::npos)
            continue;
        *psValue = ReadBack(line.sText.substr(iEquals + 1), cchMax);
        return true;
    }
    return false;
}

std::string ModelPut(const std::string &sContent, const std::string &sKey, const std::string &sValue)
{
    const std::string sSetting = "#" + sKey + " = " + StoredValue(sValue);
    size_t cbBom = BomSize(sContent);
    std::string sOut = sContent.substr(0, cbBom);
    bool fReplaced = false;
    for (const Line &line : SplitLines(sContent, cbBom)) {
        size_t iHash, iWordEnd;
        if (IsLineOfKey(line.sText, sKey, &iHash, &iWordEnd) && iWordEnd < line.sText.size()) {
            sOut += line.sText.substr(0, iHash) + sSetting;
            fReplaced = true;
        } else {
            sOut += line.sText;
        }
        if (line.fLineFeed)
            sOut += '\n';
    }
    if (!fReplaced) {
        if (!sContent.empty() && sContent.back() != '\n')
            sOut += "\r\n";
        sOut += sSetting;
    }
    return sOut;
}

// Runs IniFile_GetString with a buffer of exactly nSize bytes (so that the
// address sanitizer sees any overrun) and compares it with the model.
void CheckGet(const std::string &sContent, bool fFileExists, const std::string &sKey, int nSize)
{
    std::vector<char> ach((size_t)nSize, '\x7f');
    std::string sExpected;
    bool fExpected = fFileExists && ModelGet(sContent, sKey, (size_t)nSize - 1, &sExpected);
    bool fFound = IniFile_GetString(g_sFile.c_str(), nullptr, sKey.c_str(), ach.data(), nSize);
    Check(fFound == fExpected, "get: found differs from the model");
    if (fFound)
        Check(memchr(ach.data(), 0, ach.size()) && sExpected == ach.data(), "get: value differs from the model");
    else
        Check(ach[0] == '\x7f', "get: result touched although nothing was found");
}

// Splits a field at the bytes 0x01.
std::vector<std::string> SplitField(const std::string &s)
{
    std::vector<std::string> as;
    size_t i = 0, iEnd;
    while ((iEnd = s.find('\x01', i)) != std::string::npos) {
        as.push_back(s.substr(i, iEnd - i));
        i = iEnd + 1;
    }
    as.push_back(s.substr(i));
    return as;
}

// A batch on the file: the keys of the key field with the values of the
// value field in turn. Checks the file against single model puts, and the
// lookups of one snapshot against the model's gets.
void CheckBatch(const std::string &sContent, bool fFileExists, const std::string &sKeys,
                const std::string &sValues)
{
    std::vector<std::string> asKeys = SplitField(sKeys), asValues = SplitField(sValues);
    std::vector<_INISETTING> aSettings;
    std::string sExpected = sContent;
    bool fUsable = true;
    for (size_t i = 0; i < asKeys.size(); i++) {
        const std::string &sValue = asValues[i % asValues.size()];
        aSettings.push_back({asKeys[i].c_str(), sValue.c_str()});
        fUsable = fUsable && IsKeyUsable(asKeys[i]);
        if (fUsable)
            sExpected = ModelPut(sExpected, asKeys[i], sValue);
    }

    _INISNAPSHOT *pSnapshot = IniFile_ReadSnapshot(g_sFile.c_str(), nullptr);
    Check(pSnapshot != nullptr, "snapshot: a readable file gave none");
    for (const std::string &sKey : asKeys) {
        std::string sModel;
        bool fModel = fFileExists && ModelGet(sContent, sKey, 63, &sModel);
        char szValue[64];
        bool fFound = IniFile_SnapshotGetString(pSnapshot, sKey.c_str(), szValue, sizeof(szValue));
        Check(fFound == fModel && (!fFound || sModel == szValue), "snapshot: lookup differs from the model");
    }
    IniFile_FreeSnapshot(pSnapshot);

    const std::string sBefore = fFileExists ? sContent : "<missing>";
    bool fPut = IniFile_PutStrings(g_sFile.c_str(), nullptr, aSettings.data(), (int)aSettings.size());
    Check(fPut == fUsable, "batch: result differs from the keys' usability");
    Check(CountFolderEntries() == (fFileExists || fPut ? 1 : 0), "batch: a temporary file was left behind");
    Check(ReadFile() == (fPut ? sExpected : sBefore), "batch: file differs from the single puts");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    MakeWorkFolder();
    const std::string sInput((const char *)pbData, cbData);
    size_t iNul1 = sInput.find('\0');
    size_t iNul2 = iNul1 == std::string::npos ? std::string::npos : sInput.find('\0', iNul1 + 1);
    const std::string sKey = sInput.substr(0, iNul1);
    const std::string sValue = iNul1 == std::string::npos ? "" : sInput.substr(iNul1 + 1, iNul2 - iNul1 - 1);
    const bool fFileExists = iNul2 != std::string::npos;
    const std::string sContent = fFileExists ? sInput.substr(iNul2 + 1) : "";

    unlink(g_sFile.c_str());
    if (fFileExists) {
        FILE *pf = fopen(g_sFile.c_str(), "wb");
        Check(pf && fwrite(sContent.data(), 1, sContent.size(), pf) == sContent.size() && fclose(pf) == 0,
              "cannot write the file");
    }

    if (sKey.find('\x01') != std::string::npos) {
        CheckBatch(sContent, fFileExists, sKey, sValue);
        return 0;
    }

    CheckGet(sContent, fFileExists, sKey, 1 + (int)(sValue.size() % 16));
    CheckGet(sContent, fFileExists, sKey, 1 + (int)sContent.size());

    // The typed loaders only have to survive: their conversions are the C runtime's.
    char szSmall[4];
    IniFile_LoadString(g_sFile.c_str(), nullptr, sKey.c_str(), sValue.c_str(), szSmall, sizeof(szSmall));
    Check(memchr(szSmall, 0, sizeof(szSmall)) != nullptr, "load: result not terminated");
    IniFile_LoadInt(g_sFile.c_str(), nullptr, sKey.c_str(), 0);
    IniFile_LoadFloat(g_sFile.c_str(), nullptr, sKey.c_str(), 0.0f);

    const std::string sBefore = fFileExists ? sContent : "<missing>";
    bool fPut = IniFile_PutString(g_sFile.c_str(), nullptr, sKey.c_str(), sValue.c_str());
    Check(fPut == IsKeyUsable(sKey), "put: result differs from the key's usability");
    Check(CountFolderEntries() == (fFileExists || fPut ? 1 : 0), "put: a temporary file was left behind");
    if (!fPut) {
        Check(ReadFile() == sBefore, "put: a refused write changed the file");
        return 0;
    }
    const std::string sAfter = ReadFile();
    Check(sAfter == ModelPut(sContent, sKey, sValue), "put: file differs from the model");

    // Reading the key back gives what was written, as the reader sees it.
    std::vector<char> ach(sAfter.size() + 1);
    Check(IniFile_GetString(g_sFile.c_str(), nullptr, sKey.c_str(), ach.data(), (int)ach.size()),
          "get after put: key not found");
    Check(ReadBack(StoredValue(sValue), ach.size() - 1) == ach.data(), "get after put: value differs");
    return 0;
}
