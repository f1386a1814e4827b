// The archivers and the engine as a user meets them: kestrel-cli on real archives. One table of
// what each fixture lists, one of what extraction makes of it (contents, times, modes), one of
// hostile archives (what is refused, what arrives, that nothing lands outside), and a disk
// that fills. The installed copy is tests/install's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/Support.h"

using namespace kestrel::test;

namespace {

const char c_szOpenFailed[] = "このファイルは開くことが出来ません\n";
const char c_szExtractFailed[] = "kestrel-cli: 解凍に失敗しました\n";
const std::string c_strD = "\t2024/05/01 12:34:56";

bool Has(const std::string& c_str, const std::string& c_strPart) {
    return c_str.find(c_strPart) != std::string::npos;
}

// A listing without its compressed size and ratio columns: "path\tsize\tdate".
std::vector<std::string> Listing(const std::string& c_strArchive, const char* c_pszZone = "UTC") {
    const RunResult st =
        RunCli({"list", c_strArchive}, {.vstrEnv = {std::string("TZ=") + c_pszZone}});
    EXPECT_EQ(st.nExit, 0) << c_strArchive << "\n" << st.strErr;
    std::vector<std::string> v;
    for (const std::string& c_str : Lines(st.strOut)) {
        const size_t n1 = c_str.find('\t'), n2 = c_str.find('\t', n1 + 1);
        const size_t n4 = c_str.find('\t', c_str.find('\t', n2 + 1) + 1);
        v.push_back(c_str.substr(0, n2) + c_str.substr(n4));
    }
    return v;
}

std::string Text(int n, const std::string& c_strSeed) {
    std::string str;
    for (int i = 0; i < n; ++i) str += c_strSeed + " line " + std::to_string(i) + "\n";
    return str;
}

// Path -> content of every file below a folder ("/" ends folders, "-> " starts link targets).
std::map<std::string, std::string> Contents(const fs::path& c_folder) {
    std::map<std::string, std::string> m;
    for (const std::string& c_str : ListTree(c_folder)) {
        const fs::path path = c_folder / c_str;
        m[c_str] = fs::is_symlink(path)     ? "-> " + fs::read_symlink(path).string()
                   : fs::is_directory(path) ? ""
                                            : ReadFile(path);
    }
    return m;
}

const std::map<std::string, std::string> c_mJapanese = {
    {"compressed.txt", Text(300, "圧縮")},
    {"stored.txt", "x"},
    {"日本語/", ""},
    {"日本語/ソフト/", ""},
    {"日本語/ソフト/能力.txt", "0x5C second bytes: \x95\x5c \x83\x5c\n"},
    {"日本語/表計算.txt", "表とソの名前\n"},
    {"空のファイル.txt", ""},
};

// Characters of CP932 outside the common rows, as the UTF-8 of the code points Windows maps
// them to: ～ ∥ － ￢ (not 〜 ‖ − ¬), ① Ⅸ ㈱, 髙 﨑 纊.
const std::string c_strExtraFolder = "\uff5e\u2225\uff0d\uffe2/";
const std::string c_strExtraNec = c_strExtraFolder + "\u2460\u2168\u3231.txt";
const std::string c_strExtraIbm = "\u9ad9\ufa11\u7e8a.txt";

TEST(Cli, ListsEveryFormatsNamesSizesAndDates) {
    std::string strLong = "/long/";
    for (int i = 0; i < 200; ++i) strLong += "長";
    const struct {
        const char* pszFixture;
        const char* pszZone;
        std::vector<std::string> vstrLines;
    } c_aCase[] = {
        {"lzh_cp932.lzh",
         "UTC",
         {"/日本語/\t0" + c_strD, "/日本語/ソフト/\t0" + c_strD,
          "/日本語/ソフト/能力.txt\t25" + c_strD, "/日本語/表計算.txt\t19" + c_strD,
          "/空のファイル.txt\t0" + c_strD, "/stored.txt\t1" + c_strD,
          "/compressed.txt\t4690" + c_strD}},
        {"lzh_level0.lzh", "UTC", {"/a.txt\t790" + c_strD, "/sub/b.txt\t4" + c_strD}},
        {"lzh_level1.lzh", "UTC", {"/a.txt\t790" + c_strD, "/sub/b.txt\t4" + c_strD}},
        {"lzh_utf8.lzh", "UTC", {"/ユニコード.txt\t16" + c_strD}},
        // "\" between folders and CP932 second bytes 0x5C; a stored local time in a gap of
        // daylight saving comes back as stored.
        {"lzh_msdos.lzh",
         "Europe/Berlin",
         {"/表/ソ.txt\t9" + c_strD, "/GAP.TXT\t5\t2024/03/31 02:30:00"}},
        {"lzh_size64.lzh", "UTC", {"/big.bin\t5368709124" + c_strD, "/after.txt\t6" + c_strD}},
        // Names of the UTF-16 headers, not the code page's "_"; links "name|target" as links.
        {"lzh_unicode.lzh",
         "UTC",
         {"/폴더/€/한글.txt\t7" + c_strD, "/폴더/압축.txt\t1590" + c_strD, "/ü€.txt\t8" + c_strD}},
        {"lzh_links.lzh",
         "UTC",
         {"/target.txt\t7" + c_strD, "/l0\t0" + c_strD, "/l0u\t0" + c_strD, "/l1\t0" + c_strD,
          "/l2\t0" + c_strD, "/l2f\t0" + c_strD, "/out\t0" + c_strD}},
        {"lzh_cp932ext.lzh",
         "UTC",
         {"/" + c_strExtraFolder + "\t0" + c_strD, "/" + c_strExtraNec + "\t7" + c_strD,
          "/" + c_strExtraIbm + "\t4" + c_strD}},
        {"zip_utf8.zip",
         "UTC",
         {"/日本語/\t0" + c_strD, "/日本語/表計算.txt\t19" + c_strD, "/日本語/ソフト/\t0" + c_strD,
          "/日本語/ソフト/能力.txt\t25" + c_strD, "/空のファイル.txt\t0" + c_strD,
          "/stored.txt\t1" + c_strD, "/compressed.txt\t4690" + c_strD}},
        {"zip_cp932.zip",
         "UTC",
         {"/日本語/\t0" + c_strD, "/日本語/表計算.txt\t2" + c_strD, "/ソフト.txt\t3" + c_strD}},
        {"zip_cp932ext.zip",
         "UTC",
         {"/" + c_strExtraFolder + "\t0" + c_strD, "/" + c_strExtraNec + "\t7" + c_strD,
          "/" + c_strExtraIbm + "\t4" + c_strD}},
        // Unicode path fields (valid, stale), UTF-8 without and with the flag, a 609-byte name.
        {"zip_names.zip",
         "UTC",
         {"/新しい名前.txt\t4" + c_strD, "/古い.txt\t6" + c_strD,
          "/ユーティーエフ.txt\t18" + c_strD, "/フラグ付き.txt\t8" + c_strD,
          strLong + ".txt\t5" + c_strD}},
        {"zip_descriptor.zip",
         "UTC",
         {"/stored.txt\t350" + c_strD, "/deflated.txt\t6690" + c_strD}},
        {"zip_zip64_declared.zip", "UTC", {"/huge.bin\t5368709120" + c_strD}},
        {"zip_comment.zip", "UTC", {"/a.txt\t2" + c_strD, "/b.txt\t2" + c_strD}},
        {"zip_sfx.zip", "UTC", {"/a.txt\t2" + c_strD, "/b.txt\t2" + c_strD}},
        {"zip_dostime.zip", "Europe/Berlin", {"/gap.txt\t4\t2024/03/31 02:30:00"}},
        {"zip_utctime.zip", "Asia/Tokyo", {"/utc.txt\t4\t2024/05/01 21:34:56"}},
        {"7z_basic.7z",
         "Asia/Tokyo",
         {"/日本語/\t0\t2024/05/01 21:34:56", "/日本語/ソフト/\t0\t2024/05/01 21:34:56",
          "/空のファイル.txt\t0\t2024/05/01 21:34:56", "/compressed.txt\t4690\t2024/05/01 21:34:56",
          "/stored.txt\t1\t2024/05/01 21:34:56", "/日本語/ソフト/能力.txt\t25\t2024/05/01 21:34:56",
          "/日本語/表計算.txt\t19\t2024/05/01 21:34:56"}},
    };
    for (const auto& c_case : c_aCase) {
        EXPECT_EQ(Listing(DataPath(c_case.pszFixture), c_case.pszZone), c_case.vstrLines)
            << c_case.pszFixture;
    }
    // Every column of one archive; progress only where a person watches (every eighth entry).
    const RunResult st =
        RunCli({"list", DataPath("../../samples/sample.lzh")}, {.vstrEnv = {"TZ=UTC"}});
    EXPECT_EQ(st.strErr, "");
    EXPECT_EQ(st.strOut,
              "/readme.txt\t40\t40\t100.0%" + c_strD + "\n/文書/報告書.txt\t3890\t464\t11.9%" +
                  c_strD + "\n/文書/画像/表.csv\t29\t29\t100.0%" + c_strD +
                  "\n/文書/画像/logo.bmp\t3072\t319\t10.3%" + c_strD +
                  "\n/src/main.c\t63\t63\t100.0%" + c_strD + "\n/src/lib/util.h\t29\t29\t100.0%" +
                  c_strD + "\n/空.txt\t0\t0\t0.0%" + c_strD + "\n");
    const RunResult stTerminal = RunCli({"list", DataPath("zip_escape.zip")}, {.bTerminal = true});
    EXPECT_EQ(stTerminal.strOut, RunCli({"list", DataPath("zip_escape.zip")}).strOut);
    EXPECT_TRUE(stTerminal.strErr.starts_with("\r読み込み中")) << stTerminal.strErr;
    EXPECT_TRUE(stTerminal.strErr.ends_with("\r\033[K")) << stTerminal.strErr;
}

TEST(Cli, ExtractsContentsTimesAndModes) {
    Scratch scratch;
    std::string strStored;
    for (int i = 0; i < 50; ++i) strStored += "stored\n";
    const struct {
        const char* pszFixture;
        std::map<std::string, std::string> mContents;
    } c_aCase[] = {
        {"lzh_cp932.lzh", c_mJapanese},
        {"zip_utf8.zip", c_mJapanese},
        {"7z_basic.7z", c_mJapanese},
        {"lzh_level0.lzh", {{"a.txt", Text(50, "kestrel")}, {"sub/", ""}, {"sub/b.txt", "bee\n"}}},
        {"lzh_msdos.lzh", {{"表/", ""}, {"表/ソ.txt", "hyou so\r\n"}, {"GAP.TXT", "gap\r\n"}}},
        {"lzh_utf8.lzh", {{"ユニコード.txt", "UTF-8 の名前\n"}}},
        {"lzh_size64.lzh", {{"after.txt", "after\n"}}},
        {"zip_cp932.zip",
         {{"日本語/", ""}, {"日本語/表計算.txt", "\x95\x5c"}, {"ソフト.txt", "so\n"}}},
        {"zip_descriptor.zip", {{"stored.txt", strStored}, {"deflated.txt", Text(400, "kestrel")}}},
        {"zip_comment.zip", {{"a.txt", "a\n"}, {"b.txt", "b\n"}}},
        {"zip_sfx.zip", {{"a.txt", "a\n"}, {"b.txt", "b\n"}}},
        {"zip_cp932ext.zip",
         {{c_strExtraFolder, ""}, {c_strExtraNec, "row 13\n"}, {c_strExtraIbm, "ibm\n"}}},
        {"lzh_cp932ext.lzh",
         {{c_strExtraFolder, ""}, {c_strExtraNec, "row 13\n"}, {c_strExtraIbm, "ibm\n"}}},
        {"lzh_unicode.lzh",
         {{"폴더/", ""},
          {"폴더/€/", ""},
          {"폴더/€/한글.txt", "hangul\n"},
          {"폴더/압축.txt", Text(100, "kestrel")},
          {"ü€.txt", "level 1\n"}}},
        {"7z_skip65536.7z",
         {{"a.bin", Text(10000, "kestrel").substr(0, 65536)},
          {"b.txt", "after 64 KiB\n"},
          {"c.bin", Text(20000, "kestrel").substr(0, 131072)},
          {"d.txt", "after 128 KiB\n"}}},
    };
    for (const auto& c_case : c_aCase) {
        const fs::path dest = scratch / c_case.pszFixture;
        const RunResult st = RunCli({"extract", DataPath(c_case.pszFixture), dest});
        const bool bPartial = std::string(c_case.pszFixture) == "lzh_size64.lzh";
        EXPECT_EQ(st.nExit, bPartial ? 3 : 0) << c_case.pszFixture << "\n" << st.strErr;
        EXPECT_EQ(Contents(dest), c_case.mContents) << c_case.pszFixture;
    }

    // Times and modes in a zone with daylight saving: stored instants exactly, local DOS times
    // in the offset of their own season; the owner's execute bit is kept, writing for others
    // is never added.
    const time_t c_tFixed = 1714566896;                           // 2024-05-01 12:34:56 UTC
    const time_t c_tSummer = 1719828000, c_tWinter = 1705316400;  // 12:00 local, July / January
    const struct {
        const char* pszFixture;
        const char* pszFile;
        time_t tModified;
        mode_t nMode;
    } c_aFile[] = {
        {"zip_modes.zip", "run.sh", c_tSummer, 0755},
        {"zip_modes.zip", "tool", c_tWinter, 0755},
        {"zip_modes.zip", "plain.txt", c_tSummer, 0644},
        {"lzh_modes.lzh", "run.sh", c_tFixed, 0755},
        {"lzh_modes.lzh", "plain.txt", c_tFixed, 0644},
        {"7z_modes.7z", "run.sh", c_tFixed, 0755},
        {"7z_modes.7z", "plain.txt", c_tFixed, 0644},
        {"zip_utf8.zip", "stored.txt", c_tFixed - 7200, 0644},
        {"zip_utctime.zip", "utc.txt", c_tFixed, 0644},
        {"lzh_msdos.lzh", "表/ソ.txt", c_tFixed - 7200, 0644},
    };
    const mode_t nOldMask = umask(022);
    for (const char* c_pszFixture : {"zip_modes.zip", "lzh_modes.lzh", "7z_modes.7z",
                                     "zip_utf8.zip", "zip_utctime.zip", "lzh_msdos.lzh"}) {
        const RunResult st =
            RunCli({"extract", DataPath(c_pszFixture), scratch / ("t" + std::string(c_pszFixture))},
                   {.vstrEnv = {"TZ=Europe/Berlin"}});
        EXPECT_EQ(st.nExit, 0) << c_pszFixture << st.strErr;
    }
    umask(nOldMask);
    for (const auto& c_file : c_aFile) {
        struct stat s {};
        const std::string strPath =
            scratch / ("t" + std::string(c_file.pszFixture)) + "/" + c_file.pszFile;
        ASSERT_EQ(stat(strPath.c_str(), &s), 0) << strPath;
        EXPECT_EQ(s.st_mtime, c_file.tModified) << strPath;
        EXPECT_EQ(s.st_mode & 07777, c_file.nMode) << strPath;
    }
}

TEST(Cli, ExtractsTheNamedEntriesAndOverwrites) {
    Scratch scratch;
    // A " anywhere in a path: the archive's, the destination's.
    fs::create_directory(scratch / "say \"hi\"");
    const std::string strSample = scratch / "say \"hi\"/a \"q\".lzh";
    WriteFile(strSample, ReadFile(DataPath("../../samples/sample.lzh")));
    const std::string strPart = scratch / "part \"q\"";
    RunResult st = RunCli({"extract", strSample, strPart, "/文書/画像/", "src/main.c", "/src"});
    EXPECT_EQ(st.nExit, 0) << st.strErr;
    EXPECT_EQ(ListTree(strPart),
              (std::vector<std::string>{"src/", "src/lib/", "src/lib/util.h", "src/main.c", "文書/",
                                        "文書/画像/", "文書/画像/logo.bmp", "文書/画像/表.csv"}));
    WriteFile(strPart + "/src/main.c", "changed");
    EXPECT_EQ(RunCli({"extract", strSample, strPart, "/src/main.c"}).nExit, 0);
    EXPECT_TRUE(ReadFile(strPart + "/src/main.c").starts_with("#include")) << "not overwritten";
    st = RunCli({"extract", strSample, strPart, "/no/such.txt"});
    EXPECT_EQ(st.nExit, 3);
    EXPECT_TRUE(Has(st.strErr, "/no/such.txt")) << st.strErr;

    // After entries of whole 64 KiB blocks that are not asked for (libarchive loses its place).
    st = RunCli({"extract", DataPath("7z_skip65536.7z"), scratch / "skip", "/b.txt", "/d.txt"});
    EXPECT_EQ(st.nExit, 0) << st.strErr;
    EXPECT_EQ(ReadFile(scratch / "skip/b.txt"), "after 64 KiB\n");
    EXPECT_EQ(ReadFile(scratch / "skip/d.txt"), "after 128 KiB\n");
    // Usage errors say how it is used.
    for (const std::vector<std::string>& c_v :
         std::vector<std::vector<std::string>>{{},
                                               {"list"},
                                               {"list", "a", "b"},
                                               {"extract", "a.lzh"},
                                               {"extract", "a.lzh", ""},
                                               {"unpack", "a"}}) {
        st = RunCli(c_v);
        EXPECT_EQ(st.nExit, 2);
        EXPECT_TRUE(Has(st.strErr, "kestrel-cli list ARCHIVE")) << st.strErr;
    }
}

// What a user cannot open is told as such: a wrong extension, no archive, no file, a pipe no
// one writes to, a cut or encrypted directory, a format whose library is missing.
TEST(Cli, ArchivesThatCannotBeOpened) {
    Scratch scratch;
    std::vector<std::string> vstrPath = {DataPath("zip_truncated.zip"),
                                         DataPath("7z_truncated.7z"),
                                         DataPath("7z_header_encrypted.7z"),
                                         scratch / "missing.zip",
                                         scratch / "pipe.zip",
                                         scratch / "folder.zip"};
    mkfifo((scratch / "pipe.zip").c_str(), 0600);
    fs::create_directory(scratch / "folder.zip");
    for (const auto& [c_strSource, c_strName] :
         std::vector<std::pair<std::string, std::string>>{{"zip_utf8.zip", "zip.lzh"},
                                                          {"zip_utf8.zip", "zip.7z"},
                                                          {"lzh_cp932.lzh", "lzh.zip"},
                                                          {"lzh_cp932.lzh", "lzh.7z"},
                                                          {"7z_basic.7z", "7z.zip"},
                                                          {"7z_basic.7z", "7z.lzh"},
                                                          {"", "empty.zip"},
                                                          {"", "empty.lzh"},
                                                          {"", "empty.7z"},
                                                          {"README.md", "text.zip"},
                                                          {"README.md", "text.lzh"},
                                                          {"README.md", "text.7z"},
                                                          {"zip_utf8.zip", "zip.rar"}}) {
        WriteFile(scratch / c_strName, c_strSource.empty() ? "" : ReadFile(DataPath(c_strSource)));
        vstrPath.push_back(scratch / c_strName);
    }
    for (const std::string& c_strPath : vstrPath) {
        EXPECT_EQ(RunCli({"extract", c_strPath, scratch / "out"}, {.dTimeout = 20}).nExit, 1)
            << c_strPath;
        const RunResult st = RunCli({"list", c_strPath}, {.dTimeout = 20});
        EXPECT_EQ(st.nExit, 1) << c_strPath;
        EXPECT_EQ(st.strOut, "");
        EXPECT_TRUE(st.strErr.starts_with(c_szOpenFailed)) << c_strPath << ": " << st.strErr;
        // Why, as far as the file tells.
        const std::string strName = fs::path(c_strPath).filename();
        const std::string strWhy =
            strName == "missing.zip" ? "ファイルが見つかりません"
            : strName == "7z_header_encrypted.7z" ? "この 7z 書庫は暗号化されているため開けません"
            : strName.find("truncated") != std::string::npos ? "書庫が壊れています"
            : strName == "zip.rar" ? "この種類のファイルには対応していません"
                                   : "書庫として読むことができません";
        EXPECT_TRUE(st.strErr.ends_with(": " + strWhy + "\n")) << st.strErr;
    }
    EXPECT_FALSE(fs::exists(scratch / "out"));
    const RunResult st = RunCli({"list", DataPath("zip_utf8.zip")},
                                {.vstrEnv = {"KESTREL_ARCHIVER_DIR=" + scratch.Path().string()}});
    EXPECT_EQ(st.nExit, 1);
    EXPECT_TRUE(st.strErr.starts_with(c_szOpenFailed));
}

// Encrypted ZIP entries open with the first line of --password-file, never with an argument:
// the same bytes as stored, from traditional, AES-256 and CP932-named traditional archives. A
// wrong or missing password skips only the encrypted entries, says so, and shows nowhere.
TEST(Cli, Passwords) {
    Scratch scratch;
    WriteFile(scratch / "right", "secret\r\nsecond line\n");
    WriteFile(scratch / "wrong", "Geheim\n");
    std::string strBytes;
    for (int i = 0; i < 8 * 256; ++i) strBytes += static_cast<char>(i);
    const struct {
        const char* pszFixture;
        std::map<std::string, std::string> mContents;
    } c_aCase[] = {
        {"zip_encrypted.zip", {{"plain.txt", "plain\n"}, {"secret.txt", "secret\n"}}},
        {"zip_aes.zip", {{"aes.txt", Text(200, "kestrel")}, {"stored.bin", strBytes}}},
        {"zip_cp932crypto.zip", {{"機密の資料.txt", Text(50, "\x94\xe9\x96\xa7")}}},
    };
    for (const auto& c_case : c_aCase) {
        SCOPED_TRACE(c_case.pszFixture);
        const std::string strArchive = DataPath(c_case.pszFixture);
        RunResult st = RunCli({"extract", "--password-file", scratch / "right", strArchive,
                               scratch / c_case.pszFixture});
        EXPECT_EQ(st.nExit, 0) << st.strErr;
        EXPECT_EQ(st.strOut + st.strErr, "");
        EXPECT_EQ(Contents(scratch / c_case.pszFixture), c_case.mContents);
        std::map<std::string, std::string> mPlain = c_case.mContents;
        std::erase_if(mPlain, [](const auto& c_kv) { return c_kv.first != "plain.txt"; });
        for (const char* c_pszFile : {"wrong", "missing"}) {
            const fs::path dest = scratch / (std::string(c_pszFile) + c_case.pszFixture);
            st = c_pszFile == std::string("wrong")
                     ? RunCli({"extract", strArchive, dest, "--password-file", scratch / "wrong"})
                     : RunCli({"extract", strArchive, dest});
            EXPECT_EQ(st.nExit, 3);
            EXPECT_TRUE(Has(st.strErr, c_pszFile == std::string("wrong")
                                           ? "kestrel-cli: パスワードが違います\n"
                                           : "kestrel-cli: パスワードが必要です"))
                << st.strErr;
            EXPECT_FALSE(Has(st.strOut + st.strErr, "Geheim"));
            EXPECT_EQ(Contents(dest), mPlain);
            EXPECT_EQ(fs::exists(dest), !mPlain.empty());
        }
    }
    // A password is never an argument: such options are usage errors.
    for (const std::vector<std::string>& c_v : std::vector<std::vector<std::string>>{
             {"extract", "--password", "secret", DataPath("zip_aes.zip"), scratch / "x"},
             {"test", DataPath("zip_aes.zip"), "--password-file"}}) {
        EXPECT_EQ(RunCli(c_v).nExit, 2);
    }
}

// test reads every entry and writes nothing: sound archives pass, and each entry that is not
// sound is named with its reason.
TEST(Cli, TestNamesTheEntriesThatAreNotSound) {
    Scratch scratch;
    WriteFile(scratch / "password", "secret\n");
    const std::string c_strDamaged = ": データが壊れています。\n";
    const struct {
        const char* pszFixture;
        std::vector<std::string> vstrNamed;  // empty: sound
    } c_aCase[] = {
        {"lzh_cp932.lzh", {}},
        {"zip_utf8.zip", {}},
        {"7z_basic.7z", {}},
        {"lzh_unicode.lzh", {}},
        {"zip_aes.zip", {}},
        {"zip_corrupt.zip", {"/bad.txt" + c_strDamaged}},
        {"lzh_corrupt.lzh", {"/bad.txt" + c_strDamaged}},
        {"7z_corrupt.7z", {"/compressed.txt" + c_strDamaged, "/stored.txt: 書庫が途中で"}},
        {"lzh_size64.lzh", {"/big.bin" + c_strDamaged}},
        {"7z_encrypted.7z", {"/secret.txt: 暗号化されているため読み出せません。\n"}},
    };
    for (const auto& c_case : c_aCase) {
        const RunResult st =
            RunCli({"test", DataPath(c_case.pszFixture), "--password-file", scratch / "password"});
        EXPECT_EQ(st.nExit, c_case.vstrNamed.empty() ? 0 : 3) << c_case.pszFixture << st.strErr;
        EXPECT_EQ(st.strOut.ends_with("すべて正常です。\n"), c_case.vstrNamed.empty());
        for (const std::string& c_str : c_case.vstrNamed)
            EXPECT_TRUE(Has(st.strErr, c_str)) << c_case.pszFixture << st.strErr;
    }
    EXPECT_EQ(ListTree(scratch.Path()), std::vector<std::string>{"password"});
}

// Ctrl+C stops an extraction inside a large entry: exit 3, what was finished before stays, and
// nothing of the entry cut short (nor the folder made for it). Progress shows on a terminal.
TEST(Cli, InterruptedExtractionKeepsOnlyFinishedFiles) {
    Scratch scratch;
    const RunResult st = RunCli({"extract", DataPath("7z_large.7z"), scratch / "out"},
                                {.bTerminal = true, .strInterruptAt = "big.bin"});
    EXPECT_EQ(st.nExit, 3);
    EXPECT_TRUE(Has(st.strErr, "\r\033[Kkestrel-cli: 中止しました")) << st.strErr;
    const std::vector<std::string> v = ListTree(scratch / "out");
    EXPECT_TRUE(v == std::vector<std::string>({"a.txt", "c.txt"}) ||
                v == std::vector<std::string>{"a.txt"});
    EXPECT_EQ(ReadFile(scratch / "out/a.txt"), "first\n");
    EXPECT_EQ(RunCli({"extract", DataPath("7z_large.7z"), scratch / "whole", "/a.txt"}).strErr, "");
}

// Hostile archives: what is refused is named, what is sound arrives, nothing appears outside the
// destination and no link made leads out of it.
TEST(Cli, HostileArchivesStayInsideTheDestination) {
    // Each refused entry is named with the reason's text (archive paths, "/" between folders).
    const std::string c_strOut =
        ": 解凍先の外を指すリンク、またはリンクの先に置かれる項目のため解凍しません。";
    const std::string c_strClimb =
        ": 解凍先の外を指す名前や改行を含む名前、デバイス・パイプ・ハードリンクは解凍しません。";
    const std::string c_strInTheWay = ": 同じ名前のファイルまたはフォルダがあるため作れません。";
    const std::string c_strDamaged = ": データが壊れています。";
    const std::string c_strEncrypted = ": 暗号化されているため読み出せません。";
    const std::map<std::string, std::string> c_mEscape = {
        {"abs/", ""},
        {"abs/passwd", "in a real folder named like a refused link\n"},
        {"in", "-> ok"},
        {"ok/", ""},
        {"ok/inside.txt", "inside\n"},
        {"out/", ""},
        {"out/made.txt", "in a real folder named like a refused link\n"},
        {"s", "-> ."}};
    const std::map<std::string, std::string> c_mRelative = {{"a/", ""},
                                                            {"a/b/", ""},
                                                            {"a/b/side", "-> ../c.txt"},
                                                            {"a/b/up", "-> ../../top.txt"},
                                                            {"a/c.txt", "c\n"},
                                                            {"top.txt", "top\n"}};
    const std::map<std::string, std::string> c_mControl = {
        {"bell\x07.txt", "bell\n"},
        {"ctl\x01"
         "dir/",
         ""},
        {"ctl\x01"
         "dir/in.txt",
         "in a folder with a control character\n"},
        {"del\x7f.txt", "delete\n"},
        {"esc\x1b[31mred.txt", "escape\n"},
        {"ok.txt", "ok\n"},
        {"say \"hi\"/", ""},
        {"say \"hi\"/a \"quoted\" name.txt", "quotes\n"},
        {"tab\tname.txt", "tab\n"}};
    const std::map<std::string, std::string> c_mDuplicates = {
        {"dup.txt", "first\n"}, {"l", "-> dup.txt"}, {"x", "file x\n"}};
    const struct {
        const char* pszFixture;
        std::vector<std::string> vstrTold;
        std::map<std::string, std::string> mTree;
    } c_aCase[] = {
        {"zip_hostile.zip",
         {"/../evil.txt" + c_strClimb, "//abs.txt" + c_strClimb, "/a/../../evil2.txt" + c_strClimb,
          "/link_out" + c_strOut, "/ldir/through.txt" + c_strOut, "/dev" + c_strClimb},
         {{"good.txt", "good\n"},
          {"ldir", "-> sub"},
          {"sub/", ""},
          {"sub/link_in", "-> ../good.txt"}}},
        {"lzh_hostile.lzh",
         {"/../evil.txt" + c_strClimb, "//abs.txt" + c_strClimb, "/link_out" + c_strOut,
          "/fifo" + c_strClimb},
         {{"good.txt", "good\n"}, {"link_in", "-> good.txt"}}},
        {"7z_hostile.7z",
         {"/../evil.txt" + c_strClimb, "//abs.txt" + c_strClimb, "/link_out" + c_strOut,
          "/fifo" + c_strClimb},
         {{"good.txt", "good\n"}}},
        {"7z_links.7z",
         {"/link_out" + c_strOut},
         {{"good.txt", "good\n"}, {"link_in", "-> good.txt"}}},
        {"zip_escape.zip",
         {"/up" + c_strOut, "/deep" + c_strOut, "/out" + c_strOut, "/abs" + c_strOut,
          "/s/through.txt" + c_strOut},
         c_mEscape},
        {"lzh_escape.lzh",
         {"/up" + c_strOut, "/deep" + c_strOut, "/in/through.txt" + c_strOut},
         c_mEscape},
        {"7z_escape.7z", {"/up" + c_strOut, "/deep" + c_strOut, "/abs" + c_strOut}, c_mEscape},
        // Links climbing only through their own folders are made; one that climbs after a name
        // is refused: where it leads depends on what that name turns out to be.
        {"zip_relativelinks.zip", {"/a/b/here" + c_strOut}, c_mRelative},
        {"lzh_relativelinks.lzh", {"/a/b/here" + c_strOut}, c_mRelative},
        {"7z_relativelinks.7z", {"/a/b/here" + c_strOut}, c_mRelative},
        // Names are written out visibly; line breaks cannot be handed to the archiver.
        {"zip_controlnames.zip",
         {"/nl\\x0Aname.txt" + c_strClimb, "/cr\\x0Dname.txt" + c_strClimb},
         c_mControl},
        {"lzh_controlnames.lzh",
         {"/nl\\x0Aname.txt" + c_strClimb, "/cr\\x0Dname.txt" + c_strClimb},
         c_mControl},
        {"7z_controlnames.7z",
         {"/nl\\x0Aname.txt" + c_strClimb, "/cr\\x0Dname.txt" + c_strClimb},
         c_mControl},
        // The first of equal names wins; the file of a link's name never writes through it.
        {"zip_duplicates.zip", {"/x/y.txt" + c_strInTheWay}, c_mDuplicates},
        {"lzh_duplicates.lzh", {"/x/y.txt" + c_strInTheWay}, c_mDuplicates},
        {"7z_duplicates.7z", {"/x/y.txt" + c_strInTheWay}, c_mDuplicates},
        {"zip_encrypted.zip", {"/secret.txt" + c_strEncrypted}, {{"plain.txt", "plain\n"}}},
        {"7z_encrypted.7z", {"/secret.txt" + c_strEncrypted}, {}},
        {"zip_corrupt.zip", {"/bad.txt" + c_strDamaged}, {{"ok.txt", "fine\n"}}},
        {"lzh_corrupt.lzh", {"/bad.txt" + c_strDamaged}, {{"ok.txt", "fine\n"}}},
        {"7z_corrupt.7z", {"/compressed.txt" + c_strDamaged}, {{"空のファイル.txt", ""}}},
        {"lzh_links.lzh",
         {"/out" + c_strOut},
         {{"target.txt", "target\n"},
          {"l0", "-> target.txt"},
          {"l0u", "-> target.txt"},
          {"l1", "-> target.txt"},
          {"l2", "-> target.txt"},
          {"l2f", "-> target.txt"}}},
    };
    for (const auto& c_case : c_aCase) {
        SCOPED_TRACE(c_case.pszFixture);
        Sandbox sandbox;
        // Listed, with control characters written out: one entry stays one line.
        const RunResult stList = RunCli({"list", DataPath(c_case.pszFixture)});
        EXPECT_EQ(stList.nExit, 0);
        EXPECT_TRUE(std::all_of(stList.strOut.begin(), stList.strOut.end(), [](char c) {
            return c == '\t' || c == '\n' || (c >= 0x20 && c != 0x7f) || c < 0;
        })) << stList.strOut;
        const RunResult st = RunCli({"extract", DataPath(c_case.pszFixture), sandbox.Dest()});
        EXPECT_EQ(st.nExit, 3);
        EXPECT_TRUE(st.strErr.starts_with(c_szExtractFailed)) << st.strErr;
        for (const std::string& c_str : c_case.vstrTold)
            EXPECT_TRUE(Has(st.strErr, c_str)) << c_str << "\n" << st.strErr;
        EXPECT_FALSE(Has(st.strErr, "\x1b")) << "the terminal is driven";
        EXPECT_EQ(Contents(sandbox.Dest()), c_case.mTree);
        EXPECT_EQ(sandbox.Verify(), "");
        EXPECT_EQ(LinksLeadingOut(sandbox.Dest()), std::vector<std::string>{});
    }
    // Cut in half, an LZH archive still gives what lies before the cut.
    Sandbox sandbox;
    EXPECT_EQ(RunCli({"extract", DataPath("lzh_truncated.lzh"), sandbox.Dest()}).nExit, 0);
    EXPECT_EQ(ReadFile(sandbox.Dest() / "stored.txt"), "x");
}

// Archives too big to commit: sizes of terabytes declared over a few bytes, names deeper than a
// path, deeper trees than a path can name.
TEST(Cli, BigHostileArchives) {
    for (const char* c_psz : {"huge.zip", "huge.lzh", "huge.7z", "huge64.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox;
        const RunResult stList = RunCli({"list", BigArchives() / c_psz});
        const std::string strName = c_psz;
        EXPECT_TRUE(Has(stList.strOut, strName == "huge.lzh"    ? "\t4294967295\t"
                                       : strName == "huge64.7z" ? "\t9223372036854775807\t"
                                                                : "\t5497558138880\t"))
            << stList.strOut;
        if (strName == "huge.zip") {
            EXPECT_TRUE(
                Has(stList.strOut, "/all-ones.bin\t9223372036854775807\t9223372036854775807\t"));
        }
        const RunResult st = RunCli({"extract", BigArchives() / c_psz, sandbox.Dest()});
        EXPECT_EQ(st.nExit, 3);
        EXPECT_TRUE(Has(st.strErr, "データが壊れています。")) << st.strErr;
        uintmax_t nBytes = 0;
        for (const auto& c_entry : fs::recursive_directory_iterator(sandbox.Dest())) {
            if (c_entry.is_regular_file()) nBytes += c_entry.file_size();
        }
        EXPECT_LT(nBytes, 100u);
        EXPECT_EQ(sandbox.Verify(), "");
    }
    for (const char* c_psz : {"deep10000.zip", "deep10000.lzh", "deep10000.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox;
        const std::vector<std::string> v = Lines(RunCli({"list", BigArchives() / c_psz}).strOut);
        ASSERT_EQ(v.size(), 2u);
        EXPECT_TRUE(v[0].starts_with("/d/d/d/") && Has(v[0], "\u2026\t")) << "cut visibly";
        const RunResult st = RunCli({"extract", BigArchives() / c_psz, sandbox.Dest()});
        EXPECT_EQ(st.nExit, 3);
        EXPECT_TRUE(Has(st.strErr, "\u2026: 名前が長すぎるため作れません。\n")) << st.strErr;
        EXPECT_EQ(ListTree(sandbox.Dest()), std::vector<std::string>{"top.txt"});
    }
    {
        Sandbox sandbox;
        const RunResult st = RunCli({"extract", BigArchives() / "deep2040.zip", sandbox.Dest()});
        EXPECT_EQ(st.nExit, 0) << st.strErr;
        int nFd = open(sandbox.Dest().c_str(), O_RDONLY | O_DIRECTORY), nDepth = 0;
        for (int nNext; (nNext = openat(nFd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW)) >= 0;
             ++nDepth) {
            close(nFd);
            nFd = nNext;
        }
        EXPECT_EQ(nDepth, 2040);
        struct stat s {};
        EXPECT_EQ(fstatat(nFd, "bottom.txt", &s, AT_SYMLINK_NOFOLLOW), 0);
        close(nFd);
        EXPECT_EQ(sandbox.Verify(), "");
    }
}

// A write that fails half-way fails the extraction with its reason, and no cut file is left
// where the whole one should be: a file over the file-size limit is skipped, the rest written; a
// full disk stops the extraction there, keeping what was finished (not the folder made for the
// file that did not fit).
TEST(Cli, WritesThatFailHalfWayLeaveNoCutFile) {
    Scratch scratch;
    const RunResult st = RunCli({"extract", DataPath("7z_skip65536.7z"), scratch / "limit"},
                                {.llFileSizeLimit = 8192});
    EXPECT_EQ(st.nSignal, 0) << "killed by the file-size limit";
    EXPECT_EQ(st.nExit, 3) << st.strErr;
    EXPECT_TRUE(Has(st.strErr, "/c.bin: ファイルが大きすぎて書き込めません。\n")) << st.strErr;
    EXPECT_EQ(ListTree(scratch / "limit"), (std::vector<std::string>{"b.txt", "d.txt"}));
    fs::create_directory(scratch / "small");
    if (mount("tmpfs", (scratch / "small").c_str(), "tmpfs", 0, "size=12k") != 0)
        GTEST_SKIP() << "a small file system needs the right to mount one";
    for (const auto& [c_pszFixture, c_vstrKept] :
         {std::pair<const char*, std::vector<std::string>>{"7z_large.7z", {"a.txt", "c.txt"}},
          {"7z_skip65536.7z", {}}}) {
        const fs::path out = scratch.Path() / "small" / c_pszFixture;
        const RunResult stFull = RunCli({"extract", DataPath(c_pszFixture), out});
        EXPECT_EQ(stFull.nExit, 3);
        EXPECT_TRUE(Has(stFull.strErr, ": ディスクの空き領域が不足しています。\n"))
            << stFull.strErr;
        EXPECT_EQ(ListTree(out), c_vstrKept);
    }
    umount((scratch / "small").c_str());
}

}  // namespace
