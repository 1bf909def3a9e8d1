// Benchmark of the configuration file module on files of 1 KB to 16 MB: a get
// of a missing key and the editor's fourteen lookups through one snapshot
// beside one plain read of the file; a put of a present key and the editor's
// fourteen settings in one batch beside one plain read plus one durable write
// (temporary file, fsync, rename, fsync of the folder). Each iteration runs the
// operation and its baseline one after the other, in alternating order, so
// both see the same cache and disk state.
// Counters: the baseline's time, the ratio operation / baseline, and the time
// per MB of file of both. The files live in a folder in the current directory,
// so run it from a folder on the disk to be measured.
#include "EditorSettings.h"
#include "IniFiles.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const char *const BENCH_DIR = "bench_inifiles.work";


// Writes a configuration file of about cbTotal bytes: settings, comments and
// blank lines, with the key "sound" in the middle; with fEditor, the editor's
// settings come first, as in the game client's own file.
std::string MakeFile(size_t cbTotal, bool fEditor = false)
{
    fs::create_directories(BENCH_DIR);
    std::string sFile = std::string(BENCH_DIR) + "/qw_" + std::to_string(cbTotal) + ".ini";
    std::string s;
    for (int i = 0; fEditor && i < nEditor; i++)
        s += "#" + std::string(aEditor[i].pszKey) + " = " + aEditor[i].pszValue + "\r\n";
    bool fSound = false;
    for (int n = 0; s.size() < cbTotal; n++) {
        if (s.size() >= cbTotal / 2 && !fSound) {
            s += "#sound = 1\r\n";
            fSound = true;
        }
        if (n % 10 == 9)
            s += "; comment line number " + std::to_string(n) + "\r\n\r\n";
        else
            s += "#setting_" + std::to_string(n) + " = value " + std::to_string(n * 7) + "\r\n";
    }
    FILE *pf = fopen(sFile.c_str(), "wb");
    if (!pf || fwrite(s.data(), 1, s.size(), pf) != s.size() || fclose(pf) != 0)
        abort();
    return sFile;
}

// Reads the file whole into a new block (to be freed) and gives its size.
char *ReadBlock(const std::string &sFile, size_t *pcb)
{
    FILE *pf = fopen(sFile.c_str(), "rb");
    struct stat st;
    if (!pf || fstat(fileno(pf), &st) != 0)
        abort();
    char *pb = (char *)malloc((size_t)st.st_size + 1);
    *pcb = fread(pb, 1, (size_t)st.st_size + 1, pf);
    fclose(pf);
    return pb;
}

// Baseline of a get: opens the file, reads it whole into a new block, closes it.
void ReadOnce(const std::string &sFile)
{
    size_t cb;
    char *pb = ReadBlock(sFile, &cb);
    benchmark::DoNotOptimize(cb);
    benchmark::DoNotOptimize(pb);
    free(pb);
}

// Baseline of a put: reads the file whole, writes it to a temporary file
// beside it, flushes that to disk and renames it over the original.
void ReadWriteOnce(const std::string &sFile)
{
    size_t cb;
    char *pb = ReadBlock(sFile, &cb);
    std::string sTemp = sFile + ".baseline";
    int fd = open(sTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || write(fd, pb, cb) != (ssize_t)cb || fsync(fd) != 0 || close(fd) != 0 ||
        rename(sTemp.c_str(), sFile.c_str()) != 0)
        abort();
    int fdFolder = open(BENCH_DIR, O_RDONLY | O_DIRECTORY);
    if (fdFolder < 0 || fsync(fdFolder) != 0 || close(fdFolder) != 0)
        abort();
    free(pb);
}

// Seconds taken by fn().
template <typename F> double Seconds(F fn)
{
    auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs the operation and the baseline in turn and reports the counters.
template <typename FOp, typename FBase> void Measure(benchmark::State &state, size_t cbFile, FOp fnOp, FBase fnBase)
{
    double sOp = 0, sBase = 0;
    bool fOpFirst = true;
    for (auto _ : state) {
        double sThisOp, sThisBase;
        if (fOpFirst) {
            sThisOp = Seconds(fnOp);
            sThisBase = Seconds(fnBase);
        } else {
            sThisBase = Seconds(fnBase);
            sThisOp = Seconds(fnOp);
        }
        fOpFirst = !fOpFirst;
        sOp += sThisOp;
        sBase += sThisBase;
        state.SetIterationTime(sThisOp);
    }
    double nIterations = (double)state.iterations(), fMB = (double)cbFile / (1 << 20);
    state.counters["baseline_ms"] = sBase / nIterations * 1e3;
    state.counters["ratio"] = sOp / sBase;
    state.counters["ms_per_MB"] = sOp / nIterations * 1e3 / fMB;
    state.counters["base_ms_per_MB"] = sBase / nIterations * 1e3 / fMB;
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)cbFile);
}

void BM_GetMissingKey(benchmark::State &state)
{
    size_t cbFile = (size_t)state.range(0);
    std::string sFile = MakeFile(cbFile);
    char szValue[256];
    Measure(
        state, cbFile,
        [&] {
            if (IniFile_GetString(sFile.c_str(), nullptr, "missing_key", szValue, sizeof(szValue)))
                abort();
        },
        [&] { ReadOnce(sFile); });
    fs::remove(sFile);
}

void BM_PutPresentKey(benchmark::State &state)
{
    size_t cbFile = (size_t)state.range(0);
    std::string sFile = MakeFile(cbFile);
    bool fOne = false;
    Measure(
        state, cbFile,
        [&] {
            fOne = !fOne;
            if (!IniFile_PutString(sFile.c_str(), nullptr, "sound", fOne ? "1" : "0"))
                abort();
        },
        [&] { ReadWriteOnce(sFile); });
    fs::remove(sFile);
}

// The editor's load: one snapshot, fourteen lookups. With range(1) 0, the
// file lacks the settings, so that every lookup scans the whole file.
void BM_EditorLookups(benchmark::State &state)
{
    size_t cbFile = (size_t)state.range(0);
    std::string sFile = MakeFile(cbFile, state.range(1) != 0);
    char szValue[260];
    Measure(
        state, cbFile,
        [&] {
            _INISNAPSHOT *pSnapshot = IniFile_ReadSnapshot(sFile.c_str(), nullptr);
            for (int i = 0; i < nEditor; i++)
                IniFile_SnapshotLoadString(pSnapshot, aEditor[i].pszKey, "", szValue, sizeof(szValue));
            IniFile_FreeSnapshot(pSnapshot);
        },
        [&] { ReadOnce(sFile); });
    fs::remove(sFile);
}

// The editor's "Okay": fourteen settings in one batch.
void BM_EditorBatch(benchmark::State &state)
{
    size_t cbFile = (size_t)state.range(0);
    std::string sFile = MakeFile(cbFile, true);
    Measure(
        state, cbFile,
        [&] {
            if (!IniFile_PutStrings(sFile.c_str(), nullptr, aEditor, nEditor))
                abort();
        },
        [&] { ReadWriteOnce(sFile); });
    fs::remove(sFile);
}

BENCHMARK(BM_GetMissingKey)
    ->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PutPresentKey)
    ->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditorLookups)
    ->ArgsProduct({{1 << 10, 64 << 10, 1 << 20, 16 << 20}, {1, 0}})
    ->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditorBatch)
    ->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(BENCH_DIR, ec);
    return 0;
}
