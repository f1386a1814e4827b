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
    const std::string strSample = DataPath("../../samples/sample.lzh");
    RunResult st =
        RunCli({"extract", strSample, scratch / "part", "/文書/画像/", "src/main.c", "/src"});
    EXPECT_EQ(st.nExit, 0) << st.strErr;
    EXPECT_EQ(ListTree(scratch / "part"),
              (std::vector<std::string>{"src/", "src/lib/", "src/lib/util.h", "src/main.c", "文書/",
                                        "文書/画像/", "文書/画像/logo.bmp", "文書/画像/表.csv"}));
    WriteFile(scratch / "part/src/main.c", "changed");
    EXPECT_EQ(RunCli({"extract", strSample, scratch / "part", "/src/main.c"}).nExit, 0);
    EXPECT_TRUE(ReadFile(scratch / "part/src/main.c").starts_with("#include")) << "not overwritten";
    st = RunCli({"extract", strSample, scratch / "part", "/no/such.txt"});
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
    }
    EXPECT_FALSE(fs::exists(scratch / "out"));
    const RunResult st = RunCli({"list", DataPath("zip_utf8.zip")},
                                {.vstrEnv = {"KESTREL_ARCHIVER_DIR=" + scratch.Path().string()}});
    EXPECT_EQ(st.nExit, 1);
    EXPECT_TRUE(st.strErr.starts_with(c_szOpenFailed));
}

// Hostile archives: what is refused is named, what is sound arrives, nothing appears outside the
// destination and no link made leads out of it.
TEST(Cli, HostileArchivesStayInsideTheDestination) {
    const std::string c_strOut = ": refused: link target outside the destination";
    const std::string c_strClimb = ": refused: absolute path or \"..\" would leave the destination";
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
        {"tab\tname.txt", "tab\n"}};
    const std::map<std::string, std::string> c_mDuplicates = {
        {"dup.txt", "first\n"}, {"l", "-> dup.txt"}, {"x", "file x\n"}};
    const struct {
        const char* pszFixture;
        std::vector<std::string> vstrTold;
        std::map<std::string, std::string> mTree;
    } c_aCase[] = {
        {"zip_hostile.zip",
         {"../evil.txt" + c_strClimb, "/abs.txt" + c_strClimb, "a/../../evil2.txt" + c_strClimb,
          "link_out" + c_strOut, "ldir/through.txt: refused: its folder is a link", "dev: refused"},
         {{"good.txt", "good\n"},
          {"ldir", "-> sub"},
          {"sub/", ""},
          {"sub/link_in", "-> ../good.txt"}}},
        {"lzh_hostile.lzh",
         {"../evil.txt" + c_strClimb, "/abs.txt" + c_strClimb, "link_out" + c_strOut,
          "fifo: refused: device, pipe or hard link"},
         {{"good.txt", "good\n"}, {"link_in", "-> good.txt"}}},
        {"7z_hostile.7z",
         {"..\\evil.txt" + c_strClimb, "\\abs.txt" + c_strClimb, "link_out" + c_strOut,
          "fifo: refused"},
         {{"good.txt", "good\n"}}},
        {"7z_links.7z",
         {"link_out" + c_strOut},
         {{"good.txt", "good\n"}, {"link_in", "-> good.txt"}}},
        {"zip_escape.zip",
         {"up" + c_strOut, "deep" + c_strOut, "out" + c_strOut, "abs" + c_strOut,
          "s/through.txt: refused: its folder is a link"},
         c_mEscape},
        {"lzh_escape.lzh",
         {"up" + c_strOut, "deep" + c_strOut, "in/through.txt: refused"},
         c_mEscape},
        {"7z_escape.7z", {"up" + c_strOut, "deep" + c_strOut, "abs" + c_strOut}, c_mEscape},
        // Links climbing only through their own folders are made; one that climbs after a name
        // is refused: where it leads depends on what that name turns out to be.
        {"zip_relativelinks.zip", {"a/b/here" + c_strOut}, c_mRelative},
        {"lzh_relativelinks.lzh", {"a/b/here" + c_strOut}, c_mRelative},
        {"7z_relativelinks.7z", {"here" + c_strOut}, c_mRelative},
        // Names are written out visibly; line breaks cannot be handed to the archiver.
        {"zip_controlnames.zip", {"/nl\\x0Aname.txt\n/cr\\x0Dname.txt\n"}, c_mControl},
        {"lzh_controlnames.lzh", {"/nl\\x0Aname.txt\n/cr\\x0Dname.txt\n"}, c_mControl},
        {"7z_controlnames.7z", {"/nl\\x0Aname.txt\n/cr\\x0Dname.txt\n"}, c_mControl},
        // The first of equal names wins; the file of a link's name never writes through it.
        {"zip_duplicates.zip", {"x/y.txt: a file is in the way of its folder"}, c_mDuplicates},
        {"lzh_duplicates.lzh", {"x/y.txt: a file is in the way of its folder"}, c_mDuplicates},
        {"7z_duplicates.7z", {"y.txt: a file is in the way of its folder"}, c_mDuplicates},
        {"zip_encrypted.zip",
         {"secret.txt: encrypted (not supported)"},
         {{"plain.txt", "plain\n"}}},
        {"7z_encrypted.7z", {"secret.txt: encrypted (not supported)"}, {}},
        {"zip_corrupt.zip", {"bad.txt: data damaged"}, {{"ok.txt", "fine\n"}}},
        {"lzh_corrupt.lzh", {"bad.txt: data damaged"}, {{"ok.txt", "fine\n"}}},
        {"7z_corrupt.7z", {"compressed.txt: data damaged"}, {{"空のファイル.txt", ""}}},
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
        EXPECT_TRUE(Has(st.strErr, "damaged")) << st.strErr;
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
        EXPECT_TRUE(Has(st.strErr, "取り出せない名前の項目があります:\n/d/d/d/"));
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

// A write that fails half-way (the file-size limit, a full disk) fails the extraction, and no
// cut file is left where the whole one should be.
TEST(Cli, WritesThatFailHalfWayLeaveNoCutFile) {
    Scratch scratch;
    const RunResult st = RunCli({"extract", DataPath("7z_skip65536.7z"), scratch / "limit"},
                                {.llFileSizeLimit = 8192});
    EXPECT_EQ(st.nSignal, 0) << "killed by the file-size limit";
    EXPECT_EQ(st.nExit, 3) << st.strErr;
    EXPECT_EQ(ListTree(scratch / "limit"), (std::vector<std::string>{"b.txt", "d.txt"}));
    fs::create_directory(scratch / "small");
    if (mount("tmpfs", (scratch / "small").c_str(), "tmpfs", 0, "size=12k") != 0)
        GTEST_SKIP() << "a small file system needs the right to mount one";
    const RunResult stFull =
        RunCli({"extract", DataPath("7z_skip65536.7z"), scratch / "small/out"});
    EXPECT_EQ(stFull.nExit, 3);
    EXPECT_TRUE(Has(stFull.strErr, "No space left")) << stFull.strErr;
    EXPECT_EQ(ListTree(scratch / "small/out"), (std::vector<std::string>{"b.txt", "d.txt"}));
    umount((scratch / "small").c_str());
}

}  // namespace
