// What the archiver plug-ins promise any caller of their C interface beyond what kestrel-cli
// shows: command lines of other forms are refused before anything is written; and the local DOS
// times of listings follow the zone through its daylight-saving changes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "DosTime.h"
#include "common_archiver_api.h"
#include "support/Support.h"

using namespace kestrel::test;

namespace {

template <class FN>
FN Export(const char* c_pszLibrary, const std::string& c_strName) {
    void* pv = dlopen(BinPath(c_pszLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    return pv != nullptr ? reinterpret_cast<FN>(dlsym(pv, c_strName.c_str())) : nullptr;
}

std::string Quote(const std::string& c_str) {
    return "\"" + c_str + "\"";
}

}  // namespace

TEST(Plugins, ForeignCommandLinesAreRefusedBeforeAnythingIsWritten) {
    Scratch scratch;
    const std::string r = Quote(scratch / "resp.tmp"), d = Quote(scratch / "never");
    WriteFile(scratch / "resp.tmp", "\"stored.txt\"\r\n");
    WriteFile(scratch / "junk.tmp", "\"stored.txt\" -x\r\n\"unterminated\r\n");
    const std::string lzh = Quote(DataPath("lzh_cp932.lzh")), zip = Quote(DataPath("zip_utf8.zip"));
    const std::string sz = Quote(DataPath("7z_basic.7z"));
    const struct {
        const char* pszLibrary;
        const char* pszPrefix;
        std::vector<std::string> vstrBad;
    } c_aCase[] = {
        {"Unlha32.so",
         "Unlha",
         {"", "x " + lzh + " " + d + " @" + r, "e -a2 " + lzh + " " + d + " @" + r,
          "e -c1 -m1 -a2 -r " + lzh + " " + d + " @" + r,
          "e -c1 -x1 -a2 " + lzh + " " + d + " @" + r, "e -c1 -m1 -a2 " + lzh + " " + d + " " + r,
          "e -c1 -m1 -a2 " + lzh + " " + d + " x @" + r,
          "e -c1 -m1 -a2 \"" + DataPath("lzh_cp932.lzh") + " " + d + " @" + r,
          "d -c1 -m1 -a2 " + lzh + " " + d + " @" + r, "e -c1 -m1 -a2 " + zip + " " + d + " @" + r,
          "e -c1 -m1 -a2 " + lzh + " " + d + " @" + Quote(scratch / "junk.tmp")}},
        {"UnZip32.so",
         "UnZip",
         {"-x " + zip + " " + d, "-d " + zip + " " + d + " \"@" + (scratch / "resp.tmp") + "\"",
          "-x -o -j " + zip + " " + d + " \"@" + (scratch / "resp.tmp") + "\"",
          "-x -P secret " + zip + " " + d + " \"@" + (scratch / "resp.tmp") + "\"",
          "-x " + lzh + " " + d + " \"@" + (scratch / "resp.tmp") + "\"",
          "-x " + zip + " " + d + " \"@" + (scratch / "missing.tmp") + "\""}},
        {"7-Zip32.so",
         "SevenZip",
         {"a \"-o" + (scratch / "never") + "\" " + sz + " \"@" + (scratch / "resp.tmp") + "\"",
          "x -aou \"-o" + (scratch / "never") + "\" " + sz + " \"@" + (scratch / "resp.tmp") + "\"",
          "x \"-o" + (scratch / "never") + "\" " + sz + " \"@" + (scratch / "resp.tmp") + "\" -r",
          "x -psecret \"-o" + (scratch / "never") + "\" " + sz + " \"@" + (scratch / "resp.tmp") +
              "\""}},
    };
    for (const auto& c_case : c_aCase) {
        const auto pfnCommand = Export<PFN_ARCHIVER_COMMAND>(c_case.pszLibrary, c_case.pszPrefix);
        ASSERT_NE(pfnCommand, nullptr) << c_case.pszLibrary;
        for (const std::string& c_strLine : c_case.vstrBad) {
            char szOut[512] = {};
            EXPECT_NE(pfnCommand(nullptr, c_strLine.c_str(), szOut, sizeof szOut), 0) << c_strLine;
            EXPECT_NE(szOut[0], '\0') << c_strLine;
            EXPECT_FALSE(fs::exists(scratch / "never")) << c_strLine;
        }
        EXPECT_NE(pfnCommand(nullptr, nullptr, nullptr, 0), 0);
    }
}

TEST(Plugins, ListedTimesFollowTheZoneThroughDaylightSaving) {
    for (const char* c_pszZone :
         {"Australia/Lord_Howe", "America/Sao_Paulo", "Europe/Berlin", "UTC"}) {
        EnvScope zone("TZ", c_pszZone);
        kestrel::archiver::ForgetLocalZone();  // as opening an archive does
        int nMismatch = 0;
        // 1975 to 2110 at every time of day, and minute by minute round the Berlin changes of 2024.
        // The same instant first and last: a zone's offsets must not outlive the zone.
        std::vector<int64_t> vt = {1719835200};
        for (int64_t t = 157766400; t < 4417977600LL; t += 86400 * 3 + 3607) vt.push_back(t);
        for (int64_t t0 : {1711846800LL - 7200, 1729990800LL - 7200})
            for (int64_t d = 0; d < 4 * 3600; d += 60) vt.push_back(t0 + d);
        vt.push_back(1719835200);
        for (int64_t t : vt) {
            uint16_t nDate = 0, nTime = 0;
            kestrel::archiver::UnixToLocalDos(t, &nDate, &nTime);
            struct tm tm {};
            const time_t tt = static_cast<time_t>(t);
            localtime_r(&tt, &tm);
            const int nYear = std::clamp(tm.tm_year, 80, 207);
            uint16_t nRefDate =
                static_cast<uint16_t>(((nYear - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
            uint16_t nRefTime =
                static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
            if (tm.tm_year < 80) nRefDate = (1 << 5) | 1, nRefTime = 0;
            if (tm.tm_year > 207)
                nRefDate = (127 << 9) | (12 << 5) | 31, nRefTime = (23 << 11) | (59 << 5) | 29;
            if ((nDate != nRefDate || nTime != nRefTime) && ++nMismatch < 5)
                ADD_FAILURE() << c_pszZone << " t=" << t;
        }
    }
}
