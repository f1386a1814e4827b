// kestrel-cli over the fake plug-in: the exact list format, exit statuses, and what an
// extraction asks of the library.
#include <gtest/gtest.h>

#include "cli_runner.h"

using namespace kestrel_test;
using shelf::CheckPathType;
using shelf::ToWide;

namespace {

// Run by hand, the test still finds the program of its build.
[[maybe_unused]] const int s_nBin = setenv("KESTREL_BIN", KESTREL_BIN_DIR, 0);

class Cli : public ::testing::Test {
protected:
    Cli()
        : m_fake("fake_full", {"Unlha32.so", "UnZip32.so", "7-Zip32.so"}),
          m_envLog("KESTREL_FAKE_LOG", m_dir / "log"),
          m_envCopy("KESTREL_FAKE_RESPONSE_COPY", m_dir / "response") {
        WriteFile(m_dir / "a.lzh", "FAKEARC");
        WriteFile(m_dir / "a.7z", "FAKEARC");
        WriteFile(m_dir / "bad.lzh", "nothing");
    }
    std::string LogLine(const std::string& c_strPrefix) const {
        for (const std::string& s : ReadLines(m_dir / "log")) {
            if (s.rfind(c_strPrefix, 0) == 0) return s.substr(c_strPrefix.size());
        }
        return "(none)";
    }

    FakeArchiverDir m_fake;
    TempDir m_dir;
    ScopedEnv m_envLog;
    ScopedEnv m_envCopy;
};

const char kOpenFailure[] = "このファイルは開くことが出来ません\n";

}  // namespace

TEST_F(Cli, ListsEveryEntryInOrder) {
    const CLI_RESULT st = RunCli({"list", m_dir / "a.lzh"});
    EXPECT_EQ(st.nStatus, 0);
    EXPECT_EQ(st.strErr, "");  // no progress line when stderr is not a terminal
    std::string strLong = "/long/x";
    for (int i = 0; i < 200; ++i) strLong += "あ";
    EXPECT_EQ(st.strOut,
              "/dir\\a.txt\t100\t50\t50.0%\t2024/05/01 12:34:56\n"
              "/日本語/ファイル.txt\t2000\t1000\t50.0%\t2024/05/01 12:34:56\n"
              "/big.bin\t5368709125\t4294967299\t60.0%\t2024/05/01 12:34:56\n"
              "/bad-date.txt\t0\t0\t0.0%\t??\\?? ??:??:??\n" +
                  strLong + "\t1\t1\t100.0%\t2024/05/01 12:34:56\n" + "/e/" +
                  std::string(504, 'e') + ".txt\t2\t2\t100.0%\t2024/05/01 12:34:56\n");

    // The 7-Zip driver reports the same entry with a slash.
    EXPECT_EQ(RunCli({"list", m_dir / "a.7z"}).strOut.substr(0, 11), "/dir/a.txt\t");
}

TEST_F(Cli, ArchivesThatCannotBeOpened) {
    for (const std::string& c_strPath :
         {m_dir / "missing.lzh", m_dir / "bad.lzh", m_dir / "a.rar", m_dir.Path()}) {
        SCOPED_TRACE(c_strPath);
        const CLI_RESULT st = RunCli({"list", c_strPath});
        EXPECT_EQ(st.nStatus, 1);
        EXPECT_EQ(st.strOut, "");
        EXPECT_EQ(st.strErr.substr(0, sizeof kOpenFailure - 1), kOpenFailure);
        EXPECT_EQ(RunCli({"extract", c_strPath, m_dir / "out"}).nStatus, 1);
    }
    ScopedEnv none("KESTREL_ARCHIVER_DIR", m_dir.Path());  // no library at all
    const CLI_RESULT st = RunCli({"list", m_dir / "a.lzh"});
    EXPECT_EQ(st.nStatus, 1);
    EXPECT_EQ(st.strErr.substr(0, sizeof kOpenFailure - 1), kOpenFailure);
}

