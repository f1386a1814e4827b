// The command entry point: one extraction command, its response file, and the report.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
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

// Sorts after every entry: the names the archive did not have.
constexpr size_t kAfterAllEntries = SIZE_MAX;
// Entries planned but not yet written: bounds memory however many the archive holds.
constexpr size_t kQueueLimit = 256;

std::atomic<unsigned> g_nWorkerLimit{0};

unsigned WorkerCount() {
    if (unsigned n = g_nWorkerLimit.load()) return n;
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = sched_getaffinity(0, sizeof(set), &set) == 0 ? CPU_COUNT(&set) : 1;
    return static_cast<unsigned>(std::clamp(n, 1, 8));
}

// One entry to be written, with its path below the destination.
struct Job {
    size_t nIndex = 0;  // the entry's place among those taken from the archive
    Entry stEntry;
    std::vector<std::string> vParts;
};

class Extraction;

// Writes files on worker threads, each with its own hold on the destination. An entry whose
// path meets the path of one still being written (the same name, or a file where the other
// needs a folder) waits until everything before it is done, so that the outcome is the one
// of writing entry after entry in archive order.
class Workers {
public:
    Workers(Extraction* pOwner, EntrySource* pSource, const SafeDestination& c_destination,
            unsigned nCount)
        : m_pOwner(pOwner), m_pSource(pSource), m_destination(c_destination), m_nCount(nCount) {
        // Throws when no thread can be started: the caller then writes entry after entry.
        m_vThreads.emplace_back([this] { Work(); });
    }
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_cvWork.notify_all();
        for (auto& t : m_vThreads) t.join();
    }

    // Queues a file; waits first for room, and for the entries it must follow.
    void Submit(Job&& job) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_queue.size() >= kQueueLimit) {
            // Refilled in batches: a wake-up for each finished file would cost as much as it.
            Wait(lock, WaitFor::Room, [&] { return m_queue.size() <= kQueueLimit / 2; });
        }
        Wait(lock, WaitFor::Path, [&] { return !Conflicts(job.vParts, false); });
        Hold(job.vParts, +1);
        m_queue.push_back(std::move(job));
        if (m_vThreads.size() < m_nCount && m_nIdle == 0) {
            try {
                m_vThreads.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                m_nCount = static_cast<unsigned>(m_vThreads.size());  // the ones there will do
            }
        }
        if (m_nIdle > 0) m_cvWork.notify_one();
    }

    // Waits until nothing written so far can meet this path (a folder to be made here).
    void WaitForPath(const std::vector<std::string>& c_vParts) {
        std::unique_lock<std::mutex> lock(m_mutex);
        Wait(lock, WaitFor::Path, [&] { return !Conflicts(c_vParts, true); });
    }

    // Waits until every queued entry is written.
    void WaitAll() {
        std::unique_lock<std::mutex> lock(m_mutex);
        Wait(lock, WaitFor::All, [&] { return m_queue.empty() && m_nBusy == 0; });
    }

private:
    enum class WaitFor { Nothing, Room, Path, All };

    template <class PRED>
    void Wait(std::unique_lock<std::mutex>& lock, WaitFor eWhat, PRED&& c_fnDone) {
        m_eWaitFor = eWhat;
        m_cvDone.wait(lock, c_fnDone);
        m_eWaitFor = WaitFor::Nothing;
    }
    // After a file is written: wakes the submitting thread only when what it waits for may
    // have come.
    void Finished() {
        bool wake = false;
        switch (m_eWaitFor) {
            case WaitFor::Nothing:
                break;
            case WaitFor::Room:
                wake = m_queue.size() <= kQueueLimit / 2;
                break;
            case WaitFor::Path:
                wake = true;
                break;
            case WaitFor::All:
                wake = m_queue.empty() && m_nBusy == 0;
                break;
        }
        if (wake) m_cvDone.notify_one();
    }
    void Work();
    // c_bFolder: the path is to be a folder, which may hold the files being written.
    bool Conflicts(const std::vector<std::string>& c_vParts, bool c_bFolder) const {
        std::string key;
        for (size_t i = 0; i < c_vParts.size(); ++i) {
            if (i) key.push_back('\0');
            key += c_vParts[i];
            if (m_files.count(key)) return true;
        }
        return !c_bFolder && m_folders.count(key);
    }
    void Hold(const std::vector<std::string>& c_vParts, int c_nDelta) {
        auto adjust = [&](std::unordered_map<std::string, int>& map, const std::string& key) {
            if ((map[key] += c_nDelta) == 0) map.erase(key);
        };
        std::string key;
        for (size_t i = 0; i < c_vParts.size(); ++i) {
            if (i) key.push_back('\0');
            key += c_vParts[i];
            adjust(i + 1 == c_vParts.size() ? m_files : m_folders, key);
        }
    }

    Extraction* m_pOwner;
    EntrySource* m_pSource;
    const SafeDestination& m_destination;
    unsigned m_nCount;
    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvDone;
    std::deque<Job> m_queue;
    size_t m_nBusy = 0;
    size_t m_nIdle = 0;
    bool m_bStop = false;
    WaitFor m_eWaitFor = WaitFor::Nothing;
    std::vector<std::thread> m_vThreads;
    // Paths being written and their folders, with how many entries hold each.
    std::unordered_map<std::string, int> m_files;
    std::unordered_map<std::string, int> m_folders;
};

