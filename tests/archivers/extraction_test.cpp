// Extraction through the command entry point: every switch combination the engine builds,
// overwrite policies, response-file forms, failures and hostile archives.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "ArchiverPlugin.h"

using namespace kestrel_test;
namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0;
}

bool IsLink(const std::string& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

struct Fixture {
    Kind eKind;
    const char* pszFile;
};

// The basic fixture of each format, holding the same tree.
const Fixture kBasic[] = {
    {Kind::Lha, "lzh_cp932.lzh"}, {Kind::Zip, "zip_utf8.zip"}, {Kind::SevenZip, "7z_basic.7z"}};

const char* kNested = "/日本語/ソフト/能力.txt";
const char* kNestedData = "0x5C second bytes: \x95\x5c \x83\x5c\n";

// Whether an engine mode keeps existing files or replaces them, per plug-in.
bool Overwrites(Kind k, uint32_t mode) {
    uint32_t ow = mode & 0x0F, query = mode & 0xC0;
    if (k == Kind::Lha) return ow == 0x02 && query != 0x40;  // -c1 without -m0
    return ow == 0x02;
}

class Extraction : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(Extraction, EverySwitchCombinationPlacesAndKeepsOrOverwrites) {
    for (const auto& f : kBasic) {
        ArchiverPlugin p(f.eKind);
        ASSERT_TRUE(p.Loaded());
        int run = 0;
        for (uint32_t ow : {0x00u, 0x01u, 0x02u, 0x04u}) {
            for (uint32_t path : {0x10u, 0x20u}) {
                for (uint32_t query : {0x00u, 0x40u, 0x80u}) {
                    uint32_t mode = ow | path | query;
                    std::string dest = dir / (p.Prefix() + std::to_string(++run) + "/staging/");
                    std::string where =
                        path == 0x10 ? dest + "日本語/ソフト/能力.txt" : dest + "能力.txt";
                    SCOPED_TRACE(p.Prefix() + " mode " + std::to_string(mode) + ": " +
                                 p.CommandLine("A", "D", "R", mode));
                    auto r = p.Extract(DataPath(f.pszFile), dest, {kNested, "/stored.txt"}, mode,
                                       dir.Path());
                    EXPECT_EQ(r.nCode, 0) << r.strOutput;
                    EXPECT_EQ(ReadFile(where), kNestedData);
                    EXPECT_EQ(ReadFile(dest + "stored.txt"), "x");
                    EXPECT_EQ(Exists(dest + "能力.txt"), path != 0x10);
                    // Again over a changed copy: replaced or kept, never an error.
                    WriteFile(where, "changed");
                    r = p.Extract(DataPath(f.pszFile), dest, {kNested}, mode, dir.Path());
                    EXPECT_EQ(r.nCode, 0) << r.strOutput;
                    EXPECT_EQ(ReadFile(where), Overwrites(f.eKind, mode) ? kNestedData : "changed");
                }
            }
        }
    }
}

TEST_F(Extraction, TheApplicationsFourModes) {
    // The table of switch strings the engine sends.
    ArchiverPlugin lha(Kind::Lha), zip(Kind::Zip), sz(Kind::SevenZip);
    EXPECT_EQ(lha.CommandLine("A", "D", "R", 0x50), "e -x1 -m0 -c1 -m0 -a2 \"A\" \"D\" @\"R\"");
    EXPECT_EQ(lha.CommandLine("A", "D", "R", 0x92), "e -x1 -c1 -m1 -a2 \"A\" \"D\" @\"R\"");
    EXPECT_EQ(zip.CommandLine("A", "D", "R", 0xA2), "-x -j -o \"A\" \"D\" \"@R\"");
    EXPECT_EQ(sz.CommandLine("A", "D", "R", 0x60), "e \"-oD\" \"A\" \"@R\"");
    for (const auto& f : kBasic) {
        ArchiverPlugin p(f.eKind);
        for (uint32_t mode : {0x50u, 0x60u, 0x92u, 0xA2u}) {
            std::string dest = dir / (p.Prefix() + std::to_string(mode));
            auto r = p.Extract(DataPath(f.pszFile), dest,
                               {kNested, "/日本語/表計算.txt", "/空のファイル.txt", "/stored.txt",
                                "/compressed.txt"},
                               mode, dir.Path());
            EXPECT_EQ(r.nCode, 0) << p.Prefix() << " " << r.strOutput;
            std::string sub = (mode & 0x10) ? "/日本語/" : "/";
            EXPECT_EQ(ReadFile(dest + sub + "表計算.txt"), "表とソの名前\n") << p.Prefix();
            EXPECT_TRUE(Exists(dest + "/空のファイル.txt"));
            EXPECT_EQ(ReadFile(dest + "/compressed.txt").size(), 4690u);
        }
    }
}

TEST_F(Extraction, LhaWithoutDestinationUsesTheCurrentFolder) {
    ArchiverPlugin lha(Kind::Lha);
    std::string old = fs::current_path().string();
    fs::current_path(dir.Path());
    WriteFile("resp.tmp", "\"stored.txt\" -p2\r\n");
    auto r = lha.Run("e -c1 -m1 -a2 \"" + DataPath("lzh_cp932.lzh") + "\" @\"resp.tmp\"");
    fs::current_path(old);
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "stored.txt"), "x");
}

