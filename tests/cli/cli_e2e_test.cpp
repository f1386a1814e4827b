// kestrel-cli through the real plug-ins on the fixture archives.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "fixture_contents.h"

using namespace kestrel_test;

namespace {

[[maybe_unused]] const int s_nZone = setenv("TZ", "UTC", 1);
[[maybe_unused]] const int s_nPlugins = setenv("KESTREL_ARCHIVER_DIR", KESTREL_PLUGIN_DIR, 0);
[[maybe_unused]] const int s_nData = setenv("KESTREL_TEST_DATA", KESTREL_DATA_DIR, 0);
[[maybe_unused]] const int s_nBin = setenv("KESTREL_BIN", KESTREL_PLUGIN_DIR, 0);

std::map<std::string, std::string> ReadTree(const std::string& c_strFolder) {
    std::map<std::string, std::string> m;
    for (const auto& c_entry : fs::recursive_directory_iterator(c_strFolder)) {
        if (c_entry.is_regular_file()) {
            m[fs::relative(c_entry.path(), c_strFolder).string()] = ReadFile(c_entry.path());
        }
    }
    return m;
}

uint32_t Crc32(const std::string& c_str) {
    uint32_t n = 0xFFFFFFFF;
    for (unsigned char c : c_str) {
        n ^= c;
        for (int i = 0; i < 8; ++i) n = (n >> 1) ^ (0xEDB88320u & (0u - (n & 1)));
    }
    return ~n;
}

// A ZIP of stored entries with the names exactly as given (the tools refuse some names).
void WriteStoredZip(const std::string& c_strPath,
                    const std::vector<std::pair<std::string, std::string>>& c_vEntry) {
    auto put = [](std::string* p, uint32_t n, int nBytes) {
        for (int i = 0; i < nBytes; ++i) p->push_back(static_cast<char>(n >> (8 * i)));
    };
    const uint32_t nDate = (44 << 9) | (5 << 5) | 1, nTime = (12 << 11) | (34 << 5) | 28;
    std::string strLocal, strCentral;
    for (const auto& [c_strName, c_strData] : c_vEntry) {
        const uint32_t nOffset = static_cast<uint32_t>(strLocal.size());
        for (std::string* p : {&strLocal, &strCentral}) {
            put(p, p == &strLocal ? 0x04034b50 : 0x02014b50, 4);
            if (p == &strCentral) put(p, 20, 2);
            for (uint32_t n : {20u, 0u, 0u, nTime, nDate}) put(p, n, 2);
            put(p, Crc32(c_strData), 4);
            put(p, static_cast<uint32_t>(c_strData.size()), 4);
            put(p, static_cast<uint32_t>(c_strData.size()), 4);
            put(p, static_cast<uint32_t>(c_strName.size()), 2);
            put(p, 0, 2);
            if (p == &strCentral) {
                for (int i = 0; i < 3; ++i) put(p, 0, 2);
                put(p, 0, 4);
                put(p, nOffset, 4);
            }
            *p += c_strName;
        }
        strLocal += c_strData;
    }
    std::string strEnd;
    put(&strEnd, 0x06054b50, 4);
    put(&strEnd, 0, 4);
    put(&strEnd, static_cast<uint32_t>(c_vEntry.size()), 2);
    put(&strEnd, static_cast<uint32_t>(c_vEntry.size()), 2);
    put(&strEnd, static_cast<uint32_t>(strCentral.size()), 4);
    put(&strEnd, static_cast<uint32_t>(strLocal.size()), 4);
    put(&strEnd, 0, 2);
    WriteFile(c_strPath, strLocal + strCentral + strEnd);
}

}  // namespace

TEST(CliEndToEnd, ControlCharactersInNames) {
    TempDir dir;
    WriteStoredZip(dir / "control.zip", {{"a\tb\nc.txt", "x"}, {"plain.txt", "plain\n"}});
    const CLI_RESULT st = RunCli({"list", dir / "control.zip"});
    EXPECT_EQ(st.nStatus, 0);
    EXPECT_EQ(st.strOut,
              "/a\\x09b\\x0Ac.txt\t1\t1\t100.0%\t2024/05/01 12:34:56\n"
              "/plain.txt\t6\t6\t100.0%\t2024/05/01 12:34:56\n");
    // A line break cannot be handed over for extraction: refused, not mistaken for two names.
    EXPECT_EQ(RunCli({"extract", dir / "control.zip", dir / "out"}).nStatus, 3);
    EXPECT_EQ(RunCli({"extract", dir / "control.zip", dir / "out", "/plain.txt"}).nStatus, 0);
    EXPECT_EQ(ReadFile(dir / "out/plain.txt"), "plain\n");
}

TEST(CliEndToEnd, ProgressOnlyOnATerminal) {
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> vEntry;
    for (int i = 0; i < 64; ++i) vEntry.emplace_back(std::to_string(i) + ".dat", "data");
    WriteStoredZip(dir / "many.zip", vEntry);
    const CLI_RESULT stPlain = RunCli({"list", dir / "many.zip"});
    EXPECT_EQ(stPlain.strErr, "");
    const CLI_RESULT stTerminal = RunCli({"list", dir / "many.zip"}, true);
    EXPECT_EQ(stTerminal.nStatus, 0);
    EXPECT_EQ(stTerminal.strOut, stPlain.strOut);
    EXPECT_EQ(stTerminal.strErr.rfind("\r読み込み中", 0), 0u) << stTerminal.strErr;
    EXPECT_TRUE(stTerminal.strErr.ends_with("\r\033[K")) << stTerminal.strErr;  // wiped
}

