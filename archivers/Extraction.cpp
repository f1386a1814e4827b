// The command entry point: one extraction command, its response file, and the report.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <unordered_map>

#include "ArchiverCore.h"
#include "CommandLine.h"
#include "DosTime.h"
#include "SafeDestination.h"
#include "Text.h"

namespace kestrel::archiver {
namespace {

constexpr size_t kMaxLinkTarget = 4096;
constexpr size_t kMaxResponseSize = 256u << 20;

class StringSink : public DataSink {
public:
    bool Write(const void* pv, size_t n) override {
        if (m_str.size() + n > kMaxLinkTarget) return false;
        m_str.append(static_cast<const char*>(pv), n);
        return true;
    }
    std::string m_str;
};

void WriteOutput(const std::string& c_strText, char* pszOutput, uint32_t c_nSize) {
    if (!pszOutput || c_nSize == 0) return;
    size_t n = Utf8CutLength(c_strText, c_nSize - 1);
    std::memcpy(pszOutput, c_strText.data(), n);
    pszOutput[n] = '\0';
}

bool ReadWholeFile(const std::string& c_strPath, std::string* pstrOut) {
    UniqueFd fd(open(c_strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return false;
    char buf[65536];
    for (;;) {
        ssize_t r = read(fd.Get(), buf, sizeof(buf));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) return true;
        pstrOut->append(buf, static_cast<size_t>(r));
        if (pstrOut->size() > kMaxResponseSize) return false;
    }
}

// Splits a reported name into the path below the destination; false when the name is
// absolute or climbs with "..".
bool SplitEntryPath(const std::string& c_strName, char c_cSeparator,
                    std::vector<std::string>* pvParts) {
    pvParts->clear();
    if (c_strName.empty() || c_strName[0] == '/' || c_strName[0] == c_cSeparator) return false;
    size_t pos = 0;
    while (pos <= c_strName.size()) {
        size_t end = c_strName.find(c_cSeparator, pos);
        if (end == std::string::npos) end = c_strName.size();
        std::string part = c_strName.substr(pos, end - pos);
        if (part == "..") return false;
        if (!part.empty() && part != ".") pvParts->push_back(std::move(part));
        pos = end + 1;
    }
    return true;
}

const char* DataProblem(DataResult r) {
    switch (r) {
        case DataResult::Encrypted:
            return "encrypted (not supported)";
        case DataResult::Unsupported:
            return "compression method not supported";
        case DataResult::Damaged:
            return "data damaged (CRC or format error)";
        default:
            return "cannot write";
    }
}

class Extraction {
public:
    Extraction(Format eFormat, const ExtractCommand& c_stCommand)
        : m_eFormat(eFormat), m_stCommand(c_stCommand), m_destination(c_stCommand.bOverwrite) {}

    bool OpenDestination(std::string* pstrError) {
        return m_destination.Open(m_stCommand.strDestination, pstrError);
    }

    void Run(EntrySource* pSource, const std::vector<std::string>& c_vNames);
    const std::vector<std::string>& Problems() const { return m_vProblems; }
    size_t Done() const { return m_nDone; }

private:
    void ExtractOne(EntrySource* pSource, const Entry& c_stEntry);
    void Problem(const std::string& c_strName, const std::string& c_strWhy) {
        m_vProblems.push_back(c_strName + ": " + c_strWhy);
    }

    Format m_eFormat;
    ExtractCommand m_stCommand;
    SafeDestination m_destination;
    std::vector<std::string> m_vProblems;
    size_t m_nDone = 0;
};

void Extraction::Run(EntrySource* pSource, const std::vector<std::string>& c_vNames) {
    std::unordered_map<std::string, bool> wanted;
    for (const auto& name : c_vNames) wanted.emplace(name, false);
    size_t remaining = wanted.size();
    Entry e;
    while (remaining > 0) {
        ReadResult r = pSource->Next(&e);
        if (r == ReadResult::End) break;
        if (r == ReadResult::Error) {
            m_vProblems.push_back(
                "The archive is damaged; entries after the damage cannot be read.");
            break;
        }
        auto it = wanted.find(e.strName);
        if (it == wanted.end() || it->second) {
            pSource->SkipData(e);
            continue;
        }
        it->second = true;
        --remaining;
        ExtractOne(pSource, e);
    }
    for (const auto& name : c_vNames) {
        auto it = wanted.find(name);
        if (it != wanted.end() && !it->second) {
            Problem(name, "not found in the archive");
            it->second = true;  // report a duplicated line once
        }
    }
}

void Extraction::ExtractOne(EntrySource* pSource, const Entry& c_stEntry) {
    const std::string& name = c_stEntry.strName;
    std::vector<std::string> parts;
    char separator = m_eFormat == Format::SevenZip ? '\\' : '/';
    if (!SplitEntryPath(name, separator, &parts)) {
        pSource->SkipData(c_stEntry);
        Problem(name, "refused: absolute path or \"..\" would leave the destination");
        return;
    }
    if (c_stEntry.eKind == EntryKind::Other) {
        pSource->SkipData(c_stEntry);
        Problem(name, "refused: device, pipe or hard link");
        return;
    }
    if (parts.empty() || (!m_stCommand.bWithPaths && c_stEntry.eKind == EntryKind::Directory)) {
        // A folder without paths has nothing to create.
        pSource->SkipData(c_stEntry);
        ++m_nDone;
        return;
    }
    if (!m_stCommand.bWithPaths) parts.erase(parts.begin(), parts.end() - 1);

    std::string why;
    WriteOutcome outcome;
    switch (c_stEntry.eKind) {
        case EntryKind::Directory:
            outcome = m_destination.MakeDirectory(parts, &why);
            break;
        case EntryKind::Symlink: {
            std::string target = c_stEntry.strLinkTarget;
            if (c_stEntry.bLinkTargetInData) {
                StringSink sink;
                DataResult r = pSource->ReadData(c_stEntry, &sink);
                if (r != DataResult::Ok) {
                    Problem(name,
                            DataProblem(r == DataResult::SinkFailed ? DataResult::Damaged : r));
                    return;
                }
                target = sink.m_str;
            }
            outcome = m_destination.MakeSymlink(parts, target, &why);
            break;
        }
        default: {
            if (c_stEntry.bEncrypted) {
                pSource->SkipData(c_stEntry);
                Problem(name, DataProblem(DataResult::Encrypted));
                return;
            }
            Entry timed = c_stEntry;
            if (!timed.bHasModified)
                timed.llModified = LocalDosToUnix(timed.nDosDate, timed.nDosTime);
            bool produced = false;
            DataResult data = DataResult::Ok;
            outcome = m_destination.WriteFile(
                parts, timed, [&](DataSink* s) { return pSource->ReadData(c_stEntry, s); },
                &produced, &data, &why);
            if (!produced) pSource->SkipData(c_stEntry);
            if (data != DataResult::Ok && data != DataResult::SinkFailed) why = DataProblem(data);
            break;
        }
    }
    switch (outcome) {
        case WriteOutcome::Written:
        case WriteOutcome::Kept:
            ++m_nDone;
            break;
        case WriteOutcome::Refused:
            Problem(name, "refused: " + why);
            break;
        case WriteOutcome::Failed:
            Problem(name, why);
            break;
    }
}

}  // namespace

int RunCommand(Format eFormat, const char* c_pszCommandLine, char* pszOutput,
               uint32_t c_nOutputSize) try {
    std::string error;
    ExtractCommand command;
    if (!c_pszCommandLine || !ParseCommandLine(eFormat, c_pszCommandLine, &command, &error)) {
        WriteOutput("Command not supported: " + (error.empty() ? std::string("none") : error),
                    pszOutput, c_nOutputSize);
        return 1;
    }
    int64_t size = 0;
    auto source = OpenEntrySource(eFormat, command.strArchive, &size);
    if (!source) {
        WriteOutput("Cannot open the archive: " + command.strArchive, pszOutput, c_nOutputSize);
        return 2;
    }
    std::string text;
    if (!ReadWholeFile(command.strResponse, &text)) {
        WriteOutput("Cannot read the response file: " + command.strResponse, pszOutput,
                    c_nOutputSize);
        return 3;
    }
    std::vector<std::string> names;
    if (!ParseResponse(eFormat, text, &names, &error)) {
        WriteOutput(error, pszOutput, c_nOutputSize);
        return 3;
    }
    Extraction extraction(eFormat, command);
    if (!extraction.OpenDestination(&error)) {
        WriteOutput(error, pszOutput, c_nOutputSize);
        return 4;
    }
    extraction.Run(source.get(), names);
    const auto& problems = extraction.Problems();
    if (problems.empty()) {
        WriteOutput("Extracted " + std::to_string(extraction.Done()) + " entries.", pszOutput,
                    c_nOutputSize);
        return 0;
    }
    std::string report = "Not everything was extracted (" + std::to_string(extraction.Done()) +
                         " of " + std::to_string(names.size()) + " entries done).";
    for (const auto& p : problems) report += "\n" + p;
    WriteOutput(report, pszOutput, c_nOutputSize);
    return 5;
} catch (...) {
    WriteOutput("Extraction failed: out of memory.", pszOutput, c_nOutputSize);
    return 6;
}

}  // namespace kestrel::archiver