TEST_F(Cli, UsageErrors) {
    for (const std::vector<std::string>& c_v :
         std::vector<std::vector<std::string>>{{},
                                               {"list"},
                                               {"list", "a", "b"},
                                               {"extract", "a.lzh"},
                                               {"extract", "a.lzh", ""},
                                               {"unpack", "a.lzh"}}) {
        const CLI_RESULT st = RunCli(c_v);
        EXPECT_EQ(st.nStatus, 2);
        EXPECT_NE(st.strErr.find("kestrel-cli list ARCHIVE"), std::string::npos);
    }
    const CLI_RESULT st = RunCli({"--help"});
    EXPECT_EQ(st.nStatus, 0);
    EXPECT_NE(st.strOut.find("kestrel-cli extract ARCHIVE DEST"), std::string::npos);
}

TEST_F(Cli, ExtractsEveryFileKeepingFoldersAndOverwriting) {
    const CLI_RESULT st = RunCli({"extract", m_dir / "a.lzh", m_dir / "new/dest"});
    EXPECT_EQ(st.nStatus, 0) << st.strErr;
    EXPECT_EQ(CheckPathType(ToWide(m_dir / "new/dest")), 2);  // made for the occasion
    const std::string strResponse = LogLine("response-path ");
    EXPECT_EQ(LogLine("cmd "), "e -x1 -c1 -m1 -a2 \"" + m_dir / "a.lzh" + "\" \"" +
                                   m_dir / "new/dest" + "\" @\"" + strResponse + "\"");
    // Files in the tree's order: each folder's entries as the archive first named them.
    std::string strLong = "long/x";
    for (int i = 0; i < 200; ++i) strLong += "あ";
    EXPECT_EQ(ReadFile(m_dir / "response"),
              "\"dir\\a.txt\" -p2\r\n\"日本語/ファイル.txt\" -p2\r\n\"big.bin\" -p2\r\n"
              "\"bad-date.txt\" -p2\r\n\"" +
                  strLong + "\" -p2\r\n\"e/" + std::string(504, 'e') + ".txt\" -p2\r\n");
    EXPECT_EQ(CheckPathType(ToWide(strResponse)), 0);  // removed afterwards
}

TEST_F(Cli, ExtractsTheNamedEntries) {
    EXPECT_EQ(RunCli({"extract", m_dir / "a.7z", m_dir / "out", "/日本語/", "big.bin"}).nStatus, 0);
    EXPECT_EQ(ReadFile(m_dir / "response"), "\"日本語\\ファイル.txt\"\r\n\"big.bin\"\r\n");
    EXPECT_EQ(LogLine("cmd ").substr(0, 10), "x -aoa -y ");
    // A folder may be named without its slash.
    EXPECT_EQ(RunCli({"extract", m_dir / "a.7z", m_dir / "out", "/dir"}).nStatus, 0);
    EXPECT_EQ(ReadFile(m_dir / "response"), "\"dir\\a.txt\"\r\n");

    const CLI_RESULT st = RunCli({"extract", m_dir / "a.7z", m_dir / "out", "/no/such.txt"});
    EXPECT_EQ(st.nStatus, 3);
    EXPECT_NE(st.strErr.find("/no/such.txt"), std::string::npos);
}

TEST_F(Cli, FailedExtractions) {
    {
        ScopedEnv fails("KESTREL_FAKE_CMD_RESULT", "1");
        EXPECT_EQ(RunCli({"extract", m_dir / "a.lzh", m_dir / "out"}).nStatus, 3);
    }
    WriteFile(m_dir / "file", "");
    EXPECT_EQ(RunCli({"extract", m_dir / "a.lzh", m_dir / "file"}).nStatus, 3);

    // Names the library may have cut, with nothing to get them whole: listed, never extracted.
    FakeArchiverDir cut("fake_nofilename", {"Unlha32.so"});
    const CLI_RESULT st = RunCli({"list", m_dir / "a.lzh"});
    EXPECT_EQ(st.nStatus, 0);
    EXPECT_NE(st.strOut.find("あ…\t1\t1\t"), std::string::npos);
    EXPECT_EQ(RunCli({"extract", m_dir / "a.lzh", m_dir / "out", "/long/"}).nStatus, 3);
    EXPECT_EQ(RunCli({"extract", m_dir / "a.lzh", m_dir / "out", "/dir\\a.txt"}).nStatus, 0);
}
