// kestrel-cli on hostile archives in the three formats: listing gives the entries or the open
// failure, extraction takes what is safe and says what it refused, nothing appears outside the
// destination, and no run crashes or hangs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "HostileSupport.h"

using namespace kestrel::hostile;

namespace {

const char c_szOpenFailed[] = "このファイルは開くことが出来ません\n";
const char c_szExtractFailed[] = "kestrel-cli: 解凍に失敗しました\n";

// A run that ended by itself, in time, with one of the statuses the program documents.
void ExpectOrderly(const RunResult& c_st, const std::string& c_strWhat) {
    EXPECT_FALSE(c_st.bTimedOut) << c_strWhat;
    EXPECT_EQ(c_st.nSignal, 0) << c_strWhat << ": killed by signal";
    EXPECT_TRUE(c_st.nExit == 0 || c_st.nExit == 1 || c_st.nExit == 3)
        << c_strWhat << ": exit " << c_st.nExit << "\n"
        << c_st.strErr;
    if (c_st.nExit == 1) {
        EXPECT_EQ(c_st.strErr.rfind(c_szOpenFailed, 0), 0u) << c_strWhat;
    }
    if (c_st.nExit == 3) {
        EXPECT_EQ(c_st.strErr.rfind(c_szExtractFailed, 0), 0u) << c_strWhat;
    }
}

// Lists and extracts everything into a fresh sandbox; checks nothing leaves the destination.
struct Extracted {
    RunResult stList;
    RunResult stExtract;
    std::vector<std::string> vstrTree;
};

Extracted ListAndExtract(const std::string& c_strArchive, const Sandbox& c_sandbox,
                         double c_dTimeout = 20) {
    Extracted st;
    st.stList = RunCli({"list", c_strArchive}, c_dTimeout);
    ExpectOrderly(st.stList, "list " + c_strArchive);
    st.stExtract = RunCli({"extract", c_strArchive, c_sandbox.Dest()}, c_dTimeout);
    ExpectOrderly(st.stExtract, "extract " + c_strArchive);
    EXPECT_EQ(c_sandbox.Verify(), "") << c_strArchive;
    EXPECT_EQ(LinksLeadingOut(c_sandbox.Dest()), std::vector<std::string>{}) << c_strArchive;
    for (const char* c_psz : {"/abs.txt", "/evil.txt", "/evil2.txt"}) {
        struct stat s {};
        EXPECT_NE(lstat(c_psz, &s), 0) << c_psz << " appeared";
    }
    st.vstrTree = ListTree(c_sandbox.Dest());
    return st;
}

std::vector<std::string> Lines(const std::string& c_str) {
    std::vector<std::string> v;
    size_t nStart = 0;
    while (nStart < c_str.size()) {
        size_t nEnd = c_str.find('\n', nStart);
        if (nEnd == std::string::npos) nEnd = c_str.size();
        v.push_back(c_str.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return v;
}

// The path column of a listing.
std::vector<std::string> Paths(const std::string& c_strListing) {
    std::vector<std::string> v;
    for (const std::string& c_str : Lines(c_strListing))
        v.push_back(c_str.substr(0, c_str.find('\t')));
    return v;
}

bool Contains(const std::string& c_str, const std::string& c_strPart) {
    return c_str.find(c_strPart) != std::string::npos;
}

const char* const c_aszFormats[] = {"zip", "lzh", "7z"};

std::string Fixture(const std::string& c_strFormat, const std::string& c_strFeature) {
    return DataPath(c_strFormat + "_" + c_strFeature + "." + c_strFormat);
}

}  // namespace

TEST(CliHostile, DotDotAndAbsoluteNamesAreRefusedTheRestExtracted) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(Fixture(c_pszFormat, "hostile"), sandbox);
        EXPECT_EQ(st.stList.nExit, 0);
        const std::vector<std::string> vstrPath = Paths(st.stList.strOut);
        EXPECT_NE(std::find(vstrPath.begin(), vstrPath.end(), "/../evil.txt"), vstrPath.end());
        EXPECT_NE(std::find(vstrPath.begin(), vstrPath.end(), "//abs.txt"), vstrPath.end());
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "evil.txt: refused: absolute path or \"..\""))
            << st.stExtract.strErr;
        EXPECT_TRUE(Contains(st.stExtract.strErr, "abs.txt: refused")) << st.stExtract.strErr;
        EXPECT_TRUE(Contains(st.stExtract.strErr, "link_out: refused: link target outside"))
            << st.stExtract.strErr;
        EXPECT_EQ(ReadFile(sandbox.Dest() / "good.txt"), "good\n");
        for (const std::string& c_str : st.vstrTree) {
            EXPECT_FALSE(Contains(c_str, "evil") || Contains(c_str, "abs") ||
                         Contains(c_str, "link_out") || Contains(c_str, "fifo") || c_str == "dev")
                << c_str;
        }
    }
}