TEST_F(Extraction, ResponseFileForms) {
    // Archive and destination paths with blanks and Japanese; LF, CR LF, unquoted, duplicates.
    std::string folder = dir / "書庫 の フォルダ";
    fs::create_directories(folder);
    struct Case {
        Kind k;
        const char* file;
        std::string lines;
    };
    Case cases[] = {
        {Kind::Lha, "lzh_cp932.lzh",
         "\"日本語/ソフト/能力.txt\" -p2\n\"stored.txt\" -p2\r\n\"stored.txt\" -p2\r\n"},
        {Kind::Lha, "lzh_cp932.lzh", "日本語/ソフト/能力.txt\nstored.txt"},
        {Kind::Zip, "zip_utf8.zip", "\"日本語/ソフト/能力.txt\"\n\r\n\"stored.txt\"\n"},
        {Kind::SevenZip, "7z_basic.7z",
         "\"日本語\\ソフト\\能力.txt\"\r\n\"stored.txt\"\r\n\"stored.txt\"\r\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        ArchiverPlugin p(c.k);
        std::string archive = folder + "/" + c.file;
        fs::copy_file(DataPath(c.file), archive, fs::copy_options::overwrite_existing);
        std::string dest = folder + "/展開 先 " + std::to_string(++n) + "/";
        std::string resp = folder + "/応答 " + std::to_string(n) + ".tmp";
        WriteFile(resp, c.lines);
        auto r = p.Run(p.CommandLine(archive, dest, resp, 0x92));
        EXPECT_EQ(r.nCode, 0) << c.lines << r.strOutput;
        EXPECT_EQ(ReadFile(dest + "日本語/ソフト/能力.txt"), kNestedData) << c.lines;
        EXPECT_EQ(ReadFile(dest + "stored.txt"), "x") << c.lines;
    }
    // An empty response file extracts nothing and succeeds.
    for (const auto& f : kBasic) {
        ArchiverPlugin p(f.eKind);
        std::string dest = dir / ("empty" + p.Prefix());
        auto r = p.Extract(DataPath(f.pszFile), dest, {}, 0x92, dir.Path());
        EXPECT_EQ(r.nCode, 0) << r.strOutput;
        EXPECT_TRUE(fs::is_empty(dest));
    }
}

TEST_F(Extraction, MsDosLhaPathsAndFolders) {
    ArchiverPlugin lha(Kind::Lha);
    auto r = lha.Extract(DataPath("lzh_msdos.lzh"), dir / "out", {"/表/ソ.txt", "/GAP.TXT"}, 0x92,
                         dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "out/表/ソ.txt"), "hyou so\r\n");
    // Folder entries create folders; without paths they create nothing.
    ArchiverPlugin zip(Kind::Zip);
    r = zip.Extract(DataPath("zip_utf8.zip"), dir / "dirs", {"/日本語/ソフト/"}, 0x92, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_TRUE(fs::is_directory(dir / "dirs/日本語/ソフト"));
    r = zip.Extract(DataPath("zip_utf8.zip"), dir / "flat", {"/日本語/ソフト/"}, 0xA2, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_TRUE(fs::is_empty(dir / "flat"));
}

TEST_F(Extraction, MissingNamesFailAfterTheRestIsExtracted) {
    for (const auto& f : kBasic) {
        ArchiverPlugin p(f.eKind);
        std::string dest = dir / ("missing" + p.Prefix());
        auto r = p.Extract(DataPath(f.pszFile), dest, {"/no such file.txt", "/stored.txt"}, 0x92,
                           dir.Path());
        EXPECT_NE(r.nCode, 0);
        EXPECT_NE(r.strOutput.find("no such file.txt"), std::string::npos) << r.strOutput;
        EXPECT_EQ(ReadFile(dest + "/stored.txt"), "x");
    }
}

TEST_F(Extraction, EncryptedAndDamagedEntries) {
    struct Case {
        Kind k;
        const char* file;
        const char* bad;
        const char* good;
        const char* goodData;
    };
    Case cases[] = {
        {Kind::Zip, "zip_encrypted.zip", "/secret.txt", "/plain.txt", "plain\n"},
        {Kind::SevenZip, "7z_encrypted.7z", "/secret.txt", nullptr, nullptr},
        {Kind::Zip, "zip_corrupt.zip", "/bad.txt", "/ok.txt", "fine\n"},
        {Kind::Lha, "lzh_corrupt.lzh", "/bad.txt", "/ok.txt", "fine\n"},
        {Kind::SevenZip, "7z_corrupt.7z", "/compressed.txt", nullptr, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        ArchiverPlugin p(c.k);
        std::string dest = dir / ("case" + std::to_string(++n));
        std::vector<std::string> names = {c.bad};
        if (c.good) names.push_back(c.good);
        auto r = p.Extract(DataPath(c.file), dest, names, 0x92, dir.Path());
        EXPECT_NE(r.nCode, 0) << c.file;
        EXPECT_FALSE(r.strOutput.empty()) << c.file;
        EXPECT_FALSE(Exists(dest + c.bad)) << c.file;
        if (c.good) {
            EXPECT_EQ(ReadFile(dest + c.good), c.goodData) << c.file;
        }
        // Nothing half-written is left behind.
        for (const auto& e : fs::directory_iterator(dest)) {
            EXPECT_EQ(e.path().filename().string().rfind(".kestrel-", 0), std::string::npos)
                << c.file;
        }
    }
}

TEST_F(Extraction, LegacyNamesMatchAsListed) {
    ArchiverPlugin zip(Kind::Zip);
    auto r = zip.Extract(DataPath("zip_cp932.zip"), dir / "cp932",
                         {"/日本語/表計算.txt", "/ソフト.txt"}, 0x92, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "cp932/日本語/表計算.txt"), "\x95\x5c");
    r = zip.Extract(DataPath("zip_names.zip"), dir / "names",
                    {"/新しい名前.txt", "/古い.txt", "/ユーティーエフ.txt", "/フラグ付き.txt"},
                    0x92, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "names/新しい名前.txt"), "new\n");
    EXPECT_EQ(ReadFile(dir / "names/古い.txt"), "stale\n");
    ArchiverPlugin lha(Kind::Lha);
    r = lha.Extract(DataPath("lzh_utf8.lzh"), dir / "utf8", {"/ユニコード.txt"}, 0x92, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "utf8/ユニコード.txt"), "UTF-8 の名前\n");
}