TEST(CliEndToEnd, ListsTheSample) {
    const CLI_RESULT st = RunCli({"list", DataPath("../../samples/sample.lzh")});
    EXPECT_EQ(st.nStatus, 0);
    EXPECT_EQ(st.strErr, "");
    EXPECT_EQ(st.strOut,
              "/readme.txt\t40\t40\t100.0%\t2024/05/01 12:34:56\n"
              "/文書/報告書.txt\t3890\t464\t11.9%\t2024/05/01 12:34:56\n"
              "/文書/画像/表.csv\t29\t29\t100.0%\t2024/05/01 12:34:56\n"
              "/文書/画像/logo.bmp\t3072\t319\t10.3%\t2024/05/01 12:34:56\n"
              "/src/main.c\t63\t63\t100.0%\t2024/05/01 12:34:56\n"
              "/src/lib/util.h\t29\t29\t100.0%\t2024/05/01 12:34:56\n"
              "/空.txt\t0\t0\t0.0%\t2024/05/01 12:34:56\n");
}

TEST(CliEndToEnd, ListsLegacyJapaneseNamesAndHostileOnes) {
    EXPECT_EQ(RunCli({"list", DataPath("zip_cp932.zip")}).strOut,
              "/日本語/\t0\t0\t0.0%\t2024/05/01 12:34:56\n"
              "/日本語/表計算.txt\t2\t2\t100.0%\t2024/05/01 12:34:56\n"
              "/ソフト.txt\t3\t3\t100.0%\t2024/05/01 12:34:56\n");
    const CLI_RESULT st = RunCli({"list", DataPath("zip_hostile.zip")});
    EXPECT_EQ(st.nStatus, 0);
    EXPECT_EQ(st.strOut.substr(0, 56),
              "/../evil.txt\t5\t5\t100.0%\t2024/05/01 12:34:56\n//abs.txt\t4\t");
}

TEST(CliEndToEnd, ExtractsEverythingOrTheNamedEntries) {
    TempDir dir;
    const auto mSample = SampleFiles();
    CLI_RESULT st = RunCli({"extract", DataPath("../../samples/sample.lzh"), dir / "all"});
    EXPECT_EQ(st.nStatus, 0) << st.strErr;
    EXPECT_EQ(ReadTree(dir / "all"), mSample);

    // Overwriting what is there.
    WriteFile(dir / "all/readme.txt", "changed");
    st = RunCli({"extract", DataPath("../../samples/sample.lzh"), dir / "all", "/readme.txt"});
    EXPECT_EQ(st.nStatus, 0) << st.strErr;
    EXPECT_EQ(ReadFile(dir / "all/readme.txt"), mSample.at("readme.txt"));

    st = RunCli({"extract", DataPath("../../samples/sample.lzh"), dir / "part", "/文書/画像/",
                 "src/main.c"});
    EXPECT_EQ(st.nStatus, 0) << st.strErr;
    EXPECT_EQ(ReadTree(dir / "part"), (std::map<std::string, std::string>{
                                          {"文書/画像/表.csv", mSample.at("文書/画像/表.csv")},
                                          {"文書/画像/logo.bmp", mSample.at("文書/画像/logo.bmp")},
                                          {"src/main.c", mSample.at("src/main.c")}}));

    for (const char* c_pszName : {"lzh_cp932.lzh", "zip_utf8.zip", "7z_basic.7z"}) {
        const std::string strDest = dir / c_pszName;
        EXPECT_EQ(RunCli({"extract", DataPath(c_pszName), strDest}).nStatus, 0) << c_pszName;
        EXPECT_EQ(ReadTree(strDest), JapaneseFiles()) << c_pszName;
    }
}

TEST(CliEndToEnd, RefusedEntriesFailTheExtraction) {
    TempDir dir;
    for (const char* c_pszName : {"lzh_hostile.lzh", "zip_hostile.zip"}) {
        const std::string strDest = dir / (std::string(c_pszName) + "/in/dest");
        const CLI_RESULT st = RunCli({"extract", DataPath(c_pszName), strDest});
        EXPECT_EQ(st.nStatus, 3) << c_pszName;
        EXPECT_NE(st.strErr, "");
        EXPECT_EQ(ReadFile(strDest + "/good.txt"), "good\n");
        EXPECT_EQ(FilesIn(dir / (std::string(c_pszName) + "/in")),
                  std::vector<std::string>{"dest"});
    }
    EXPECT_EQ(RunCli({"extract", DataPath("zip_corrupt.zip"), dir / "c", "/bad.txt"}).nStatus, 3);
    EXPECT_EQ(RunCli({"extract", DataPath("zip_corrupt.zip"), dir / "c", "/ok.txt"}).nStatus, 0);
}

TEST(CliEndToEnd, ArchivesThatCannotBeOpened) {
    for (const char* c_pszName : {"zip_truncated.zip", "7z_header_encrypted.7z", "make-fixtures"}) {
        const CLI_RESULT st = RunCli({"list", DataPath(c_pszName)});
        EXPECT_EQ(st.nStatus, 1) << c_pszName;
        EXPECT_EQ(st.strErr.rfind("このファイルは開くことが出来ません\n", 0), 0u);
    }
}
