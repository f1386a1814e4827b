// Runs one command and writes its wall time, peak resident memory and exit status to a file:
//   bench_measure REPORT COMMAND [ARG...]
// REPORT gets "seconds<TAB>peak KiB<TAB>status". A small process of its own starts the command,
// so the peak is the command's alone, not that of the (large) script that measures.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s REPORT COMMAND [ARG...]\n", argv[0]);
        return 2;
    }
    const auto tStart = std::chrono::steady_clock::now();
    const pid_t nPid = fork();
    if (nPid < 0) return 2;
    if (nPid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int nStatus = 0;
    struct rusage stUsage {};
    if (wait4(nPid, &nStatus, 0, &stUsage) != nPid) return 2;
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    std::FILE* pReport = std::fopen(argv[1], "w");
    if (pReport == nullptr) return 2;
    std::fprintf(pReport, "%.6f\t%ld\t%d\n", dSeconds, stUsage.ru_maxrss, nExit);
    return std::fclose(pReport) == 0 ? 0 : 2;
}