TEST_F(Extraction, SevenZipAfterEntriesOfWhole64KiBlocks) {
    ArchiverPlugin sz(Kind::SevenZip);
    auto r = sz.Extract(DataPath("7z_skip65536.7z"), dir / "out", {"/b.txt", "/d.txt"}, 0x92,
                        dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "out/b.txt"), "after 64 KiB\n");
    EXPECT_EQ(ReadFile(dir / "out/d.txt"), "after 128 KiB\n");
    r = sz.Extract(DataPath("7z_skip65536.7z"), dir / "out2", {"/d.txt"}, 0x92, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "out2/d.txt"), "after 128 KiB\n");
}

TEST_F(Extraction, DataDescriptorsAndWholeArchives) {
    ArchiverPlugin zip(Kind::Zip);
    auto r = zip.Extract(DataPath("zip_descriptor.zip"), dir / "dd",
                         {"/stored.txt", "/deflated.txt"}, 0x92, dir.Path());
    EXPECT_EQ(r.nCode, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(dir / "dd/stored.txt").size(), 350u);
    EXPECT_EQ(ReadFile(dir / "dd/deflated.txt").size(), 6690u);
    // Every listed name of every fixture extracts (as the engine asks for a whole archive).
    for (const auto& f : kBasic) {
        ArchiverPlugin p(f.eKind);
        std::vector<std::string> all;
        for (const auto& l : p.List(DataPath(f.pszFile))) {
            std::string path = "/" + l.strName;
            for (auto& c : path) {
                if (c == '\\') c = '/';
            }
            all.push_back(path);
        }
        std::string dest = dir / ("all" + p.Prefix());
        r = p.Extract(DataPath(f.pszFile), dest, all, 0x92, dir.Path());
        EXPECT_EQ(r.nCode, 0) << p.Prefix() << r.strOutput;
        EXPECT_EQ(ReadFile(dest + "/compressed.txt").size(), 4690u);
    }
}

