#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

#include "CArchive_Drivers.h"

using namespace shelf;
using namespace shelf::NArchive;

namespace {

std::string CommandLine(CArchive_CommonArchiver& c, uint32_t c_nMode, const std::string& c_strDir,
                        const std::string& c_strArchive = "/a/x.arc") {
    std::string str = "left over";
    c.MakeCommandLine(&str, c_strArchive, c_strDir, "/r/kr_response_0012ab9c.tmp",
                      static_cast<EXT_MODE>(c_nMode));
    return str;
}

std::string ResponseLines(CArchive_CommonArchiver& c, const std::vector<std::wstring>& c_vstr) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pFile(std::tmpfile(), &std::fclose);
    for (const std::wstring& c_str : c_vstr) c.WriteResponse(pFile.get(), c_str);
    std::rewind(pFile.get());
    std::string str;
    for (int c; (c = std::fgetc(pFile.get())) != EOF;) str.push_back(static_cast<char>(c));
    return str;
}

const std::string kTail = "\"/a/x.arc\" ";

}  // namespace

TEST(Drivers, DescribeThemselves) {
    struct {
        std::unique_ptr<CArchive> pc;
        const wchar_t *pszProvider, *pszName, *pszType, *pszExt;
    } cases[] = {
        {std::make_unique<CArchive_7Zip_7Zip32>(), L"7-Zip32.dll", L"7-ZIP書庫", L"7-ZIP", L".7z"},
        {std::make_unique<CArchive_Lha_Unlha32>(), L"Unlha32.dll", L"LHA書庫", L"LHA", L".lzh"},
        {std::make_unique<CArchive_Zip_UnZip32>(), L"UnZip32.dll", L"ZIP書庫", L"ZIP", L".zip"},
    };
    for (auto& c : cases) {
        ARCHIVE_PROPERTY st;
        ASSERT_EQ(c.pc->Property(&st), 1);
        EXPECT_EQ(st.strProvider, c.pszProvider);
        EXPECT_EQ(st.strName, c.pszName);
        EXPECT_EQ(st.strType, c.pszType);
        EXPECT_EQ(st.strExt, c.pszExt);
        EXPECT_EQ(st.bFind, 1);
        EXPECT_EQ(st.bExtract, 1);
        EXPECT_EQ(st.bCompress + st.bUpdate + st.bRename + st.bDelete, 0);
        EXPECT_EQ(st.pcArchive, c.pc.get());
        EXPECT_EQ(c.pc->Ready(), 0);
    }
}

TEST(Drivers, CommandLinesOfTheFourApplicationModes) {
    CArchive_7Zip_7Zip32 c7z;
    CArchive_Lha_Unlha32 cLha;
    CArchive_Zip_UnZip32 cZip;
    const std::string R = "\"@/r/kr_response_0012ab9c.tmp\"";
    const std::string RLha = "@\"/r/kr_response_0012ab9c.tmp\"";

    EXPECT_EQ(CommandLine(c7z, 0x50, "/d"), "x \"-o/d\" \"/a/x.arc\" " + R);
    EXPECT_EQ(CommandLine(c7z, 0x60, "/d"), "e \"-o/d\" \"/a/x.arc\" " + R);
    EXPECT_EQ(CommandLine(c7z, 0x92, "/d"), "x -aoa -y \"-o/d\" \"/a/x.arc\" " + R);
    EXPECT_EQ(CommandLine(c7z, 0xA2, "/d"), "e -aoa -y \"-o/d\" \"/a/x.arc\" " + R);

    EXPECT_EQ(CommandLine(cLha, 0x50, "/d"), "e -x1 -m0 -c1 -m0 -a2 \"/a/x.arc\" \"/d\" " + RLha);
    EXPECT_EQ(CommandLine(cLha, 0x60, "/d"), "e -m0 -c1 -m0 -a2 \"/a/x.arc\" \"/d\" " + RLha);
    EXPECT_EQ(CommandLine(cLha, 0x92, "/d"), "e -x1 -c1 -m1 -a2 \"/a/x.arc\" \"/d\" " + RLha);
    EXPECT_EQ(CommandLine(cLha, 0xA2, "/d"), "e -c1 -m1 -a2 \"/a/x.arc\" \"/d\" " + RLha);

    EXPECT_EQ(CommandLine(cZip, 0x50, "/d"), "-x \"/a/x.arc\" \"/d\" " + R);
    EXPECT_EQ(CommandLine(cZip, 0x60, "/d"), "-x -j \"/a/x.arc\" \"/d\" " + R);
    EXPECT_EQ(CommandLine(cZip, 0x92, "/d"), "-x -o \"/a/x.arc\" \"/d\" " + R);
    EXPECT_EQ(CommandLine(cZip, 0xA2, "/d"), "-x -j -o \"/a/x.arc\" \"/d\" " + R);

    // Text is passed through byte for byte, blanks and all.
    EXPECT_EQ(CommandLine(cZip, 0x92, "/出力 先", "/書庫 1.zip"),
              "-x -o \"/書庫 1.zip\" \"/出力 先\" " + R);
}

TEST(Drivers, EmptyDestination) {
    CArchive_7Zip_7Zip32 c7z;
    CArchive_Lha_Unlha32 cLha;
    CArchive_Zip_UnZip32 cZip;
    // Only the LHA driver leaves the destination out.
    EXPECT_EQ(CommandLine(cLha, 0x92, ""),
              "e -x1 -c1 -m1 -a2 \"/a/x.arc\" @\"/r/kr_response_0012ab9c.tmp\"");
    EXPECT_EQ(CommandLine(c7z, 0x92, ""),
              "x -aoa -y \"-o\" \"/a/x.arc\" \"@/r/kr_response_0012ab9c.tmp\"");
    EXPECT_EQ(CommandLine(cZip, 0x92, ""),
              "-x -o \"/a/x.arc\" \"\" \"@/r/kr_response_0012ab9c.tmp\"");
}

