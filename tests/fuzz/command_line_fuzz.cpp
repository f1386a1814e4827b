// Arbitrary command lines and response files against small fixed archives.
//
// Input: one selector byte (bits 0-2: which archive, bits 3-5: the output buffer's size),
// then the command line up to the first NUL byte, then the response file's bytes. In the
// command line %A, %D and %R stand for the archive, the sandbox and the response file.
//
// A command line the plug-in refuses must fail without touching the disk; one it accepts may
// change nothing outside the destination it names (commands naming a destination outside the
// sandbox are not run); success means every name of the response file was in the archive.
#include <unistd.h>

#include <cstring>
#include <set>

#include "CommandLine.h"
#include "FuzzTargets.h"

namespace kestrel_fuzz {

namespace {

struct Fixed {
    Format eFormat;
    const char* pszFile;
    std::string strPath;  // the copy in the scratch folder
    std::set<std::string> names;
};

std::string DataDir() {
    const char* dir = std::getenv("KESTREL_TEST_DATA");
    return dir && *dir ? dir : KESTREL_FUZZ_DATA_DIR;
}

std::vector<Fixed>& Fixtures() {
    static std::vector<Fixed> s_fixed = [] {
        std::vector<Fixed> v = {
            {Format::Lha, "lzh_cp932.lzh", {}, {}},    {Format::Lha, "lzh_hostile.lzh", {}, {}},
            {Format::Zip, "zip_utf8.zip", {}, {}},     {Format::Zip, "zip_hostile.zip", {}, {}},
            {Format::SevenZip, "7z_basic.7z", {}, {}}, {Format::SevenZip, "7z_links.7z", {}, {}},
        };
        Scratch& s = Scratch::Get();
        for (Fixed& f : v) {
            std::string data = ReadBytes(DataDir() + "/" + f.pszFile);
            if (data.empty()) {
                std::fprintf(stderr, "missing fixture %s in %s\n", f.pszFile, DataDir().c_str());
                std::abort();
            }
            f.strPath = s / (std::string("fixed-") + f.pszFile);
            WriteBytes(f.strPath, data.data(), data.size());
            for (const std::string& n : ListNames(PluginFor(f.eFormat), f.strPath, 1000)) {
                f.names.insert(n);
            }
        }
        // Relative destinations land in the sandbox.
        if (chdir(s.Sandbox().c_str()) != 0) std::abort();
        return v;
    }();
    return s_fixed;
}

std::string Expand(const std::string& c_strTemplate, const std::string& a, const std::string& d,
                   const std::string& r) {
    std::string out;
    for (size_t i = 0; i < c_strTemplate.size(); ++i) {
        if (c_strTemplate[i] == '%' && i + 1 < c_strTemplate.size()) {
            char c = c_strTemplate[i + 1];
            if (c == 'A' || c == 'D' || c == 'R') {
                out += c == 'A' ? a : c == 'D' ? d : r;
                ++i;
                continue;
            }
        }
        out.push_back(c_strTemplate[i]);
    }
    return out;
}

// The absolute form of a path as the kernel would take it from the sandbox, without looking
// at links (the sandbox holds none when the command starts).
std::string Lexical(const std::string& c_strPath, const std::string& c_strCurrent) {
    std::string path =
        !c_strPath.empty() && c_strPath[0] == '/' ? c_strPath : c_strCurrent + "/" + c_strPath;
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = slash + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

bool Within(const std::string& c_strPath, const std::string& c_strFolder) {
    return c_strPath == c_strFolder ||
           (c_strPath.size() > c_strFolder.size() &&
            c_strPath.compare(0, c_strFolder.size(), c_strFolder) == 0 &&
            c_strPath[c_strFolder.size()] == '/');
}

const uint32_t kOutputSizes[] = {0, 1, 2, 16, 100, 1024, 1024, 1024};

}  // namespace

int CommandLine(const uint8_t* pData, size_t nSize) {
    if (nSize < 1) return 0;
    std::vector<Fixed>& fixtures = Fixtures();
    const Fixed& f = fixtures[(pData[0] & 7) % fixtures.size()];
    const Plugin& p = PluginFor(f.eFormat);
    uint32_t outputSize = kOutputSizes[(pData[0] >> 3) & 7];
    const char* rest = reinterpret_cast<const char*>(pData + 1);
    size_t restSize = nSize - 1;
    const char* nul = static_cast<const char*>(std::memchr(rest, '\0', restSize));
    size_t lineSize = nul ? static_cast<size_t>(nul - rest) : restSize;
    std::string response(nul ? nul + 1 : rest + restSize, rest + restSize);

    Scratch& s = Scratch::Get();
    std::string responsePath = s / "response.txt";
    WriteBytes(responsePath, response.data(), response.size());
    std::string line = Expand(std::string(rest, lineSize), f.strPath, s.Sandbox(), responsePath);

    kestrel::archiver::ExtractCommand parsed;
    std::string error;
    bool accepted = kestrel::archiver::ParseCommandLine(f.eFormat, line, &parsed, &error);
    if (accepted && !Within(Lexical(parsed.strDestination, s.Sandbox()), s.Sandbox())) {
        return 0;  // a destination of its own choosing outside the sandbox: not ours to check
    }
    std::vector<std::string> names;
    bool responseRead = accepted && parsed.strResponse == responsePath;
    bool responseOk =
        responseRead && kestrel::archiver::ParseResponse(f.eFormat, response, &names, &error);

    s.EmptySandbox();
    TreeState before = Snapshot(s.Root(), "");
    TreeState beforeOutside = Snapshot(s.Root(), s.Sandbox());
    std::vector<char> output(outputSize, 'Z');  // exactly the size given: ASan sees overruns
    int code = p.Command(nullptr, line.c_str(), outputSize ? output.data() : nullptr, outputSize);
    if (outputSize) {
        FUZZ_CHECK(std::memchr(output.data(), '\0', outputSize) != nullptr,
                   "the output is not terminated within its size");
    }

    if (!accepted || (responseRead && !responseOk)) {
        FUZZ_CHECK(code != 0, "a refused command line or response file reported success");
        std::string changed = Difference(before, Snapshot(s.Root(), ""));
        FUZZ_CHECK(changed.empty(), "a refused command touched the disk: " + changed);
        return 0;
    }
    std::string changed = Difference(beforeOutside, Snapshot(s.Root(), s.Sandbox()));
    FUZZ_CHECK(changed.empty(), "the command touched the disk outside the sandbox: " + changed);
    CheckSandboxContents(s.Sandbox());
    if (code == 0 && responseRead) {
        for (const std::string& name : names) {
            FUZZ_CHECK(f.names.count(name),
                       "success although \"" + name + "\" is not in " + f.pszFile);
            FUZZ_CHECK(!ClimbsOut(name, p.cSeparator),
                       "success although \"" + name + "\" leaves the destination");
        }
    }
    return 0;
}

}  // namespace kestrel_fuzz
