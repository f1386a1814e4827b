// The fast paths of extraction give what the plain one gives: files written on several threads
// what writing them one after another gives (the same tree, contents, modes, times, links,
// report and problems told in the same order, for every fixture and every hostile archive,
// keeping or overwriting, with and without folders), and entries looked up by name what a walk
// through the archive finds.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "ArchiverCore.h"
#include "Entry.h"
#include "common_archiver_api.h"
#include "support/Support.h"

using namespace kestrel::archiver;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

// The names in the current folder.
std::vector<std::string> Names() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(".")) {
        while (const dirent* d = readdir(dir)) {
            const std::string name = d->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// Everything below the current folder: kind, mode, time, content or link target. Walked by
// changing folder, and without recursion, so that trees deeper than a path can name are seen
// whole.
void Walk(std::map<std::string, std::string>* pmTree) {
    struct Folder {
        std::string strPrefix;
        std::vector<std::string> vNames;
        size_t nNext = 0;
    };
    std::vector<Folder> stack{{"", Names()}};
    while (!stack.empty()) {
        Folder& f = stack.back();
        if (f.nNext == f.vNames.size()) {
            stack.pop_back();
            if (!stack.empty()) {
                ASSERT_EQ(chdir(".."), 0);
            }
            continue;
        }
        const std::string name = f.vNames[f.nNext++];
        const std::string path = f.strPrefix + name;
        struct stat st {};
        ASSERT_EQ(lstat(name.c_str(), &st), 0) << path;
        std::string item = std::to_string(st.st_mode) + " ";
        if (S_ISLNK(st.st_mode)) {
            std::string target(4096, '\0');
            const ssize_t n = readlink(name.c_str(), target.data(), target.size());
            item += "-> " + target.substr(0, n > 0 ? static_cast<size_t>(n) : 0);
        } else if (S_ISREG(st.st_mode)) {
            item += std::to_string(st.st_mtim.tv_sec) + " " + ReadFile(name);
        }
        (*pmTree)[path] = item;
        if (S_ISDIR(st.st_mode)) {
            ASSERT_EQ(chdir(name.c_str()), 0) << path;
            stack.push_back({path + "/", Names()});
        }
    }
}

std::map<std::string, std::string> Tree(const std::string& c_strRoot) {
    std::map<std::string, std::string> tree;
    const int back = open(".", O_RDONLY | O_DIRECTORY);
    if (chdir(c_strRoot.c_str()) == 0) {
        Walk(&tree);
        EXPECT_EQ(fchdir(back), 0);
    }
    close(back);
    return tree;
}

std::string CommandLine(Format eFormat, bool bPaths, bool bOverwrite,
                        const std::string& c_strArchive, const std::string& c_strDest,
                        const std::string& c_strResponse) {
    const std::string a = "\"" + c_strArchive + "\" ", d = "\"" + c_strDest + "\" ";
    switch (eFormat) {
        case Format::Lha:
            return std::string("e ") + (bPaths ? "-x1 " : "") + (bOverwrite ? "-c1 -m1 " : "-c0 ") +
                   "-a2 " + a + d + "@\"" + c_strResponse + "\"";
        case Format::Zip:
            return std::string("-x ") + (bPaths ? "" : "-j ") + (bOverwrite ? "-o " : "-n ") + a +
                   d + "\"@" + c_strResponse + "\"";
        case Format::SevenZip:
            return std::string(bPaths ? "x " : "e ") + (bOverwrite ? "-aoa " : "-aos ") +
                   "-y \"-o" + c_strDest + "\" " + a + "\"@" + c_strResponse + "\"";
    }
    return "";
}

struct Outcome {
    int nCode = -1;
    std::string strReport;
    std::string strProblems;  // as the callback told them, in its order
    std::map<std::string, std::string> mTree;
};

// Every entry the plug-in lists, extracted into c_strDest (which may hold files already).
Outcome Extract(Format eFormat, const std::string& c_strArchive, bool bPaths, bool bOverwrite,
                const std::string& c_strDest, const std::string& c_strResponse) {
    std::string lines;
    int64_t size = 0;
    if (auto source = OpenEntrySource(eFormat, c_strArchive, &size, SourceUse::List)) {
        Entry e;
        while (source->Next(&e) == ReadResult::Ok) {
            // As the engine: a line break cannot travel in a response line.
            if (e.strName.find_first_of("\r\n") == std::string::npos) {
                lines += "\"" + e.strName + "\"\r\n";
            }
        }
    }
    WriteFile(c_strResponse, lines);
    Outcome o;
    KESTREL_COMMAND_CALLBACKS callbacks{};
    callbacks.nSize = sizeof callbacks;
    callbacks.pvContext = &o.strProblems;
    callbacks.pfnProblem = [](void* pv, uint32_t nReason, int nErrno, const char* pszName) {
        *static_cast<std::string*>(pv) +=
            std::to_string(nReason) + " " + std::to_string(nErrno) + " " + pszName + "\n";
    };
    char output[1 << 16] = {};
    o.nCode = RunCommand(
        eFormat,
        CommandLine(eFormat, bPaths, bOverwrite, c_strArchive, c_strDest, c_strResponse).c_str(),
        output, sizeof output, &callbacks);
    o.strReport = output;
    o.mTree = Tree(c_strDest);
    return o;
}

// Extracts with one thread and with four into folders that hold the same files first.
void Compare(Format eFormat, const std::string& c_strArchive, const std::string& c_strScratch,
             bool c_bEveryMode) {
    for (const bool bPaths : {true, false}) {
        for (const bool bOverwrite : {true, false}) {
            if (!c_bEveryMode && !(bPaths && bOverwrite)) continue;
            SCOPED_TRACE(c_strArchive + (bPaths ? " with paths" : " without paths") +
                         (bOverwrite ? ", overwriting" : ", keeping"));
            Outcome outcome[2];
            for (int i = 0; i < 2; ++i) {
                const std::string dest = c_strScratch + "/out" + std::to_string(i);
                // A file already there, and one in the way of a folder.
                fs::create_directories(dest);
                for (const char* c_pszName : {"/good.txt", "/日本語"}) {
                    WriteFile(dest + c_pszName, "there before\n");
                    const struct timespec times[2] = {{1, 0}, {1, 0}};
                    utimensat(AT_FDCWD, (dest + c_pszName).c_str(), times, 0);
                }
                SetExtractionWorkers(i == 0 ? 1 : 4);
                outcome[i] = Extract(eFormat, c_strArchive, bPaths, bOverwrite, dest,
                                     c_strScratch + "/response.txt");
                SetExtractionWorkers(0);
                ASSERT_EQ(std::system(("rm -rf '" + dest + "'").c_str()), 0);
            }
            EXPECT_EQ(outcome[0].nCode, outcome[1].nCode);
            EXPECT_EQ(outcome[0].strReport, outcome[1].strReport);
            EXPECT_EQ(outcome[0].strProblems, outcome[1].strProblems);
            EXPECT_EQ(outcome[0].mTree, outcome[1].mTree);
            EXPECT_FALSE(outcome[0].mTree.empty());
        }
    }
}

Format FormatOf(const std::string& c_strName) {
    if (c_strName.ends_with(".lzh")) return Format::Lha;
    if (c_strName.ends_with(".zip")) return Format::Zip;
    return Format::SevenZip;
}

}  // namespace

TEST(ParallelExtraction, GivesWhatOneThreadGives) {
    // In memory when the system has it: on a disk, creating 100,000 files where as many were
    // just deleted takes minutes.
    char szScratch[] = "/dev/shm/kestrel-parallel-XXXXXX";
    Scratch fallback;
    const std::string scratch = mkdtemp(szScratch) ? szScratch : fallback.Path().string();
    const std::string data = DataPath("");
    // The hostile archives too big to keep: deep folders, absurd sizes.
    const std::string big = BigArchives().string();
    // Paths that meet: one leaf name in 300 folders (one file when folders are left out), and
    // files where folders must go.
    const char* c_pszClashes =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for i in range(300):\n"
        "        z.writestr('d%03d/same.txt' % i, str(i) * (i * 37 % 5000 + 1))\n"
        "    z.writestr('clash', 'a file')\n"
        "    z.writestr('clash/inner.txt', 'inside')\n"
        "    z.writestr('late/inner.txt', 'inside')\n"
        "    z.writestr('late', 'a file')\n";
    ASSERT_EQ(
        std::system(
            ("python3 -c \"" + std::string(c_pszClashes) + "\" '" + big + "/clashes.zip'").c_str()),
        0);
    size_t count = 0;
    for (const std::string& c_strFolder : {data, big}) {
        for (const auto& f : fs::directory_iterator(c_strFolder)) {
            const std::string name = f.path().filename().string();
            if (!name.ends_with(".lzh") && !name.ends_with(".zip") && !name.ends_with(".7z")) {
                continue;
            }
            // 7-Zip entries are always decoded in order on one thread: its big archives add
            // nothing but time. The big ones are too slow to extract in every mode.
            const bool bSmall = c_strFolder == data || name == "clashes.zip";
            if (!bSmall && name.ends_with(".7z")) continue;
            Compare(FormatOf(name), f.path().string(), scratch, bSmall);
            ++count;
        }
    }
    EXPECT_GT(count, 40u);
    if (scratch != fallback.Path()) std::system(("rm -rf '" + scratch + "'").c_str());
}

// Entries looked up by name serve the extraction that follows as the archive would: the first
// of a name, after entries of whole 64 KiB blocks (which libarchive 3.6.2 cannot skip), and
// not once the file has changed.
TEST(FoundEntries, GiveWhatAWalkGives) {
    Scratch scratch;
    struct Case {
        const char* pszArchive;
        std::vector<std::string> vNames;
    } const c_cases[] = {{"7z_skip65536.7z", {"d.txt"}},
                         {"7z_skip65536.7z", {"b.txt", "d.txt"}},
                         {"7z_duplicates.7z", {"dup.txt"}},
                         {"zip_duplicates.zip", {"dup.txt", "x/y.txt"}},
                         {"lzh_duplicates.lzh", {"dup.txt", "x/y.txt"}}};
    int run = 0;
    for (const Case& c : c_cases) {
        const std::string archive = scratch / c.pszArchive;
        fs::copy_file(DataPath(c.pszArchive), archive, fs::copy_options::overwrite_existing);
        const Format format = FormatOf(archive);
        std::string lines;
        for (const std::string& name : c.vNames) lines += "\"" + name + "\"\r\n";
        WriteFile(scratch / "response.txt", lines);
        // Walked, looked up, and looked up before the file changed.
        Outcome outcome[3];
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::string(c.pszArchive) + " " + std::to_string(i));
            if (i > 0) {
                void* h = OpenArchive(format, archive.c_str(), nullptr);
                ASSERT_NE(h, nullptr);
                for (const std::string& name : c.vNames) {
                    std::vector<char> record(KESTREL_INDIVIDUALINFO_SIZE);
                    EXPECT_EQ(FindFirst(h, name.c_str(), record.data()), 0);
                    EXPECT_EQ(std::string(record.data() + KESTREL_INFO_FILENAME), name);
                    // A second entry of the name does not change what is extracted.
                    FindNext(h, record.data());
                }
                EXPECT_EQ(CloseArchive(h), 0);
            }
            if (i == 2) {
                const struct timespec times[2] = {{1, 0}, {1, 0}};
                ASSERT_EQ(utimensat(AT_FDCWD, archive.c_str(), times, 0), 0);
            }
            const std::string dest = scratch / ("out" + std::to_string(++run));
            char output[4096] = {};
            outcome[i].nCode = RunCommand(
                format,
                CommandLine(format, true, true, archive, dest, scratch / "response.txt").c_str(),
                output, sizeof output, nullptr);
            outcome[i].strReport = output;
            outcome[i].mTree = Tree(dest);
            EXPECT_EQ(outcome[i].nCode, 0) << output;
        }
        EXPECT_EQ(outcome[0].mTree, outcome[1].mTree) << c.pszArchive;
        EXPECT_EQ(outcome[0].mTree, outcome[2].mTree) << c.pszArchive;
        EXPECT_EQ(outcome[0].strReport, outcome[1].strReport) << c.pszArchive;
    }
}