TEST(CliHostile, LinksOutOfTheDestinationAndWritesThroughLinksAreRefused) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(Fixture(c_pszFormat, "escape"), sandbox);
        EXPECT_EQ(st.stList.nExit, 0);
        EXPECT_EQ(Lines(st.stList.strOut).size(), 12u);
        EXPECT_EQ(st.stExtract.nExit, 3);
        // Straight out, out through a link to ".", and out of a link's own folder.
        for (const char* c_psz : {"up: refused: link target outside the destination",
                                  "deep: refused: link target outside the destination",
                                  "out: refused: link target outside the destination",
                                  "abs: refused: link target outside the destination",
                                  "through.txt: refused: its folder is a link"}) {
            EXPECT_TRUE(Contains(st.stExtract.strErr, c_psz)) << c_psz << "\n"
                                                              << st.stExtract.strErr;
        }
        // Links that stay inside are made; entries named below a refused link land in a real
        // folder of that name.
        EXPECT_EQ(st.vstrTree,
                  (std::vector<std::string>{"abs/", "abs/passwd", "in", "ok/", "ok/inside.txt",
                                            "out/", "out/made.txt", "s"}));
        EXPECT_EQ(fs::read_symlink(sandbox.Dest() / "s"), ".");
        EXPECT_EQ(fs::read_symlink(sandbox.Dest() / "in"), "ok");
        EXPECT_EQ(ReadFile(sandbox.Dest() / "ok/inside.txt"), "inside\n");
    }
    // The older link fixtures: links out, links in, a file through a link to a folder.
    for (const char* c_psz : {"zip_hostile.zip", "lzh_hostile.lzh", "7z_links.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(DataPath(c_psz), sandbox);
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "link_out: refused")) << st.stExtract.strErr;
        EXPECT_EQ(ReadFile(sandbox.Dest() / "good.txt"), "good\n");
    }
}

TEST(CliHostile, LinksInsideTheFolderAreKept) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(Fixture(c_pszFormat, "relativelinks"), sandbox);
        // Links that climb only through their own folders are made. One that climbs after a
        // name ("../b/../c.txt") is refused although it stays inside: whether it does depends on
        // what the name turns out to be (a link to "." leads elsewhere).
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "here: refused: link target outside"))
            << st.stExtract.strErr;
        EXPECT_EQ(st.vstrTree, (std::vector<std::string>{"a/", "a/b/", "a/b/side", "a/b/up",
                                                         "a/c.txt", "top.txt"}));
        EXPECT_EQ(ReadFile(sandbox.Dest() / "a/b/up"), "top\n");
        EXPECT_EQ(ReadFile(sandbox.Dest() / "a/b/side"), "c\n");
    }
}

TEST(CliHostile, ControlCharactersInNames) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(Fixture(c_pszFormat, "controlnames"), sandbox);
        EXPECT_EQ(st.stList.nExit, 0);
        // Written out, so that one entry stays one line and the terminal is not driven.
        EXPECT_EQ(
            Paths(st.stList.strOut),
            (std::vector<std::string>{"/nl\\x0Aname.txt", "/cr\\x0Dname.txt", "/tab\\x09name.txt",
                                      "/esc\\x1B[31mred.txt", "/bell\\x07.txt", "/del\\x7F.txt",
                                      "/ctl\\x01dir/in.txt", "/ok.txt"}));
        // Line breaks cannot be handed to the archiver: those two are named, the rest arrives
        // under its exact name.
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "/nl\\x0Aname.txt\n/cr\\x0Dname.txt\n"))
            << st.stExtract.strErr;
        EXPECT_EQ(st.stExtract.strErr.find('\x1b'), std::string::npos);
        EXPECT_EQ(st.vstrTree, (std::vector<std::string>{"bell\x07.txt",
                                                         "ctl\x01"
                                                         "dir/",
                                                         "ctl\x01"
                                                         "dir/in.txt",
                                                         "del\x7f.txt", "esc\x1b[31mred.txt",
                                                         "ok.txt", "tab\tname.txt"}));
        EXPECT_EQ(ReadFile(sandbox.Dest() / "esc\x1b[31mred.txt"), "escape\n");
        EXPECT_EQ(ReadFile(sandbox.Dest() / "ok.txt"), "ok\n");
    }
}

