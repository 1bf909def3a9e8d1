// A fresh, empty folder of its own for each test of the configuration file
// module, under the system's temporary folder, and the files in it read whole.
#ifndef QW_TESTFOLDER_H
#define QW_TESTFOLDER_H

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

// Makes a new folder named "<prefix><ticks>_<n>": the tick count and a
// counter keep the names apart between runs and tests.
inline std::filesystem::path MakeTestFolder(const std::string &sPrefix)
{
    static unsigned nCount = 0;
    auto nTicks = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path dir;
    do {
        dir = std::filesystem::temp_directory_path() /
              (sPrefix + std::to_string(nTicks) + "_" + std::to_string(nCount++));
    } while (!std::filesystem::create_directory(dir));
    return dir;
}

// Opens a file with fopen's mode, whatever the characters of its path.
inline FILE *OpenPath(const std::filesystem::path &path, const char *pszMode)
{
#ifdef _WIN32
    wchar_t wszMode[8] = L"";
    for (size_t i = 0; i + 1 < sizeof(wszMode) / sizeof(wszMode[0]) && pszMode[i]; i++)
        wszMode[i] = (wchar_t)pszMode[i];
    return _wfopen(path.c_str(), wszMode);
#else
    return fopen(path.c_str(), pszMode);
#endif
}

// The whole of a file, or "<missing>" when it cannot be opened.
inline std::string ReadWholeFile(const std::filesystem::path &path)
{
    FILE *pf = OpenPath(path, "rb");
    if (!pf)
        return "<missing>";
    std::string sBytes;
    char ab[4096];
    size_t cb;
    while ((cb = fread(ab, 1, sizeof(ab), pf)) > 0)
        sBytes.append(ab, cb);
    fclose(pf);
    return sBytes;
}

#endif
