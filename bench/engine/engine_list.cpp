// Listing benchmark of the whole engine chain (plug-in, records, conversions, file tree) against
// `unzip -Z1` on the same large ZIP, measured side by side, alternating, in one run.
//
//   engine_list [--entries N] [--zip PATH] [--runs K]
//
// Without --zip the archive is made once by make-big-zip into the temporary folder and kept
// there for later runs (it is deterministic). Run from the build: build/bin/engine_list.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CArchive_FileTree.h"
#include "CArchive_Unify.h"
#include "Platform.h"

using namespace shelf;
using namespace shelf::NArchive;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Runs a program with stdout to /dev/null; its wall time in seconds, or -1 on failure.
double TimeProgram(const std::vector<std::string>& c_vstrArg) {
    std::vector<char*> vpsz;
    std::vector<std::string> vstr = c_vstrArg;
    for (std::string& s : vstr) vpsz.push_back(s.data());
    vpsz.push_back(nullptr);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
        execvp(vpsz[0], vpsz.data());
        _exit(127);
    }
    int nStatus = 0;
    if (pid < 0 || waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus) ||
        WEXITSTATUS(nStatus) != 0) {
        return -1;
    }
    return SecondsSince(t0);
}

struct ENGINE_RUN {
    double dSeconds = 0;
    size_t nEntries = 0;
    size_t nHeapWhileOpen = 0;  // bytes in use with the archive open and the tree built
    size_t nHeapTree = 0;       // bytes still in use for the tree after the archive closed
};

ENGINE_RUN RunEngine(const std::string& c_strZip, bool c_bTree) {
    ENGINE_RUN st;
    const size_t nHeap0 = mallinfo2().uordblks;
    auto pcTree = std::make_unique<CArchive_FileTree>();
    const auto t0 = Clock::now();
    {
        CArchive_Unify cUnify;
        if (cUnify.ClassInitialize() == 0) return st;
        cUnify.Initialize();
        if (cUnify.Create(nullptr, ToWide(c_strZip)) != CA_OPENED) return st;
        pcTree->Initialize();
        ARCHIVE_FILE stFile;
        for (CA_RESULT e = cUnify.FindFirst(L"*", &stFile); e == CA_OK;
             e = cUnify.FindNext(&stFile)) {
            if (c_bTree) pcTree->AddNode(stFile, CArchive_FileTree::NODE::NS_NORMAL);
            if ((++st.nEntries & 7) == 0) cUnify.FindProgress();
        }
        cUnify.GetArchiveFileSize();
        st.nHeapWhileOpen = mallinfo2().uordblks - nHeap0;
        cUnify.Close();
        cUnify.Uninitialize();
        cUnify.ClassUninitialize();
    }
    st.dSeconds = SecondsSince(t0);
    st.nHeapTree = mallinfo2().uordblks - nHeap0;
    return st;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string ProgramFolder() {
    wchar_t sz[4096];
    return GetModuleFolder(sz, 4096) > 0 ? ToAnsi(sz) : std::string(".");
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 1);
    long nEntries = 200000;
    int nRuns = 5;
    std::string strZip;
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        if (strArg == "--entries" && i + 1 < argc) {
            nEntries = std::strtol(argv[++i], nullptr, 10);
        } else if (strArg == "--zip" && i + 1 < argc) {
            strZip = argv[++i];
        } else if (strArg == "--runs" && i + 1 < argc) {
            nRuns = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: engine_list [--entries N] [--zip PATH] [--runs K]\n");
            return 2;
        }
    }
    if (strZip.empty()) {
        strZip = ToAnsi(GetTempFolder()) + "/kestrel-bench-" + std::to_string(nEntries) + ".zip";
        if (CheckPathType(ToWide(strZip)) != 1) {
            std::fprintf(stderr, "making %s ...\n", strZip.c_str());
            const std::string strPartial = strZip + ".part";
            if (TimeProgram({"python3", KESTREL_BENCH_MAKE_ZIP, strPartial,
                             std::to_string(nEntries)}) < 0 ||
                std::rename(strPartial.c_str(), strZip.c_str()) != 0) {
                std::fprintf(stderr, "cannot make the archive\n");
                return 1;
            }
        }
    }
    const std::string strCli = ProgramFolder() + "/kestrel-cli";

    std::vector<double> vdUnzip, vdEngine, vdRecords, vdCli;
    ENGINE_RUN stLast;
    RunEngine(strZip, true);  // load the libraries and warm the page cache once
    for (int r = 0; r < nRuns; ++r) {
        vdUnzip.push_back(TimeProgram({"unzip", "-Z1", strZip}));
        stLast = RunEngine(strZip, true);
        vdEngine.push_back(stLast.dSeconds);
        vdRecords.push_back(RunEngine(strZip, false).dSeconds);
        vdCli.push_back(TimeProgram({strCli, "list", strZip}));
    }
    if (stLast.nEntries == 0 || Median(vdUnzip) <= 0) {
        std::fprintf(stderr, "the engine or unzip could not list %s\n", strZip.c_str());
        return 1;
    }

    const double dUnzip = Median(vdUnzip);
    const double dEngine = Median(vdEngine);
    std::printf("archive            %s (%zu entries)\n", strZip.c_str(), stLast.nEntries);
    std::printf("unzip -Z1          %.3f s\n", dUnzip);
    std::printf("engine + tree      %.3f s  = %.2f x unzip -Z1\n", dEngine, dEngine / dUnzip);
    std::printf("engine, no tree    %.3f s  = %.2f x unzip -Z1\n", Median(vdRecords),
                Median(vdRecords) / dUnzip);
    if (Median(vdCli) > 0) {
        std::printf("kestrel-cli list   %.3f s  = %.2f x unzip -Z1 (its own process, printing)\n",
                    Median(vdCli), Median(vdCli) / dUnzip);
    }
    std::printf("heap per entry     %.0f bytes with the archive open, %.0f bytes for the tree\n",
                static_cast<double>(stLast.nHeapWhileOpen) / stLast.nEntries,
                static_cast<double>(stLast.nHeapTree) / stLast.nEntries);
    std::printf("medians of %d alternating runs\n", nRuns);
    return 0;
}
