// Listing through the exports: names (UTF-8 and CP932), sizes, ratios, dates, wildcards,
// foreign and damaged files, progress and handle misuse.
#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <map>

#include "ArchiverPlugin.h"

using namespace kestrel_test;

namespace {

constexpr uint16_t DosDate(int y, int m, int d) {
    return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d);
}
constexpr uint16_t DosTime(int h, int m, int s) {
    return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2));
}

std::vector<std::string> Names(const std::vector<Listed>& v) {
    std::vector<std::string> out;
    for (const auto& l : v) out.push_back(l.strName);
    return out;
}

const Listed* Find(const std::vector<Listed>& v, const std::string& name) {
    for (const auto& l : v) {
        if (l.strName == name) return &l;
    }
    return nullptr;
}

class Listing : public ::testing::Test {
protected:
    ArchiverPlugin lha{Kind::Lha}, zip{Kind::Zip}, sevenZip{Kind::SevenZip};
    ZoneScope utc{"UTC"};
};

TEST_F(Listing, PluginsExportEveryFunction) {
    for (auto* p : {&lha, &zip, &sevenZip}) {
        ASSERT_TRUE(p->Loaded()) << p->Prefix();
        EXPECT_TRUE(p->Command && p->OpenArchive && p->CloseArchive && p->FindFirst &&
                    p->FindNext && p->GetArcFileSize && p->GetArcFileSizeEx &&
                    p->GetArcOriginalSizeEx && p->GetArcCompressedSizeEx && p->GetArcReadSize &&
                    p->GetArcReadSizeEx && p->GetOriginalSizeEx && p->GetCompressedSizeEx &&
                    p->GetFileName)
            << p->Prefix();
    }
}

TEST_F(Listing, LzhCp932NamesFoldersSizesAndDates) {
    auto v = lha.List(DataPath("lzh_cp932.lzh"));
    EXPECT_EQ(Names(v),
              (std::vector<std::string>{"日本語/", "日本語/ソフト/", "日本語/ソフト/能力.txt",
                                        "日本語/表計算.txt", "空のファイル.txt", "stored.txt",
                                        "compressed.txt"}));
    const Listed* c = Find(v, "compressed.txt");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->nOriginal, 4690u);
    EXPECT_LT(c->nCompressed, c->nOriginal);
    EXPECT_EQ(c->nRatio, c->nCompressed * 1000u / 4690u);
    EXPECT_EQ(c->llOriginal, 4690);
    EXPECT_EQ(c->nDate, DosDate(2024, 5, 1));
    EXPECT_EQ(c->nTime, DosTime(12, 34, 56));
    const Listed* empty = Find(v, "空のファイル.txt");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->nOriginal, 0u);
    EXPECT_EQ(empty->nRatio, 0);
    for (const auto& l : v) EXPECT_TRUE(l.bZeroTail) << l.strName;
}

TEST_F(Listing, LzhLevelsUtf8AndMsDosPaths) {
    for (const char* f : {"lzh_level0.lzh", "lzh_level1.lzh"}) {
        auto v = lha.List(DataPath(f));
        EXPECT_EQ(Names(v), (std::vector<std::string>{"a.txt", "sub/b.txt"})) << f;
    }
    EXPECT_EQ(Names(lha.List(DataPath("lzh_utf8.lzh"))),
              std::vector<std::string>{"ユニコード.txt"});
    // "\" between folders, and CP932 characters whose second byte is 0x5C.
    auto v = lha.List(DataPath("lzh_msdos.lzh"));
    EXPECT_EQ(Names(v), (std::vector<std::string>{"表/ソ.txt", "GAP.TXT"}));
}

