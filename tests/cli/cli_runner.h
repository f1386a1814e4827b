// Runs kestrel-cli from the build and collects its exit status and output.
#pragma once

#include <fcntl.h>
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

inline CLI_RESULT RunCli(const std::vector<std::string>& c_vstrArg) {
    TempDir dir;
    const std::string strOut = dir / "out";
    const std::string strErr = dir / "err";
    std::vector<std::string> vstr = {CliPath()};
    vstr.insert(vstr.end(), c_vstrArg.begin(), c_vstrArg.end());
    std::vector<char*> vpsz;
    for (std::string& s : vstr) vpsz.push_back(s.data());
    vpsz.push_back(nullptr);

    CLI_RESULT st;
    const pid_t pid = fork();
    if (pid == 0) {
        const int nOut = open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nErr = open(strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(nOut, STDOUT_FILENO);
        dup2(nErr, STDERR_FILENO);
        execv(vpsz[0], vpsz.data());
        _exit(127);
    }
    int nWait = 0;
    if (pid > 0 && waitpid(pid, &nWait, 0) == pid && WIFEXITED(nWait)) {
        st.nStatus = WEXITSTATUS(nWait);
    }
    st.strOut = ReadFile(strOut);
    st.strErr = ReadFile(strErr);
    return st;
}

}  // namespace kestrel_test
