// What tests/data/make-fixtures puts into the archives the end-to-end tests read: entry paths
// and their bytes, so that extracted files can be checked byte for byte.
#pragma once

#include <cstdlib>
#include <map>
#include <string>

namespace kestrel_test {

inline std::string FixtureText(int c_nLines, const std::string& c_strSeed) {
    std::string str;
    for (int i = 0; i < c_nLines; ++i) str += c_strSeed + " line " + std::to_string(i) + "\n";
    return str;
}

inline std::string DataPath(const std::string& c_strName) {
    const char* psz = std::getenv("KESTREL_TEST_DATA");
    return std::string(psz != nullptr ? psz : "tests/data") + "/" + c_strName;
}

// samples/sample.lzh
inline std::map<std::string, std::string> SampleFiles() {
    std::string strReport = FixtureText(200, "報告書");
    std::string strCrLf;
    for (char c : strReport) strCrLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string strLogo;
    for (int n = 0; n < 12; ++n) {
        for (int i = 0; i < 256; ++i) strLogo += static_cast<char>(i);
    }
    return {
        {"readme.txt", "ケストレルの見本書庫です。\n"},
        {"文書/報告書.txt", strCrLf},
        {"文書/画像/表.csv", "名前,値\nソフト,1\n表,2\n"},
        {"文書/画像/logo.bmp", strLogo},
        {"src/main.c", "#include <stdio.h>\nint main(void) { puts(\"hello\"); return 0; }\n"},
        {"src/lib/util.h", "#pragma once\nint util(void);\n"},
        {"空.txt", ""},
    };
}

// lzh_cp932.lzh, zip_utf8.zip and 7z_basic.7z hold the same files.
inline std::map<std::string, std::string> JapaneseFiles() {
    return {
        {"日本語/表計算.txt", "表とソの名前\n"},
        {"日本語/ソフト/能力.txt", "0x5C second bytes: \x95\x5c \x83\x5c\n"},
        {"空のファイル.txt", ""},
        {"stored.txt", "x"},
        {"compressed.txt", FixtureText(300, "圧縮")},
    };
}

}  // namespace kestrel_test
