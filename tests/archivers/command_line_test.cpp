// Command lines other than the engine's own forms are refused without touching the disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "ArchiverPlugin.h"

using namespace kestrel_test;
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
    return std::string(1, '"').append(s).append(1, '"');
}

TEST(CommandLine, ForeignFormsAreRefusedAndTheDiskIsUntouched) {
    ScratchDir dir;
    std::string resp = dir / "resp.tmp";
    WriteFile(resp, "\"stored.txt\"\r\n");
    std::string dest = dir / "never";
    struct Case {
        Kind k;
        std::string archive;
        std::vector<std::string> bad;
    };
    std::string lzh = Quote(DataPath("lzh_cp932.lzh"));
    std::string zip = Quote(DataPath("zip_utf8.zip"));
    std::string sz = Quote(DataPath("7z_basic.7z"));
    std::string d = Quote(dest);
    Case cases[] = {
        {Kind::Lha,
         lzh,
         {"", "   ", "x " + lzh + " " + d + " @\"" + resp + "\"",         // unknown command
          "e -a2 " + lzh + " " + d + " @\"" + resp + "\"",                // no overwrite switch
          "e -c1 -m1 " + lzh + " " + d + " @\"" + resp + "\"",            // no -a2
          "e -c1 -m1 -a2 -r " + lzh + " " + d + " @\"" + resp + "\"",     // unknown switch
          "e -c1 -x1 -a2 " + lzh + " " + d + " @\"" + resp + "\"",        // switches out of order
          "e -c1 -m1 -a2 " + lzh + " " + d + " \"" + resp + "\"",         // no @
          "e -c1 -m1 -a2 " + lzh + " " + d + " extra @\"" + resp + "\"",  // one argument too many
          "e -c1 -m1 -a2 \"" + DataPath("lzh_cp932.lzh") + " " + d + " @\"" + resp +
              "\"",                                                   // open quote
          "d -c1 -m1 -a2 " + lzh + " " + d + " @\"" + resp + "\""}},  // delete
        {Kind::Zip,
         zip,
         {"", "-x", "-x " + zip + " " + d, "-d " + zip + " " + d + " \"@" + resp + "\"",
          "-x -j -j " + zip + " " + d + " \"@" + resp + "\"",
          "-x -o -j " + zip + " " + d + " \"@" + resp + "\"",
          "-x -P secret " + zip + " " + d + " \"@" + resp + "\"",
          "-x " + zip + " \"@" + resp + "\"", "-x " + zip + " " + d + " \"@" + resp + "\" more"}},
        {Kind::SevenZip,
         sz,
         {"", "a \"-o" + dest + "\" " + sz + " \"@" + resp + "\"", "x " + sz + " \"@" + resp + "\"",
          "x -aou \"-o" + dest + "\" " + sz + " \"@" + resp + "\"",
          "x -y -aoa \"-o" + dest + "\" " + sz + " \"@" + resp + "\"",
          "x \"-o" + dest + "\" " + sz + " \"" + resp + "\"",
          "x \"-o" + dest + "\" " + sz + " \"@" + resp + "\" -r",
          "x -psecret \"-o" + dest + "\" " + sz + " \"@" + resp + "\""}},
    };
    for (const auto& c : cases) {
        ArchiverPlugin p(c.k);
        for (const auto& cmd : c.bad) {
            auto r = p.Run(cmd);
            EXPECT_NE(r.nCode, 0) << p.Prefix() << ": " << cmd;
            EXPECT_FALSE(r.strOutput.empty()) << cmd;
            EXPECT_FALSE(fs::exists(dest)) << cmd;
        }
        EXPECT_NE(p.Command(nullptr, nullptr, nullptr, 0), 0);
    }
}

TEST(CommandLine, UnusableArchivesAndResponseFilesFailBeforeWriting) {
    ScratchDir dir;
    std::string dest = dir / "never";
    std::string good = dir / "good.tmp", junk = dir / "junk.tmp";
    WriteFile(good, "\"stored.txt\"\r\n");
    WriteFile(junk, "\"stored.txt\" -x\r\n\"unterminated\r\n");
    for (Kind k : {Kind::Lha, Kind::Zip, Kind::SevenZip}) {
        ArchiverPlugin p(k);
        std::string own = DataPath(k == Kind::Lha   ? "lzh_cp932.lzh"
                                   : k == Kind::Zip ? "zip_utf8.zip"
                                                    : "7z_basic.7z");
        std::string foreign = DataPath(k == Kind::Zip ? "lzh_cp932.lzh" : "zip_utf8.zip");
        for (auto [archive, resp] : {std::pair{foreign, good},
                                     {own, junk},
                                     {own, dir / "missing.tmp"},
                                     {dir / "missing.zip", good}}) {
            auto r = p.Run(p.CommandLine(archive, dest, resp, 0x92));
            EXPECT_NE(r.nCode, 0) << p.Prefix() << " " << archive << " " << resp;
            EXPECT_FALSE(r.strOutput.empty());
            EXPECT_FALSE(fs::exists(dest));
        }
    }
}

}  // namespace