// Every combination of the three fields, against the switch tables of each driver.
TEST(Drivers, EverySwitchCombination) {
    CArchive_7Zip_7Zip32 c7z;
    CArchive_Lha_Unlha32 cLha;
    CArchive_Zip_UnZip32 cZip;
    const std::map<uint32_t, std::string> m7zOverwrite = {{2, "-aoa "}, {4, "-aos "}};
    const std::map<uint32_t, std::string> mLhaOverwrite = {{1, "-c0 "}, {2, "-c1 "}};
    const std::map<uint32_t, std::string> mLhaConfirm = {{0x40, "-m0 "}, {0x80, "-m1 "}};
    const std::map<uint32_t, std::string> mZipOverwrite = {{2, "-o "}, {4, "-n "}};
    auto find = [](const std::map<uint32_t, std::string>& m, uint32_t n, const char* c_pszElse) {
        auto it = m.find(n);
        return it != m.end() ? it->second : std::string(c_pszElse);
    };
    const std::string R = "\"@/r/kr_response_0012ab9c.tmp\"";
    int nChecked = 0;
    for (uint32_t nOverwrite : {0u, 1u, 2u, 3u, 4u, 8u, 0xFu}) {
        for (uint32_t nPath : {0x00u, 0x10u, 0x20u, 0x30u}) {
            for (uint32_t nConfirm : {0x00u, 0x40u, 0x80u, 0xC0u}) {
                const uint32_t nMode = nOverwrite | nPath | nConfirm;
                const bool bWithPath = (nPath & 0x10) != 0;
                SCOPED_TRACE(nMode);
                EXPECT_EQ(CommandLine(c7z, nMode, "/d"), std::string(bWithPath ? "x " : "e ") +
                                                             find(m7zOverwrite, nOverwrite, "") +
                                                             (nConfirm == 0x80 ? "-y " : "") +
                                                             "\"-o/d\" " + kTail + R);
                EXPECT_EQ(CommandLine(cLha, nMode, "/d"),
                          std::string("e ") + (bWithPath ? "-x1 " : "") +
                              find(mLhaOverwrite, nOverwrite, "-m0 -c1 ") +
                              find(mLhaConfirm, nConfirm, "") + "-a2 " + kTail + "\"/d\" " +
                              "@\"/r/kr_response_0012ab9c.tmp\"");
                EXPECT_EQ(CommandLine(cZip, nMode, "/d"),
                          std::string("-x ") + (bWithPath ? "" : "-j ") +
                              find(mZipOverwrite, nOverwrite, "") + kTail + "\"/d\" " + R);
                ++nChecked;
            }
        }
    }
    EXPECT_EQ(nChecked, 7 * 4 * 4);
    // The cases named by the tables: 0x04 and 0x00 alike for LHA, "-m0 " twice.
    EXPECT_EQ(CommandLine(cLha, 0x04, "/d").substr(0, 14), "e -m0 -c1 -a2 ");
    EXPECT_EQ(CommandLine(cLha, 0x40, "/d").substr(0, 18), "e -m0 -c1 -m0 -a2 ");
    EXPECT_EQ(CommandLine(c7z, 0x04, "/d").substr(0, 7), "e -aos ");
    EXPECT_EQ(CommandLine(cZip, 0x04, "/d").substr(0, 9), "-x -j -n ");
}

TEST(Drivers, ResponseLines) {
    CArchive_7Zip_7Zip32 c7z;
    CArchive_Lha_Unlha32 cLha;
    CArchive_Zip_UnZip32 cZip;
    const std::vector<std::wstring> v = {L"/dir/a.txt", L"/文書/表.csv", L"/dir/a.txt"};
    EXPECT_EQ(
        ResponseLines(c7z, v),
        "\"dir\\a.txt\"\r\n\"\xE6\x96\x87\xE6\x9B\xB8\\\xE8\xA1\xA8.csv\"\r\n\"dir\\a.txt\"\r\n");
    EXPECT_EQ(ResponseLines(cLha, v),
              "\"dir/a.txt\" -p2\r\n\"\xE6\x96\x87\xE6\x9B\xB8/\xE8\xA1\xA8.csv\" -p2\r\n"
              "\"dir/a.txt\" -p2\r\n");
    EXPECT_EQ(
        ResponseLines(cZip, v),
        "\"dir/a.txt\"\r\n\"\xE6\x96\x87\xE6\x9B\xB8/\xE8\xA1\xA8.csv\"\r\n\"dir/a.txt\"\r\n");
    // The first character is dropped whatever it is.
    EXPECT_EQ(ResponseLines(cZip, {L"/", L"xa.txt"}), "\"\"\r\n\"a.txt\"\r\n");
}

TEST(Drivers, OnlySevenZipTurnsBackslashesIntoSlashes) {
    CArchive_7Zip_7Zip32 c7z;
    CArchive_Lha_Unlha32 cLha;
    CArchive_Zip_UnZip32 cZip;
    for (auto* pc : std::initializer_list<CArchive_CommonArchiver*>{&c7z, &cLha, &cZip}) {
        ARCHIVE_FILE st;
        st.strFullPath = L"/dir\\sub\\a.txt";
        pc->AdjustFilePath(&st);
        EXPECT_EQ(st.strFullPath, pc == &c7z ? L"/dir/sub/a.txt" : L"/dir\\sub\\a.txt");
    }
}