TEST(CliHostile, DuplicateEntries) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(Fixture(c_pszFormat, "duplicates"), sandbox);
        EXPECT_EQ(Paths(st.stList.strOut),
                  (std::vector<std::string>{"/dup.txt", "/dup.txt", "/x", "/x/y.txt", "/l", "/l"}));
        // The first of equal names is the one extracted; a file in the way of a folder is told;
        // the plain file of the link's name never writes through the link.
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "y.txt: a file is in the way of its folder"))
            << st.stExtract.strErr;
        EXPECT_EQ(st.vstrTree, (std::vector<std::string>{"dup.txt", "l", "x"}));
        EXPECT_EQ(ReadFile(sandbox.Dest() / "dup.txt"), "first\n");
        EXPECT_EQ(fs::read_symlink(sandbox.Dest() / "l"), "dup.txt");
        EXPECT_EQ(ReadFile(sandbox.Dest() / "x"), "file x\n");
    }
}

TEST(CliHostile, HugeDeclaredSizes) {
    for (const char* c_psz : {"huge.zip", "huge.lzh", "huge.7z", "huge64.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(BigArchives() / c_psz, sandbox, 30);
        EXPECT_EQ(st.stList.nExit, 0);
        const std::string strSizes = std::string(c_psz) == "huge.lzh"    ? "\t4294967295\t"
                                     : std::string(c_psz) == "huge64.7z" ? "\t9223372036854775807\t"
                                                                         : "\t5497558138880\t";
        EXPECT_TRUE(Contains(st.stList.strOut, strSizes)) << st.stList.strOut;
        if (std::string(c_psz) == "huge.zip") {
            // 2^63 and more cannot be told apart from a negative size: shown as the largest.
            EXPECT_TRUE(Contains(st.stList.strOut,
                                 "/all-ones.bin\t9223372036854775807\t9223372036854775807\t"))
                << st.stList.strOut;
        }
        // The data does not match the sizes: told as damage, quickly, with nothing large
        // written; what is sound still arrives.
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_LT(st.stExtract.dSeconds, 10);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "damaged")) << st.stExtract.strErr;
        uintmax_t nBytes = 0;
        for (const std::string& c_str : st.vstrTree) {
            std::error_code ec;
            if (fs::is_regular_file(sandbox.Dest() / c_str, ec))
                nBytes += fs::file_size(sandbox.Dest() / c_str, ec);
        }
        EXPECT_LT(nBytes, 100u);
        if (std::string(c_psz) == "huge.zip" || std::string(c_psz) == "huge.lzh") {
            EXPECT_EQ(st.vstrTree, std::vector<std::string>{"ok.txt"});
        }
    }
}

TEST(CliHostile, TenThousandFoldersDeep) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const Extracted st =
            ListAndExtract(BigArchives() / (std::string("deep10000.") + c_pszFormat), sandbox);
        EXPECT_EQ(st.stList.nExit, 0);
        const std::vector<std::string> vstrPath = Paths(st.stList.strOut);
        ASSERT_EQ(vstrPath.size(), 2u);
        // Longer than any path: listed visibly cut ("…"), never extracted.
        EXPECT_TRUE(vstrPath[0].starts_with("/d/d/d/")) << vstrPath[0];
        EXPECT_TRUE(vstrPath[0].ends_with("\u2026")) << vstrPath[0];
        EXPECT_EQ(vstrPath[1], "/top.txt");
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "取り出せない名前の項目があります:\n/d/d/d/"))
            << st.stExtract.strErr.substr(0, 200);
        EXPECT_EQ(st.vstrTree, std::vector<std::string>{"top.txt"});
    }
}

