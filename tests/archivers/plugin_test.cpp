// What the archiver plug-ins promise any caller of their C interface beyond what kestrel-cli
// shows: the engine's command lines read back whatever the paths hold, and those of other forms
// are refused before anything is written; CommandEx tells progress, stops when told to, and asks
// for passwords; and the local DOS times of listings follow the zone through daylight saving.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "CArchive_Drivers.h"
#include "CommandLine.h"
#include "DosTime.h"
#include "common_archiver_api.h"
#include "support/Support.h"

using namespace kestrel::test;
using kestrel::archiver::Format;

namespace {

template <class FN>
FN Export(const char* c_pszLibrary, const std::string& c_strName) {
    void* pv = dlopen(BinPath(c_pszLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    return pv != nullptr ? reinterpret_cast<FN>(dlsym(pv, c_strName.c_str())) : nullptr;
}

std::string Quote(const std::string& c_str) {
    return "\"" + c_str + "\"";
}

// One CommandEx run, with everything it told and asked.
struct Recorder {
    std::vector<KESTREL_PROGRESS> vProgress;
    std::vector<std::string> vNames;     // of each progress report
    std::vector<std::string> vProblems;  // "REASON NAME"
    std::vector<std::string> vAnswers;   // passwords given, in turn; then none
    std::vector<uint32_t> vAttempts;
    // Cancels at the second report of this entry (inside its data) once the first entry is done
    // (on worker threads it may still be under way).
    std::string strCancelIn;
    int nSeen = 0;

    int Run(const char* c_pszLibrary, const char* c_pszPrefix, const std::string& c_strLine) {
        const auto pfn =
            Export<PFN_ARCHIVER_COMMAND_EX>(c_pszLibrary, std::string(c_pszPrefix) + "CommandEx");
        EXPECT_NE(pfn, nullptr);
        KESTREL_COMMAND_CALLBACKS st{sizeof st, this, &OnProgress, &OnProblem, &OnPassword};
        char szOut[1024] = {};
        return pfn ? pfn(nullptr, c_strLine.c_str(), szOut, sizeof szOut, &st) : -1;
    }
    static int OnProgress(void* pv, const KESTREL_PROGRESS* p) {
        auto* r = static_cast<Recorder*>(pv);
        r->vProgress.push_back(*p);
        r->vNames.emplace_back(p->pszName);
        return r->vNames.back() == r->strCancelIn && p->nEntriesDone >= 1 && ++r->nSeen == 2;
    }
    static void OnProblem(void* pv, uint32_t nReason, int, const char* psz) {
        static_cast<Recorder*>(pv)->vProblems.push_back(std::to_string(nReason) + " " + psz);
    }
    static int OnPassword(void* pv, uint32_t nAttempt, char* pszBuffer, uint32_t nSize) {
        auto* r = static_cast<Recorder*>(pv);
        r->vAttempts.push_back(nAttempt);
        if (r->vAnswers.empty()) return 0;
        std::snprintf(pszBuffer, nSize, "%s", r->vAnswers.front().c_str());
        r->vAnswers.erase(r->vAnswers.begin());
        return 1;
    }
};

// The extraction command line of a format, over a response file naming the entries.
std::string ExtractLine(const Scratch& c_scratch, const char* c_pszPrefix,
                        const std::string& c_strArchive, const std::string& c_strDest,
                        const std::vector<std::string>& c_vstrNames) {
    std::string strResponse;
    for (const std::string& c_str : c_vstrNames) strResponse += Quote(c_str) + "\r\n";
    WriteFile(c_scratch / "names", strResponse);
    const std::string r = c_scratch / "names";
    if (c_pszPrefix == std::string("Unlha"))
        return "e -x1 -c1 -m1 -a2 " + Quote(c_strArchive) + " " + Quote(c_strDest) + " @" +
               Quote(r);
    if (c_pszPrefix == std::string("UnZip"))
        return "-x -o " + Quote(c_strArchive) + " " + Quote(c_strDest) + " " + Quote("@" + r);
    return "x -aoa -y " + Quote("-o" + c_strDest) + " " + Quote(c_strArchive) + " " +
           Quote("@" + r);
}

}  // namespace

// The engine writes each format's command line, the plug-in reads it: a " anywhere in a path
// arrives as it was, and a line with no " in its paths is written as it always was.
TEST(Plugins, CommandLinesCarryAnyPath) {
    using namespace shelf::NArchive;
    shelf::CArchive_7Zip_7Zip32 c7;
    shelf::CArchive_Lha_Unlha32 cLha;
    shelf::CArchive_Zip_UnZip32 cZip;
    const struct {
        shelf::CArchive_CommonArchiver* pcDriver;
        Format eFormat;
        const char* pszAsBefore;
    } c_aCase[] = {{&c7, Format::SevenZip, "x -aoa -y \"-o/d\" \"/a\" \"@/r\""},
                   {&cLha, Format::Lha, "e -x1 -c1 -m1 -a2 \"/a\" \"/d\" @\"/r\""},
                   {&cZip, Format::Zip, "-x -o \"/a\" \"/d\" \"@/r\""}};
    for (const auto& c_case : c_aCase) {
        std::string strLine;
        c_case.pcDriver->MakeCommandLine(&strLine, "/a", "/d", "/r", EXT_MODE(0x92));
        EXPECT_EQ(strLine, c_case.pszAsBefore);
        for (const EXT_MODE c_eMode : {EXT_MODE(0x92), EXT_MODE(0x60), EXT_TEST}) {
            for (const std::string c_str : {"/a", "/x \"y\"/\"\"z\" ", "\""}) {
                c_case.pcDriver->MakeCommandLine(&strLine, c_str + "A", c_str + "D", c_str + "R",
                                                 c_eMode);
                kestrel::archiver::ExtractCommand st;
                std::string strError;
                ASSERT_TRUE(ParseCommandLine(c_case.eFormat, strLine, &st, &strError)) << strLine;
                EXPECT_EQ(st.strArchive, c_str + "A") << strLine;
                EXPECT_EQ(st.strResponse, c_str + "R") << strLine;
                EXPECT_EQ(st.bTest, c_eMode == EXT_TEST) << strLine;
                if (c_eMode == EXT_TEST) continue;
                EXPECT_EQ(st.strDestination, c_str + "D") << strLine;
                EXPECT_EQ(st.bWithPaths, c_eMode == EXT_MODE(0x92)) << strLine;
                EXPECT_EQ(st.bOverwrite, c_eMode == EXT_MODE(0x92)) << strLine;
            }
        }
    }
}

// Progress rises to the totals; a cancel inside a large entry (also while other threads write)
// leaves what was finished and nothing of that entry or its folder.
TEST(Plugins, CommandExTellsProgressAndStopsWhenTold) {
    Scratch scratch;
    const struct {
        const char* pszLibrary;
        const char* pszPrefix;
        const char* pszFixture;
        std::vector<std::string> vstrNames;
        int64_t llBytes;
        const char* pszLarge;  // null: no cancel
    } c_aCase[] = {
        {"UnZip32.so",
         "UnZip",
         "zip_large.zip",
         {"a.txt", "sub/big.bin", "c.txt"},
         11 + (8 << 20),
         "sub/big.bin"},
        {"7-Zip32.so",
         "SevenZip",
         "7z_large.7z",
         {"a.txt", "c.txt", "sub\\big.bin"},
         11 + (64 << 20),
         "sub\\big.bin"},
        {"Unlha32.so",
         "Unlha",
         "lzh_cp932.lzh",
         {"compressed.txt", "stored.txt", "no.txt"},
         4691,
         nullptr},
    };
    for (const auto& c_case : c_aCase) {
        SCOPED_TRACE(c_case.pszFixture);
        auto fnLine = [&](const fs::path& c_dest) {
            return ExtractLine(scratch, c_case.pszPrefix, DataPath(c_case.pszFixture), c_dest,
                               c_case.vstrNames);
        };
        Recorder r;
        EXPECT_EQ(r.Run(c_case.pszLibrary, c_case.pszPrefix, fnLine(scratch / c_case.pszFixture)),
                  c_case.pszLarge ? 0 : 5);
        ASSERT_FALSE(r.vProgress.empty());
        for (size_t i = 1; i < r.vProgress.size(); ++i) {
            EXPECT_GE(r.vProgress[i].nEntriesDone, r.vProgress[i - 1].nEntriesDone);
            EXPECT_GE(r.vProgress[i].llBytesDone, r.vProgress[i - 1].llBytesDone);
            EXPECT_EQ(r.vProgress[i].llBytesTotal, c_case.llBytes);
        }
        EXPECT_EQ(r.vProgress.back().nEntriesDone, 3u);
        EXPECT_EQ(r.vProgress.back().nEntriesTotal, 3u);
        EXPECT_EQ(r.vProgress.back().llBytesDone, c_case.llBytes);
        if (!c_case.pszLarge) {
            EXPECT_EQ(r.vProblems, std::vector<std::string>{"7 no.txt"});
            continue;
        }
        // Told inside the large entry, not only at its ends.
        EXPECT_GT(std::count(r.vNames.begin(), r.vNames.end(), c_case.pszLarge), 16);
        Recorder cancel;
        cancel.strCancelIn = c_case.pszLarge;
        const fs::path stopped = scratch / ("stopped-" + std::string(c_case.pszFixture));
        EXPECT_EQ(cancel.Run(c_case.pszLibrary, c_case.pszPrefix, fnLine(stopped)),
                  KESTREL_RESULT_CANCELLED);
        // Each entry cut short is told; on worker threads another one may be under way too.
        EXPECT_EQ(std::count(cancel.vProblems.begin(), cancel.vProblems.end(),
                             "12 " + cancel.strCancelIn),
                  1);
        for (const std::string& c_str : cancel.vProblems) EXPECT_TRUE(c_str.starts_with("12 "));
        const std::vector<std::string> v = ListTree(stopped);
        EXPECT_TRUE(v == std::vector<std::string>({"a.txt", "c.txt"}) ||
                    v == std::vector<std::string>{"a.txt"})
            << ::testing::PrintToString(v);
    }
}

// Encrypted ZIP entries: marked in the listing; a wrong password asked again; declined, only
// they are skipped.
TEST(Plugins, PasswordsAreAskedForUntilRightOrDeclined) {
    Scratch scratch;
    const std::string strArchive = DataPath("zip_encrypted.zip");
    const auto pfnOpen = Export<PFN_ARCHIVER_OPEN_ARCHIVE>("UnZip32.so", "UnZipOpenArchive");
    const auto pfnFirst = Export<PFN_ARCHIVER_FIND_FIRST>("UnZip32.so", "UnZipFindFirst");
    const auto pfnNext = Export<PFN_ARCHIVER_FIND_NEXT>("UnZip32.so", "UnZipFindNext");
    const auto pfnClose = Export<PFN_ARCHIVER_CLOSE_ARCHIVE>("UnZip32.so", "UnZipCloseArchive");
    void* h = pfnOpen(nullptr, strArchive.c_str(), KESTREL_OPEN_MODE);
    std::map<std::string, uint32_t> mFlag;
    uint8_t a[KESTREL_INDIVIDUALINFO_SIZE];
    for (int n = pfnFirst(h, "*", a); n == 0; n = pfnNext(h, a)) {
        uint32_t nFlag;
        std::memcpy(&nFlag, a + KESTREL_INFO_FLAG, 4);
        mFlag[reinterpret_cast<const char*>(a + KESTREL_INFO_FILENAME)] = nFlag;
    }
    pfnClose(h);
    EXPECT_EQ(mFlag, (std::map<std::string, uint32_t>{{"plain.txt", 0},
                                                      {"secret.txt", KESTREL_FLAG_ENCRYPTED}}));
    Recorder r;
    r.vAnswers = {"wrong", "secret"};
    EXPECT_EQ(r.Run("UnZip32.so", "UnZip",
                    ExtractLine(scratch, "UnZip", strArchive, scratch / "right",
                                {"plain.txt", "secret.txt"})),
              0);
    EXPECT_EQ(r.vAttempts, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(ReadFile(scratch / "right/secret.txt"), "secret\n");
    Recorder declined;
    EXPECT_EQ(declined.Run("UnZip32.so", "UnZip",
                           ExtractLine(scratch, "UnZip", strArchive, scratch / "declined",
                                       {"plain.txt", "secret.txt"})),
              5);
    EXPECT_EQ(declined.vAttempts, std::vector<uint32_t>{0});
    EXPECT_EQ(declined.vProblems, std::vector<std::string>{"2 secret.txt"});
    EXPECT_EQ(ListTree(scratch / "declined"), std::vector<std::string>{"plain.txt"});
}

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