TEST_F(Extraction, HostileNamesAndLinksStayInside) {
    struct Case {
        Kind k;
        const char* file;
        std::vector<std::string> names;
    };
    Case cases[] = {
        {Kind::Zip,
         "zip_hostile.zip",
         {"/../evil.txt", "//abs.txt", "/a/../../evil2.txt", "/good.txt", "/link_out",
          "/sub/link_in", "/ldir", "/ldir/through.txt", "/dev"}},
        {Kind::Lha,
         "lzh_hostile.lzh",
         {"/../evil.txt", "//abs.txt", "/good.txt", "/link_out", "/link_in", "/fifo"}},
        {Kind::SevenZip, "7z_links.7z", {"/good.txt", "/link_out", "/link_in"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        ArchiverPlugin p(c.k);
        std::string box = dir / ("box" + std::to_string(++n));
        std::string dest = box + "/a/b";
        fs::create_directories(dest);
        auto r = p.Extract(DataPath(c.file), dest, c.names, 0x92, dir.Path());
        EXPECT_NE(r.nCode, 0) << c.file;
        EXPECT_NE(r.strOutput.find("refused"), std::string::npos) << r.strOutput;
        EXPECT_EQ(ReadFile(dest + "/good.txt"), "good\n") << c.file;
        // Nothing beside the destination, and no link that leads out of it.
        for (const auto& e : fs::recursive_directory_iterator(box)) {
            std::string rel = fs::relative(e.path(), box).string();
            EXPECT_TRUE(rel == "a" || rel.rfind("a/b", 0) == 0) << c.file << ": " << rel;
        }
        EXPECT_FALSE(Exists(dest + "/link_out")) << c.file;
        EXPECT_FALSE(Exists(dest + "/dev"));
        EXPECT_FALSE(Exists(dest + "/fifo"));
        EXPECT_FALSE(Exists(dest + "/sub/through.txt"));
        if (c.k == Kind::Zip) {
            EXPECT_TRUE(IsLink(dest + "/sub/link_in"));
            EXPECT_EQ(ReadFile(dest + "/sub/link_in"), "good\n");
            EXPECT_TRUE(IsLink(dest + "/ldir"));
        } else {
            EXPECT_TRUE(IsLink(dest + "/link_in")) << c.file;
        }
    }
}

TEST_F(Extraction, DamagedCopiesNeitherCrashNorLeaveTheDestination) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (const auto& f : kBasic) {
        ArchiverPlugin p(f.eKind);
        std::string whole = ReadFile(DataPath(f.pszFile));
        std::vector<std::string> all;
        for (const auto& l : p.List(DataPath(f.pszFile))) all.push_back("/" + l.strName);
        for (int i = 0; i < 60; ++i) {
            std::string copy = whole;
            for (int k = 0; k < 3; ++k)
                copy[(next() >> 8) % copy.size()] ^= static_cast<char>(1 + (next() >> 8) % 255);
            std::string box = dir / (p.Prefix() + std::to_string(i));
            fs::create_directories(box + "/dest");
            WriteFile(box + "/damaged", copy);
            p.List(box + "/damaged");
            p.Extract(box + "/damaged", box + "/dest", all, 0x92, box);
            for (const auto& e : fs::directory_iterator(box)) {
                std::string name = e.path().filename().string();
                EXPECT_TRUE(name == "dest" || name == "damaged") << name;
            }
        }
    }
}

TEST_F(Extraction, OutputBufferIsNeverOverrun) {
    ArchiverPlugin zip(Kind::Zip);
    std::string resp = dir / "resp.tmp";
    WriteFile(resp, "\"no such entry with a rather long name.txt\"\r\n");
    std::string cmd = zip.CommandLine(DataPath("zip_utf8.zip"), dir / "out", resp, 0x92);
    char buf[16];
    std::memset(buf, 'Z', sizeof(buf));
    EXPECT_NE(zip.Command(nullptr, cmd.c_str(), buf, 8), 0);
    EXPECT_EQ(buf[7], '\0');
    for (size_t i = 8; i < sizeof(buf); ++i) EXPECT_EQ(buf[i], 'Z');
    EXPECT_NE(zip.Command(nullptr, cmd.c_str(), nullptr, 0), 0);
    std::memset(buf, 'Z', sizeof(buf));
    EXPECT_NE(zip.Command(nullptr, "bogus", buf, 1), 0);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'Z');
}

}  // namespace