class Extraction {
public:
    Extraction(Format eFormat, const ExtractCommand& c_stCommand)
        : m_eFormat(eFormat), m_stCommand(c_stCommand), m_destination(c_stCommand.bOverwrite) {}

    bool OpenDestination(std::string* pstrError) {
        return m_destination.Open(m_stCommand.strDestination, pstrError);
    }

    void Run(EntrySource* pSource, const std::vector<std::string>& c_vNames);
    // The problems in archive order, whatever order the entries were written in.
    std::vector<std::string> Problems();
    size_t Done() const { return m_nDone; }

    // Writes one file; on a worker, with that worker's own destination.
    void WriteFile(const Job& c_stJob, EntrySource* pSource, SafeDestination* pDestination);
    void Failed(const Job& c_stJob, const char* c_pszWhy) noexcept try {
        Record(c_stJob.nIndex, c_stJob.stEntry.strName, WriteOutcome::Failed, c_pszWhy);
    } catch (...) {
    }

private:
    // Settles what an entry needs: false when that is done already (refused, nothing to make).
    bool Plan(size_t c_nIndex, const Entry& c_stEntry, EntrySource* pSource, Job* pstJob);
    void MakeLink(const Job& c_stJob, EntrySource* pSource);
    // Every entry's outcome goes through here, from any thread.
    void Record(size_t c_nIndex, const std::string& c_strName, WriteOutcome eOutcome,
                const std::string& c_strWhy);
    void Problem(size_t c_nIndex, const std::string& c_strText) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vProblems.emplace_back(c_nIndex, c_strText);
    }

    Format m_eFormat;
    ExtractCommand m_stCommand;
    SafeDestination m_destination;
    std::mutex m_mutex;
    std::vector<std::pair<size_t, std::string>> m_vProblems;
    size_t m_nDone = 0;
};

void Workers::Work() {
    SafeDestination destination = m_destination.Share();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        ++m_nIdle;
        m_cvWork.wait(lock, [&] { return m_bStop || !m_queue.empty(); });
        --m_nIdle;
        if (m_queue.empty()) return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_nBusy;
        lock.unlock();
        try {
            m_pOwner->WriteFile(job, m_pSource, &destination);
        } catch (...) {
            // Nothing may leave a thread; the entry fails as the command would.
            m_pOwner->Failed(job, "out of memory");
        }
        lock.lock();
        --m_nBusy;
        Hold(job.vParts, -1);
        Finished();
    }
}

void Extraction::Record(size_t c_nIndex, const std::string& c_strName, WriteOutcome eOutcome,
                        const std::string& c_strWhy) {
    switch (eOutcome) {
        case WriteOutcome::Written:
        case WriteOutcome::Kept: {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_nDone;
            break;
        }
        case WriteOutcome::Refused:
            Problem(c_nIndex, c_strName + ": refused: " + c_strWhy);
            break;
        case WriteOutcome::Failed:
            Problem(c_nIndex, c_strName + ": " + c_strWhy);
            break;
    }
}

std::vector<std::string> Extraction::Problems() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::stable_sort(m_vProblems.begin(), m_vProblems.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> v;
    for (auto& p : m_vProblems) v.push_back(p.second);
    return v;
}

void Extraction::Run(EntrySource* pSource, const std::vector<std::string>& c_vNames) {
    // Marked once taken: the first entry of a name is the one extracted.
    NameSet names;
    for (const auto& name : c_vNames) names.emplace(name, false);
    size_t remaining = names.size();
    pSource->WantOnly(&names);
    // Entries of formats that decode each entry on its own are written on all processors.
    std::optional<Workers> workers;
    const unsigned nWorkers = WorkerCount();
    if (pSource->DecodesAnyOrder() && nWorkers > 1 && remaining > 1) {
        try {
            workers.emplace(this, pSource, m_destination, nWorkers);
        } catch (const std::system_error&) {
            workers.reset();
        }
    }
    Entry e;
    size_t index = 0;
    for (; remaining > 0; ++index) {
        ReadResult r = pSource->Next(&e);
        if (r == ReadResult::End) break;
        if (r == ReadResult::Error) {
            Problem(index, "The archive is damaged; entries after the damage cannot be read.");
            break;
        }
        auto it = names.find(e.strName);
        if (it == names.end() || it->second) {
            pSource->SkipData(e);
            continue;
        }
        it->second = true;
        --remaining;
        Job job;
        if (!Plan(index, e, pSource, &job)) continue;
        switch (job.stEntry.eKind) {
            case EntryKind::Directory: {
                if (workers) workers->WaitForPath(job.vParts);
                std::string why;
                Record(index, job.stEntry.strName, m_destination.MakeDirectory(job.vParts, &why),
                       why);
                break;
            }
            case EntryKind::Symlink:
                // Rare, and later entries may lead through it: made in its turn.
                if (workers) workers->WaitAll();
                MakeLink(job, pSource);
                break;
            default:
                if (workers) {
                    workers->Submit(std::move(job));
                } else {
                    WriteFile(job, pSource, &m_destination);
                }
                break;
        }
    }
    workers.reset();
    pSource->WantOnly(nullptr);
    for (const auto& name : c_vNames) {
        // A name given twice is reported once.
        auto it = names.find(name);
        if (!it->second) {
            Problem(kAfterAllEntries, name + ": not found in the archive");
            it->second = true;
        }
    }
}