TEST_F(Listing, StoredLocalTimesAreReportedAsStored) {
    // 02:30 on 2024-03-31 does not exist in Berlin; the stored fields still come back.
    ZoneScope berlin("Europe/Berlin");
    auto v = lha.List(DataPath("lzh_msdos.lzh"));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].nDate, DosDate(2024, 3, 31));
    EXPECT_EQ(v[1].nTime, DosTime(2, 30, 0));
    auto z = zip.List(DataPath("zip_dostime.zip"));
    ASSERT_EQ(z.size(), 1u);
    EXPECT_EQ(z[0].nDate, DosDate(2024, 3, 31));
    EXPECT_EQ(z[0].nTime, DosTime(2, 30, 0));
}

TEST_F(Listing, UtcTimesAreShownInTheLocalZone) {
    ZoneScope tokyo("Asia/Tokyo");
    for (auto [p, f] : {std::pair{&zip, "zip_utctime.zip"},
                        {&lha, "lzh_cp932.lzh"},
                        {&sevenZip, "7z_basic.7z"}}) {
        auto v = p->List(DataPath(f));
        ASSERT_FALSE(v.empty()) << f;
        EXPECT_EQ(v[0].nDate, DosDate(2024, 5, 1)) << f;
        EXPECT_EQ(v[0].nTime, DosTime(21, 34, 56)) << f;
    }
}

TEST_F(Listing, ZipNameDecodingOrder) {
    auto v = zip.List(DataPath("zip_names.zip"));
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[0].strName, "新しい名前.txt");      // CP932 name with a valid Unicode path field
    EXPECT_EQ(v[1].strName, "古い.txt");            // stale Unicode path field: the CP932 name
    EXPECT_EQ(v[2].strName, "ユーティーエフ.txt");  // UTF-8 without the flag
    EXPECT_EQ(v[3].strName, "フラグ付き.txt");
    EXPECT_EQ(Names(zip.List(DataPath("zip_cp932.zip"))),
              (std::vector<std::string>{"日本語/", "日本語/表計算.txt", "ソフト.txt"}));
    EXPECT_EQ(Names(zip.List(DataPath("zip_utf8.zip"))),
              (std::vector<std::string>{"日本語/", "日本語/表計算.txt", "日本語/ソフト/",
                                        "日本語/ソフト/能力.txt", "空のファイル.txt", "stored.txt",
                                        "compressed.txt"}));
}

TEST_F(Listing, LongNamesAreCutAtACharacterAndComeWholeFromGetFileName) {
    auto v = zip.List(DataPath("zip_names.zip"), "long/*");
    ASSERT_EQ(v.size(), 1u);
    std::string full = "long/";
    for (int i = 0; i < 200; ++i) full += "長";
    full += ".txt";
    EXPECT_EQ(v[0].strFullName, full);
    EXPECT_LE(v[0].strName.size(), 512u);
    EXPECT_EQ(v[0].strName, full.substr(0, 512));  // 169 whole characters after "long/"
    EXPECT_TRUE(v[0].bZeroTail);
}

TEST_F(Listing, NamesDoNotDependOnTheProcessLocale) {
    // The test program starts in the "C" locale; compare with a UTF-8 one.
    struct Case {
        ArchiverPlugin* p;
        const char* f;
    };
    std::vector<Case> cases = {{&lha, "lzh_cp932.lzh"},
                               {&lha, "lzh_msdos.lzh"},
                               {&zip, "zip_cp932.zip"},
                               {&zip, "zip_names.zip"},
                               {&sevenZip, "7z_basic.7z"}};
    std::map<std::string, std::vector<std::string>> inC;
    for (auto& c : cases) inC[c.f] = Names(c.p->List(DataPath(c.f)));
    const char* old = setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    ASSERT_TRUE(setlocale(LC_ALL, "C.UTF-8"));
    for (auto& c : cases) EXPECT_EQ(Names(c.p->List(DataPath(c.f))), inC[c.f]) << c.f;
    setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(inC["lzh_cp932.lzh"][3], "日本語/表計算.txt");
}

