// Replays every kept fuzz input (regressions/<target>/) and every seed through the targets' own
// functions, so that the ordinary test run guards what the fuzzers found.
#include <gtest/gtest.h>

#include <stdexcept>

#include "FuzzTargets.h"
#include "support/Support.h"

using namespace kestrel::test;

namespace {

struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<fs::path> FilesIn(const fs::path& c_folder, const std::string& c_strExtension = "") {
    std::vector<fs::path> v;
    std::error_code ec;
    for (const auto& c_entry : fs::directory_iterator(c_folder, ec)) {
        if (c_entry.is_regular_file() &&
            (c_strExtension.empty() || c_entry.path().extension() == c_strExtension))
            v.push_back(c_entry.path());
    }
    std::sort(v.begin(), v.end());
    return v;
}

TEST(FuzzReplay, KeptInputsAndSeeds) {
    kestrel_fuzz::SetViolationHandler([](const std::string& c_str) { throw Broken(c_str); });
    kestrel_fuzz::LimitFileSizes();
    const fs::path here = KESTREL_SOURCE_DIR "/tests/fuzz";
    for (const auto& c_target : kestrel_fuzz::Targets()) {
        std::vector<fs::path> v = FilesIn(here / "regressions" / c_target.pszName);
        const auto vSeeds = *c_target.pszSeedExtension
                                ? FilesIn(fs::path(DataPath("")), c_target.pszSeedExtension)
                                : FilesIn(here / "corpus" / c_target.pszName);
        EXPECT_FALSE(vSeeds.empty()) << c_target.pszName;
        v.insert(v.end(), vSeeds.begin(), vSeeds.end());
        for (const fs::path& c_file : v) {
            const std::string strBytes = ReadFile(c_file);
            try {
                c_target.pfnRun(reinterpret_cast<const uint8_t*>(strBytes.data()), strBytes.size());
            } catch (const Broken& c_e) {
                ADD_FAILURE() << c_target.pszName << " " << c_file << ": " << c_e.what();
            }
        }
    }
    kestrel_fuzz::SetViolationHandler(nullptr);
}

}  // namespace