// Deeper than a path can name, yet every name fits: extracted whole. The folders are made by
// the same code for every format (and slowly on some disks), so one format stands for all.
TEST(CliHostile, TwoThousandFortyFoldersDeepExtractWhole) {
    for (const char* c_pszFormat : {"zip"}) {
        SCOPED_TRACE(c_pszFormat);
        Sandbox sandbox;
        const RunResult st = RunCli(
            {"extract", BigArchives() / (std::string("deep2040.") + c_pszFormat), sandbox.Dest()});
        ExpectOrderly(st, "extract");
        EXPECT_EQ(st.nExit, 0) << st.strErr;
        EXPECT_EQ(sandbox.Verify(), "");
        // The bottom lies deeper than a path can name: walk down folder by folder.
        int nFd = open(sandbox.Dest().c_str(), O_RDONLY | O_DIRECTORY);
        int nDepth = 0;
        for (int nNext; (nNext = openat(nFd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW)) >= 0;
             ++nDepth) {
            close(nFd);
            nFd = nNext;
        }
        EXPECT_EQ(nDepth, 2040);
        struct stat s {};
        EXPECT_EQ(fstatat(nFd, "bottom.txt", &s, AT_SYMLINK_NOFOLLOW), 0);
        EXPECT_EQ(s.st_size, 7);
        close(nFd);
        RemoveTree(sandbox.Dest());
    }
}

TEST(CliHostile, AHundredThousandEntriesInOneFolder) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        const std::string strArchive = BigArchives() / (std::string("many.") + c_pszFormat);
        const RunResult stList = RunCli({"list", strArchive}, 60);
        ExpectOrderly(stList, "list");
        EXPECT_EQ(stList.nExit, 0);
        const std::vector<std::string> vstrPath = Paths(stList.strOut);
        ASSERT_EQ(vstrPath.size(), 100000u);
        EXPECT_EQ(vstrPath.front(), "/many/f000000.txt");
        EXPECT_EQ(vstrPath.back(), "/many/f099999.txt");
        EXPECT_LT(stList.dSeconds, 15);

        // A few named entries are found among them.
        Sandbox sandbox;
        const RunResult stExtract =
            RunCli({"extract", strArchive, sandbox.Dest(), "/many/f000000.txt", "/many/f050000.txt",
                    "/many/f099999.txt"},
                   60);
        ExpectOrderly(stExtract, "extract");
        EXPECT_EQ(stExtract.nExit, 0) << stExtract.strErr;
        EXPECT_EQ(ListTree(sandbox.Dest()),
                  (std::vector<std::string>{"many/", "many/f000000.txt", "many/f050000.txt",
                                            "many/f099999.txt"}));
        EXPECT_EQ(sandbox.Verify(), "");
    }
}

TEST(CliHostile, TruncatedAndDamagedArchives) {
    for (const char* c_pszFormat : c_aszFormats) {
        SCOPED_TRACE(c_pszFormat);
        {
            Sandbox sandbox;
            const Extracted st = ListAndExtract(Fixture(c_pszFormat, "truncated"), sandbox);
            // Cut in half: what can be read is listed (ZIP and 7-Zip keep their directory at
            // the end, so nothing can be).
            if (std::string(c_pszFormat) == "lzh") {
                EXPECT_EQ(st.stList.nExit, 0);
                EXPECT_FALSE(st.stList.strOut.empty());
            } else {
                EXPECT_EQ(st.stList.nExit, 1);
                EXPECT_EQ(st.stExtract.nExit, 1);
            }
        }
        {
            Sandbox sandbox;
            const Extracted st = ListAndExtract(Fixture(c_pszFormat, "corrupt"), sandbox);
            EXPECT_EQ(st.stList.nExit, 0);
            EXPECT_EQ(st.stExtract.nExit, 3);
            EXPECT_TRUE(Contains(st.stExtract.strErr, "damaged")) << st.stExtract.strErr;
        }
    }
}