TEST_F(Listing, SevenZipUsesBackslashesAndMarksFolders) {
    auto v = sevenZip.List(DataPath("7z_basic.7z"));
    auto names = Names(v);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"compressed.txt", "stored.txt", "日本語\\",
                                               "日本語\\ソフト\\", "日本語\\ソフト\\能力.txt",
                                               "日本語\\表計算.txt", "空のファイル.txt"}));
    const Listed* c = Find(v, "compressed.txt");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->nOriginal, 4690u);
    EXPECT_LE(c->nCompressed, c->nOriginal);
}

TEST_F(Listing, SizesOfFourGibibytesAndMore) {
    auto v = zip.List(DataPath("zip_zip64_declared.zip"));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].llOriginal, 5LL << 30);
    EXPECT_EQ(v[0].llCompressed, 5LL << 30);
    EXPECT_EQ(v[0].nOriginal, 0xFFFFFFFFu);  // the 32-bit field saturates
    EXPECT_EQ(v[0].nRatio, 1000);
}

TEST_F(Listing, Wildcards) {
    std::string f = DataPath("zip_utf8.zip");
    EXPECT_EQ(Names(zip.List(f, "*.txt")).size(), 5u);
    EXPECT_EQ(Names(zip.List(f, "日本語/*")).size(), 4u);
    EXPECT_EQ(Names(zip.List(f, "?tored.txt")), std::vector<std::string>{"stored.txt"});
    EXPECT_EQ(Names(zip.List(f,
                             "日本語/??"
                             "?/")),
              std::vector<std::string>{"日本語/ソフト/"});
    EXPECT_TRUE(zip.List(f, "stored").empty());
    EXPECT_TRUE(zip.List(f, "*.doc").empty());
}

TEST_F(Listing, EachPluginOpensOnlyItsOwnFormat) {
    ScratchDir dir;
    WriteFile(dir / "empty.lzh", "");
    WriteFile(dir / "text.txt", "just some text, not an archive at all\n");
    struct Case {
        ArchiverPlugin* p;
        std::string own;
    };
    std::vector<std::string> all = {DataPath("lzh_cp932.lzh"), DataPath("zip_utf8.zip"),
                                    DataPath("7z_basic.7z")};
    for (auto [p, own] : {std::pair{&lha, 0}, {&zip, 1}, {&sevenZip, 2}}) {
        for (int i = 0; i < 3; ++i) {
            HARC h = p->OpenArchive(nullptr, all[i].c_str(), KESTREL_OPEN_MODE);
            EXPECT_EQ(h != nullptr, i == own) << p->Prefix() << " " << all[i];
            if (h) p->CloseArchive(h);
        }
        for (std::string bad : {dir / "empty.lzh", dir / "text.txt", dir / "missing.zip",
                                dir.Path(), std::string()}) {
            EXPECT_EQ(p->OpenArchive(nullptr, bad.c_str(), KESTREL_OPEN_MODE), nullptr)
                << p->Prefix() << " " << bad;
        }
        EXPECT_EQ(p->OpenArchive(nullptr, nullptr, KESTREL_OPEN_MODE), nullptr);
    }
}

TEST_F(Listing, DamagedArchivesEndEarlyOrDoNotOpen) {
    bool opened = false;
    auto v = lha.List(DataPath("lzh_truncated.lzh"), "*", &opened);
    EXPECT_TRUE(opened);
    EXPECT_LT(v.size(), 7u);
    zip.List(DataPath("zip_truncated.zip"), "*", &opened);
    EXPECT_FALSE(opened);
    sevenZip.List(DataPath("7z_truncated.7z"), "*", &opened);
    EXPECT_FALSE(opened);
    sevenZip.List(DataPath("7z_header_encrypted.7z"), "*", &opened);
    EXPECT_FALSE(opened);
    // Every prefix of an archive: never a crash, never more entries than the whole has.
    ScratchDir dir;
    for (auto [p, f] :
         {std::pair{&lha, "lzh_cp932.lzh"}, {&zip, "zip_utf8.zip"}, {&sevenZip, "7z_basic.7z"}}) {
        std::string whole = ReadFile(DataPath(f));
        size_t n = p->List(DataPath(f)).size();
        for (size_t len = 0; len < whole.size(); len += 7) {
            std::string cut = dir / ("cut_" + std::to_string(len));
            WriteFile(cut, whole.substr(0, len));
            EXPECT_LE(p->List(cut).size(), n) << f << " cut at " << len;
        }
    }
}

