#include <gtest/gtest.h>

#include "CStrSplit.h"

using shelf::CStrSplit;

namespace {

std::vector<std::wstring> Parts(const CStrSplit& c) {
    std::vector<std::wstring> v;
    for (int32_t i = 0; i < c.Count(); ++i) v.emplace_back(c.StrSplitNext(i));
    return v;
}

using W = std::vector<std::wstring>;

}  // namespace

TEST(StrSplit, CharacterSeparator) {
    CStrSplit c;
    EXPECT_EQ(c.StrSplitNext(0), nullptr);  // never split: no parts

    EXPECT_EQ(c.StrSplit(L"/docs/img/a.png", L'/'), 4);
    EXPECT_EQ(Parts(c), (W{L"", L"docs", L"img", L"a.png"}));
    EXPECT_EQ(c.StrSplitNext(4), nullptr);
    EXPECT_EQ(c.StrSplitNext(-1), nullptr);

    EXPECT_EQ(c.StrSplit(L"/docs/", L'/'), 3);
    EXPECT_EQ(Parts(c), (W{L"", L"docs", L""}));

    EXPECT_EQ(c.StrSplit(L"readme.txt", L'/'), 1);
    EXPECT_EQ(Parts(c), (W{L"readme.txt"}));

    EXPECT_EQ(c.StrSplit(L"", L'/'), 1);
    EXPECT_EQ(Parts(c), (W{L""}));

    EXPECT_EQ(c.StrSplit(L"a;;b", L';'), 3);
    EXPECT_EQ(Parts(c), (W{L"a", L"", L"b"}));

    EXPECT_EQ(c.StrSplit(L"/a//b.txt", L'/'), 4);
    EXPECT_EQ(Parts(c), (W{L"", L"a", L"", L"b.txt"}));

    EXPECT_EQ(c.StrSplit(L"日本/語", L'/'), 2);
    EXPECT_EQ(Parts(c), (W{L"日本", L"語"}));
}

TEST(StrSplit, StringSeparator) {
    CStrSplit c;
    EXPECT_EQ(c.StrSplit(L"a;;b", L";;"), 2);
    EXPECT_EQ(Parts(c), (W{L"a", L"b"}));

    EXPECT_EQ(c.StrSplit(L";;a;;;;b;;", L";;"), 5);
    EXPECT_EQ(Parts(c), (W{L"", L"a", L"", L"b", L""}));

    EXPECT_EQ(c.StrSplit(L"a;b", L";;"), 1);
    EXPECT_EQ(Parts(c), (W{L"a;b"}));

    // A separator that overlaps itself: the search goes on after the whole separator.
    EXPECT_EQ(c.StrSplit(L"aaaa", L"aa"), 3);
    EXPECT_EQ(Parts(c), (W{L"", L"", L""}));

    // No caller passes an empty separator; it must neither loop nor crash.
    EXPECT_EQ(c.StrSplit(L"abc", L""), 1);
    EXPECT_EQ(Parts(c), (W{L"abc"}));
    EXPECT_EQ(c.StrSplit(L"abc", static_cast<const wchar_t*>(nullptr)), 1);
    EXPECT_EQ(c.StrSplit(nullptr, L'/'), 1);
    EXPECT_EQ(Parts(c), (W{L""}));
}

TEST(StrSplit, ReadingPartsBackInAnyForm) {
    CStrSplit c;
    ASSERT_EQ(c.StrSplit(L"/docs/readme.txt", L'/'), 3);

    wchar_t szBuf[32];
    std::wmemset(szBuf, L'#', 32);
    EXPECT_EQ(c.StrSplitNext(2, szBuf), 2);
    EXPECT_STREQ(szBuf, L"readme.txt");
    EXPECT_EQ(c.StrSplitNext(1, szBuf), 1);
    EXPECT_STREQ(szBuf, L"docs");
    EXPECT_EQ(c.StrSplitNext(3, szBuf), -1);
    EXPECT_STREQ(szBuf, L"docs");  // untouched

    std::wstring str = L"keep";
    EXPECT_EQ(c.StrSplitNext(0, &str), 0);
    EXPECT_EQ(str, L"");
    str = L"keep";
    EXPECT_EQ(c.StrSplitNext(-1, &str), -1);
    EXPECT_EQ(str, L"keep");

    // Reading is repeatable and does not disturb the parts.
    EXPECT_STREQ(c.StrSplitNext(2), L"readme.txt");
    EXPECT_STREQ(c.StrSplitNext(2), L"readme.txt");

    // A new split replaces all parts.
    ASSERT_EQ(c.StrSplit(L"x", L'/'), 1);
    EXPECT_STREQ(c.StrSplitNext(0), L"x");
    EXPECT_EQ(c.StrSplitNext(1), nullptr);
}
