// Arbitrary bytes as an archive, extracted through the command entry point the way the engine
// asks for it. Whatever the bytes, nothing may change outside the destination, no link may
// lead out of it, and a refused name may not be reported as success.
#include <cstring>

#include "FuzzTargets.h"

namespace kestrel_fuzz {

namespace {

constexpr size_t kMaxNames = 256;

struct Run {
    int nCode;
    std::string strOutput;
};

Run Extract(const Plugin& p, const std::string& c_strArchive,
            const std::vector<std::string>& c_vNames, uint32_t nMode) {
    Scratch& s = Scratch::Get();
    std::string response = s / "response.txt";
    std::string text;
    for (const std::string& name : c_vNames) text += EngineResponseLine(p.eFormat, name);
    WriteBytes(response, text.data(), text.size());
    std::string command = EngineCommandLine(p.eFormat, c_strArchive, s.Sandbox(), response, nMode);

    TreeState before = Snapshot(s.Root(), s.Sandbox());
    std::vector<char> output(1024, 'Z');
    Run run{p.Command(nullptr, command.c_str(), output.data(), 1024), {}};
    FUZZ_CHECK(std::memchr(output.data(), '\0', output.size()) != nullptr,
               "the output is not terminated");
    run.strOutput = output.data();
    std::string changed = Difference(before, Snapshot(s.Root(), s.Sandbox()));
    FUZZ_CHECK(changed.empty(), "extraction touched the disk outside the destination: " + changed +
                                    "\n" + run.strOutput);
    CheckSandboxContents(s.Sandbox());
    return run;
}

// Names the engine can put in a response file: one line each, not empty.
bool Sendable(const std::string& c_strName) {
    return !c_strName.empty() && c_strName.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

int ArchiveExtraction(Format eFormat, const uint8_t* pData, size_t nSize) {
    const Plugin& p = PluginFor(eFormat);
    Scratch& s = Scratch::Get();
    std::string archive = s / (std::string("archive") + p.pszExtension);
    WriteBytes(archive, pData, nSize);
    s.EmptySandbox();

    std::vector<std::string> listed = ListNames(p, archive, kMaxNames);
    if (listed.empty()) {
        // Still ask: a file that does not list must not extract either.
        Run run = Extract(p, archive, {"a.txt"}, 0x92);
        FUZZ_CHECK(run.nCode != 0, "an entry was extracted from an archive that lists nothing");
        return 0;
    }
    std::vector<std::string> names;
    for (const std::string& name : listed) {
        if (Sendable(name)) names.push_back(name);
    }
    if (names.empty()) return 0;

    // Everything, with paths, overwriting: a refused name must not end in success.
    bool anyClimbs = false;
    for (const std::string& name : names) anyClimbs |= ClimbsOut(name, p.cSeparator);
    Run all = Extract(p, archive, names, 0x92);
    FUZZ_CHECK(!(anyClimbs && all.nCode == 0),
               "a name leaving the destination was reported as extracted");

    // A few named ones without paths, keeping what is there, and names the archive may not hold.
    std::vector<std::string> some(names.begin(), names.begin() + std::min<size_t>(3, names.size()));
    some.push_back(names.back());
    std::string sep(1, p.cSeparator);
    some.push_back(".." + sep + "outside.txt");
    some.push_back(sep + "absolute.txt");
    Extract(p, archive, some, 0x60);

    // Everything again over what is there, keeping existing files.
    if (names.size() <= 32) Extract(p, archive, names, 0x54);
    return 0;
}

}  // namespace kestrel_fuzz
