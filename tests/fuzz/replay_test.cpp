// Replays every kept fuzz input (tests/fuzz/regressions/<target>/) and every seed through the
// fuzz targets' own functions, so that the ordinary test run guards what the fuzzers found.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "FuzzTargets.h"

namespace fs = std::filesystem;
using namespace kestrel_fuzz;

namespace kestrel_fuzz {
void PrintTo(const Target& c_target, std::ostream* pOut) {
    *pOut << c_target.pszName;
}
}  // namespace kestrel_fuzz

namespace {

struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Throw(const std::string& c_strWhat) {
    throw Broken(c_strWhat);
}

std::vector<fs::path> FilesIn(const fs::path& c_dir, const std::string& c_strExtension) {
    std::vector<fs::path> files;
    if (!fs::is_directory(c_dir)) return files;
    for (const auto& e : fs::directory_iterator(c_dir)) {
        if (!e.is_regular_file()) continue;
        if (!c_strExtension.empty() && e.path().extension() != c_strExtension) continue;
        if (e.path().filename() == "README.md") continue;
        files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string DataDir() {
    const char* dir = std::getenv("KESTREL_TEST_DATA");
    return dir && *dir ? dir : KESTREL_FUZZ_DATA_DIR;
}

class Replay : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        SetViolationHandler(Throw);
        LimitFileSizes();
    }
    void TearDown() override { SetViolationHandler(nullptr); }

    // Runs every file; the number run.
    size_t RunAll(const std::vector<fs::path>& c_vFiles) {
        for (const fs::path& file : c_vFiles) {
            std::string bytes = ReadBytes(file.string());
            try {
                GetParam().pfnRun(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            } catch (const Broken& e) {
                ADD_FAILURE() << file << ": " << e.what();
            }
        }
        return c_vFiles.size();
    }
};

TEST_P(Replay, KeptInputsAndSeeds) {
    const Target& t = GetParam();
    fs::path fuzzDir = KESTREL_FUZZ_DIR;
    size_t regressions = RunAll(FilesIn(fuzzDir / "regressions" / t.pszName, ""));
    size_t seeds = *t.pszSeedExtension ? RunAll(FilesIn(DataDir(), t.pszSeedExtension))
                                       : RunAll(FilesIn(fuzzDir / "corpus" / t.pszName, ""));
    EXPECT_GT(seeds, 0u) << "no seeds for " << t.pszName;
    RecordProperty("regressions", static_cast<int>(regressions));
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Replay, ::testing::ValuesIn(Targets()),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.pszName);
                         });

}  // namespace