// One byte changed at a time, at positions spread over the whole file, header and data alike:
// every run ends in time with a documented status, and nothing leaves the destination.
TEST(CliHostile, FlippedBytes) {
    Scratch scratch;
    for (const char* c_psz : {"zip_utf8.zip", "lzh_cp932.lzh", "7z_basic.7z"}) {
        const std::string strOriginal = ReadFile(DataPath(c_psz));
        const std::string strExt = fs::path(c_psz).extension();
        int anStatus[4] = {};
        constexpr size_t c_nFlips = 24;
        for (size_t i = 0; i < c_nFlips; ++i) {
            std::string strBytes = strOriginal;
            const size_t nAt = i * (strBytes.size() - 1) / (c_nFlips - 1);
            strBytes[nAt] = static_cast<char>(strBytes[nAt] ^ (i % 2 ? 0xFF : 0x01));
            const fs::path path = scratch / ("flip" + std::to_string(i) + strExt);
            WriteFile(path, strBytes);
            SCOPED_TRACE(std::string(c_psz) + " byte " + std::to_string(nAt));
            Sandbox sandbox;
            const Extracted st = ListAndExtract(path, sandbox, 10);
            if (st.stExtract.nExit >= 0 && st.stExtract.nExit < 4) ++anStatus[st.stExtract.nExit];
        }
        // Damage is noticed: most changed copies do not extract cleanly.
        EXPECT_GT(anStatus[1] + anStatus[3], static_cast<int>(c_nFlips / 2)) << c_psz;
    }
}

TEST(CliHostile, EncryptedEntries) {
    {
        Sandbox sandbox;
        const Extracted st = ListAndExtract(DataPath("zip_encrypted.zip"), sandbox);
        EXPECT_EQ(Paths(st.stList.strOut), (std::vector<std::string>{"/secret.txt", "/plain.txt"}));
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "secret.txt: encrypted (not supported)"))
            << st.stExtract.strErr;
        EXPECT_EQ(st.vstrTree, std::vector<std::string>{"plain.txt"});
    }
    {
        Sandbox sandbox;
        const Extracted st = ListAndExtract(DataPath("7z_encrypted.7z"), sandbox);
        EXPECT_EQ(Paths(st.stList.strOut), std::vector<std::string>{"/secret.txt"});
        EXPECT_EQ(st.stExtract.nExit, 3);
        EXPECT_TRUE(Contains(st.stExtract.strErr, "encrypted")) << st.stExtract.strErr;
        EXPECT_TRUE(st.vstrTree.empty());
    }
    {
        // Even the names are encrypted: nothing to list.
        Sandbox sandbox;
        const Extracted st = ListAndExtract(DataPath("7z_header_encrypted.7z"), sandbox);
        EXPECT_EQ(st.stList.nExit, 1);
        EXPECT_EQ(st.stExtract.nExit, 1);
    }
    // LHA has no encryption.
}

TEST(CliHostile, ExtensionsThatLie) {
    Scratch scratch;
    const struct {
        const char* pszSource;  // null: the content below
        const char* pszContent;
        const char* pszName;
    } c_aCase[] = {
        {"zip_utf8.zip", nullptr, "zip.lzh"},
        {"zip_utf8.zip", nullptr, "zip.7z"},
        {"lzh_cp932.lzh", nullptr, "lzh.7z"},
        {"lzh_cp932.lzh", nullptr, "lzh.zip"},
        {"7z_basic.7z", nullptr, "7z.zip"},
        {"7z_basic.7z", nullptr, "7z.lzh"},
        {nullptr, "just some text\n", "text.zip"},
        {nullptr, "just some text\n", "text.lzh"},
        {nullptr, "just some text\n", "text.7z"},
        {nullptr, "", "empty.zip"},
        {nullptr, "", "empty.lzh"},
        {nullptr, "", "empty.7z"},
    };
    for (const auto& c_case : c_aCase) {
        WriteFile(scratch / c_case.pszName,
                  c_case.pszSource ? ReadFile(DataPath(c_case.pszSource)) : c_case.pszContent);
    }
    // Not files at all: a pipe that nobody writes to must not hang the open.
    ASSERT_EQ(mkfifo((scratch / "pipe.zip").c_str(), 0600), 0);
    fs::create_directory(scratch / "folder.zip");
    std::vector<std::string> vstrName{"pipe.zip", "folder.zip"};
    for (const auto& c_case : c_aCase) vstrName.push_back(c_case.pszName);
    for (const std::string& c_strName : vstrName) {
        SCOPED_TRACE(c_strName);
        Sandbox sandbox;
        const Extracted st = ListAndExtract(scratch / c_strName, sandbox, 10);
        EXPECT_EQ(st.stList.nExit, 1);
        EXPECT_EQ(st.stList.strOut, "");
        EXPECT_LT(st.stList.dSeconds, 5);
        EXPECT_EQ(st.stExtract.nExit, 1);
        EXPECT_TRUE(st.vstrTree.empty());
    }
}