TEST_F(Listing, ReadSizeGrowsToTheFileSize) {
    for (auto [p, f] :
         {std::pair{&lha, "lzh_cp932.lzh"}, {&zip, "zip_utf8.zip"}, {&sevenZip, "7z_basic.7z"}}) {
        HARC h = p->OpenArchive(nullptr, DataPath(f).c_str(), KESTREL_OPEN_MODE);
        ASSERT_TRUE(h) << f;
        int64_t total = 0, read = 0, last = 0;
        ASSERT_NE(p->GetArcFileSizeEx(h, &total), 0);
        EXPECT_EQ(static_cast<int64_t>(ReadFile(DataPath(f)).size()), total);
        EXPECT_EQ(p->GetArcFileSize(h), static_cast<uint32_t>(total));
        unsigned char rec[KESTREL_INDIVIDUALINFO_SIZE];
        for (int r = p->FindFirst(h, "*", rec); r == 0; r = p->FindNext(h, rec)) {
            ASSERT_NE(p->GetArcReadSizeEx(h, &read), 0);
            EXPECT_GE(read, last) << f;
            EXPECT_LE(read, total) << f;
            last = read;
        }
        p->GetArcReadSizeEx(h, &read);
        EXPECT_EQ(read, total) << f;
        EXPECT_EQ(p->GetArcReadSize(h), static_cast<uint32_t>(total));
        int64_t orig = 0, comp = 0;
        EXPECT_NE(p->GetArcOriginalSizeEx(h, &orig), 0);
        EXPECT_NE(p->GetArcCompressedSizeEx(h, &comp), 0);
        EXPECT_EQ(orig, 4690 + 19 + 25 + 1) << f;
        EXPECT_GT(comp, 0) << f;
        EXPECT_EQ(p->CloseArchive(h), 0);
    }
}

TEST_F(Listing, HandlesAreCheckedAndEnumerationRestarts) {
    HARC h = zip.OpenArchive(nullptr, DataPath("zip_utf8.zip").c_str(), KESTREL_OPEN_MODE);
    ASSERT_TRUE(h);
    unsigned char rec[KESTREL_INDIVIDUALINFO_SIZE];
    char name[64];
    int64_t size = 0;
    EXPECT_EQ(zip.GetFileName(h, name, sizeof(name)), -1);
    EXPECT_EQ(zip.GetOriginalSizeEx(h, &size), 0);
    EXPECT_NE(zip.FindNext(h, rec), 0);  // nothing started yet
    ASSERT_EQ(zip.FindFirst(h, "*", rec), 0);
    ASSERT_EQ(zip.FindNext(h, rec), 0);
    ASSERT_EQ(zip.FindFirst(h, "*", rec), 0);  // from the start again
    EXPECT_STREQ(reinterpret_cast<char*>(rec + KESTREL_INFO_FILENAME), "日本語/");
    EXPECT_EQ(zip.GetFileName(h, name, 3), static_cast<int>(std::string("日本語/").size() + 1));
    ASSERT_EQ(zip.GetFileName(h, name, sizeof(name)), 0);
    EXPECT_STREQ(name, "日本語/");
    EXPECT_NE(zip.FindFirst(h, "*", nullptr), 0);
    EXPECT_EQ(zip.GetArcFileSizeEx(h, nullptr), 0);
    EXPECT_EQ(zip.CloseArchive(h), 0);
    EXPECT_NE(zip.CloseArchive(h), 0);  // already closed
    EXPECT_NE(zip.CloseArchive(nullptr), 0);
    int dummy = 0;
    EXPECT_NE(zip.FindFirst(&dummy, "*", rec), 0);
    EXPECT_EQ(zip.GetArcFileSize(&dummy), 0u);
}

}  // namespace
