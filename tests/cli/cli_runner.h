// Runs kestrel-cli from the build and collects its exit status and output.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace kestrel_test {

struct CLI_RESULT {
    int nStatus = -1;
    std::string strOut;
    std::string strErr;
};

inline std::string CliPath() {
    const char* psz = std::getenv("KESTREL_BIN");
    return std::string(psz != nullptr ? psz : ".") + "/kestrel-cli";
}

// With c_bTerminal, stderr is a pseudo-terminal whose output is collected as strErr.
inline CLI_RESULT RunCli(const std::vector<std::string>& c_vstrArg, bool c_bTerminal = false) {
    TempDir dir;
    const std::string strOut = dir / "out";
    const std::string strErr = dir / "err";
    std::vector<std::string> vstr = {CliPath()};
    vstr.insert(vstr.end(), c_vstrArg.begin(), c_vstrArg.end());
    std::vector<char*> vpsz;
    for (std::string& s : vstr) vpsz.push_back(s.data());
    vpsz.push_back(nullptr);

    int nMaster = -1;
    int nSlave = -1;
    if (c_bTerminal && openpty(&nMaster, &nSlave, nullptr, nullptr, nullptr) != 0) return {};

    CLI_RESULT st;
    const pid_t pid = fork();
    if (pid == 0) {
        const int nOut = open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nErr =
            c_bTerminal ? nSlave : open(strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(nOut, STDOUT_FILENO);
        dup2(nErr, STDERR_FILENO);
        execv(vpsz[0], vpsz.data());
        _exit(127);
    }
    if (c_bTerminal) {
        close(nSlave);
        char sz[4096];
        for (ssize_t n; (n = read(nMaster, sz, sizeof sz)) > 0;) st.strErr.append(sz, n);
        close(nMaster);
    }
    int nWait = 0;
    if (pid > 0 && waitpid(pid, &nWait, 0) == pid && WIFEXITED(nWait)) {
        st.nStatus = WEXITSTATUS(nWait);
    }
    st.strOut = ReadFile(strOut);
    if (!c_bTerminal) st.strErr = ReadFile(strErr);
    return st;
}

}  // namespace kestrel_test