bool Extraction::Plan(size_t c_nIndex, const Entry& c_stEntry, EntrySource* pSource, Job* pJob) {
    const std::string& name = c_stEntry.strName;
    std::vector<std::string>& parts = pJob->vParts;
    char separator = m_eFormat == Format::SevenZip ? '\\' : '/';
    if (!SplitEntryPath(name, separator, &parts)) {
        pSource->SkipData(c_stEntry);
        Record(c_nIndex, name, WriteOutcome::Refused,
               "absolute path or \"..\" would leave the destination");
        return false;
    }
    if (c_stEntry.eKind == EntryKind::Other) {
        pSource->SkipData(c_stEntry);
        Record(c_nIndex, name, WriteOutcome::Refused, "device, pipe or hard link");
        return false;
    }
    if (parts.empty() || (!m_stCommand.bWithPaths && c_stEntry.eKind == EntryKind::Directory)) {
        // A folder without paths has nothing to create.
        pSource->SkipData(c_stEntry);
        Record(c_nIndex, name, WriteOutcome::Written, "");
        return false;
    }
    if (!m_stCommand.bWithPaths) parts.erase(parts.begin(), parts.end() - 1);
    if (c_stEntry.eKind == EntryKind::File && c_stEntry.bEncrypted) {
        pSource->SkipData(c_stEntry);
        Record(c_nIndex, name, WriteOutcome::Failed, DataProblem(DataResult::Encrypted));
        return false;
    }
    pJob->nIndex = c_nIndex;
    pJob->stEntry = c_stEntry;
    if (pJob->stEntry.eKind == EntryKind::File && !pJob->stEntry.bHasModified) {
        pJob->stEntry.llModified = LocalDosToUnix(c_stEntry.nDosDate, c_stEntry.nDosTime);
    }
    return true;
}

void Extraction::MakeLink(const Job& c_stJob, EntrySource* pSource) {
    const Entry& e = c_stJob.stEntry;
    std::string target = e.strLinkTarget;
    if (e.bLinkTargetInData) {
        StringSink sink;
        DataResult r = pSource->ReadData(e, &sink);
        if (r != DataResult::Ok) {
            Record(c_stJob.nIndex, e.strName, WriteOutcome::Failed,
                   DataProblem(r == DataResult::SinkFailed ? DataResult::Damaged : r));
            return;
        }
        target = sink.m_str;
    }
    std::string why;
    WriteOutcome outcome = m_destination.MakeSymlink(c_stJob.vParts, target, &why);
    Record(c_stJob.nIndex, e.strName, outcome, why);
}

void Extraction::WriteFile(const Job& c_stJob, EntrySource* pSource,
                           SafeDestination* pDestination) {
    const Entry& e = c_stJob.stEntry;
    bool produced = false;
    DataResult data = DataResult::Ok;
    std::string why;
    WriteOutcome outcome = pDestination->WriteFile(
        c_stJob.vParts, e, [&](DataSink* s) { return pSource->ReadData(e, s); }, &produced, &data,
        &why);
    if (!produced) pSource->SkipData(e);
    if (data != DataResult::Ok && data != DataResult::SinkFailed) why = DataProblem(data);
    Record(c_stJob.nIndex, e.strName, outcome, why);
}

}  // namespace

void SetExtractionWorkers(unsigned c_nWorkers) {
    g_nWorkerLimit = c_nWorkers;
}

int RunCommand(Format eFormat, const char* c_pszCommandLine, char* pszOutput,
               uint32_t c_nOutputSize) try {
    std::string error;
    ExtractCommand command;
    if (!c_pszCommandLine || !ParseCommandLine(eFormat, c_pszCommandLine, &command, &error)) {
        WriteOutput("Command not supported: " + (error.empty() ? std::string("none") : error),
                    pszOutput, c_nOutputSize);
        return 1;
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
    std::unique_ptr<EntrySource> source = TakeFoundEntries(eFormat, command.strArchive, names);
    if (!source) {
        int64_t size = 0;
        source = OpenEntrySource(eFormat, command.strArchive, &size);
    }
    if (!source) {
        WriteOutput("Cannot open the archive: " + command.strArchive, pszOutput, c_nOutputSize);
        return 2;
    }
    Extraction extraction(eFormat, command);
    if (!extraction.OpenDestination(&error)) {
        WriteOutput(error, pszOutput, c_nOutputSize);
        return 4;
    }
    extraction.Run(source.get(), names);
    const auto problems = extraction.Problems();
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
