// The command entry point: one extraction or test command, its response file, the report, and
// what the caller is told while it runs (progress, problems, passwords).
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
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
#include "Secret.h"
#include "Text.h"
#include "common_archiver_api.h"

namespace kestrel::archiver {
namespace {

constexpr size_t kMaxLinkTarget = 4096;
constexpr size_t kMaxResponseSize = 256u << 20;
// Progress is told at least this often while data flows.
constexpr int64_t kReportEvery = 64 * 1024;

class StringSink : public DataSink {
public:
    bool Write(const void* pv, size_t n) override {
        if (m_str.size() + n > kMaxLinkTarget) return false;
        m_str.append(static_cast<const char*>(pv), n);
        return true;
    }
    std::string m_str;
};

// What a test decodes goes nowhere; the decoder checks it on the way.
class NullSink : public DataSink {
public:
    bool Write(const void*, size_t) override { return true; }
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

Failure DataFailure(DataResult r) {
    switch (r) {
        case DataResult::Encrypted:
            return Because(KESTREL_REASON_ENCRYPTED, "encrypted (no password given)");
        case DataResult::WrongPassword:
            return Because(KESTREL_REASON_ENCRYPTED, "encrypted (wrong password)");
        case DataResult::Unsupported:
            return Because(KESTREL_REASON_UNSUPPORTED, "compression method not supported");
        case DataResult::Damaged:
            return Because(KESTREL_REASON_DAMAGED, "data damaged (CRC or format error)");
        default:
            return Because(KESTREL_REASON_WRITE_ERROR, "cannot write");
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

// What the caller hears while a command runs. The callbacks are called one at a time, from
// whichever thread is working; a cancel is a flag that every writer and reader looks at.
class Monitor : public Interrupt {
public:
    explicit Monitor(const KESTREL_COMMAND_CALLBACKS* pc) {
        if (!pc) return;
        // Members past the size the caller knows are not there.
        auto has = [&](size_t c_nOffset, size_t c_nSize) {
            return pc->nSize >= c_nOffset + c_nSize;
        };
        using CB = KESTREL_COMMAND_CALLBACKS;
        if (has(offsetof(CB, pvContext), sizeof pc->pvContext)) m_pvContext = pc->pvContext;
        if (has(offsetof(CB, pfnProgress), sizeof pc->pfnProgress)) m_pfnProgress = pc->pfnProgress;
        if (has(offsetof(CB, pfnProblem), sizeof pc->pfnProblem)) m_pfnProblem = pc->pfnProblem;
        if (has(offsetof(CB, pfnPassword), sizeof pc->pfnPassword)) m_pfnPassword = pc->pfnPassword;
    }

    bool WantsProgress() const { return m_pfnProgress != nullptr; }
    bool Cancelled() const { return m_bCancelled.load(std::memory_order_relaxed); }
    // Cancelled, or the destination can take nothing more: no further entry is started.
    bool Halted() const { return m_bHalted.load(std::memory_order_relaxed); }
    void Halt() { m_bHalted = true; }

    void SetTotals(uint64_t c_nEntries, int64_t c_llBytes) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stProgress.nEntriesTotal = c_nEntries;
        m_stProgress.llBytesTotal = c_llBytes;
    }
    void AddBytes(size_t c_nBytes) { m_llBytes += static_cast<int64_t>(c_nBytes); }
    void EntryDone(const std::string& c_strName) {
        ++m_nDone;
        Report(&c_strName);
    }
    // Tells how far the command is; null keeps the name last told.
    void Report(const std::string* pstrName) {
        if (!m_pfnProgress) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (pstrName) m_strName = *pstrName;
        m_stProgress.nEntriesDone = m_nDone.load();
        m_stProgress.llBytesDone = m_llBytes.load();
        m_stProgress.pszName = m_strName.c_str();
        if (m_pfnProgress(m_pvContext, &m_stProgress) != 0) {
            m_bCancelled = true;
            m_bHalted = true;
        }
    }
    bool Poll() override {
        Report(nullptr);
        return Cancelled();
    }
    void Problem(uint32_t c_nReason, int c_nErrno, const std::string& c_strName) {
        if (!m_pfnProblem) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pfnProblem(m_pvContext, c_nReason, c_nErrno, c_strName.c_str());
    }
    // False when no password is given; the buffer the caller wrote into is wiped.
    bool AskPassword(uint32_t c_nAttempt, Secret* pPassword) {
        pPassword->Clear();
        if (!m_pfnPassword || Cancelled()) return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        Secret buffer;
        const int r =
            m_pfnPassword(m_pvContext, c_nAttempt, buffer.Buffer(), Secret::kMaxLength + 1);
        buffer.Buffer()[Secret::kMaxLength] = '\0';
        if (r == 0) return false;
        pPassword->Assign(buffer.c_str(), strnlen(buffer.c_str(), Secret::kMaxLength));
        return true;
    }

private:
    void* m_pvContext = nullptr;
    int (*m_pfnProgress)(void*, const KESTREL_PROGRESS*) = nullptr;
    void (*m_pfnProblem)(void*, uint32_t, int, const char*) = nullptr;
    int (*m_pfnPassword)(void*, uint32_t, char*, uint32_t) = nullptr;
    std::mutex m_mutex;
    KESTREL_PROGRESS m_stProgress{0, 0, 0, -1, ""};
    std::string m_strName;
    std::atomic<uint64_t> m_nDone{0};
    std::atomic<int64_t> m_llBytes{0};
    std::atomic<bool> m_bCancelled{false};
    std::atomic<bool> m_bHalted{false};
};

// Counts what passes into the file (or into nothing, in a test), tells progress every 64 KiB,
// and stops the decoder once the command is cancelled.
class ProgressSink : public DataSink {
public:
    ProgressSink(DataSink* pInner, Monitor* pMonitor, const std::string& c_strName)
        : m_pInner(pInner), m_pMonitor(pMonitor), m_strName(c_strName) {}
    bool Write(const void* pv, size_t n) override {
        if (m_pMonitor->Cancelled() || !m_pInner->Write(pv, n)) return false;
        m_pMonitor->AddBytes(n);
        m_llSince += static_cast<int64_t>(n);
        if (m_llSince >= kReportEvery) {
            m_llSince = 0;
            m_pMonitor->Report(&m_strName);
        }
        return !m_pMonitor->Cancelled();
    }
    bool Stopped() const override { return m_pMonitor->Cancelled(); }

private:
    DataSink* m_pInner;
    Monitor* m_pMonitor;
    const std::string& m_strName;
    int64_t m_llSince = 0;
};

// The declared size of the named files, from a second walk of the archive's entries (none when
// the source holds them already); -1 when the walk was cancelled.
int64_t DeclaredTotal(Format eFormat, const std::string& c_strArchive, EntrySource* pSource,
                      const NameSet& c_names, Monitor* pMonitor) {
    NameSet seen;
    int64_t llTotal = 0;
    auto add = [&](const Entry& e) {
        if (e.eKind != EntryKind::File || !c_names.count(e.strName)) return;
        if (!seen.emplace(e.strName, false).second) return;
        llTotal = e.llOriginalSize > INT64_MAX - llTotal ? INT64_MAX : llTotal + e.llOriginalSize;
    };
    if (const std::vector<Entry>* pv = pSource->KnownEntries()) {
        for (const Entry& e : *pv) add(e);
        return llTotal;
    }
    int64_t size = 0;
    std::unique_ptr<EntrySource> walk =
        OpenEntrySource(eFormat, c_strArchive, &size, SourceUse::Extract);
    if (!walk) return 0;
    // A 7-Zip source decodes some entries it passes over by name; every header is cheap.
    if (eFormat != Format::SevenZip) walk->WantOnly(&c_names);
    walk->SetInterrupt(pMonitor);
    Entry e;
    for (size_t n = 1; walk->Next(&e) == ReadResult::Ok; ++n) {
        add(e);
        if (n % 4096 == 0 && pMonitor->Poll()) return -1;
    }
    return pMonitor->Cancelled() ? -1 : llTotal;
}

// One entry to be written (or tested), with its path below the destination.
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

    // Waits until nothing being written can meet this path, which the caller makes itself
    // (c_bFolder: a folder, which may hold files being written).
    void WaitForPath(const std::vector<std::string>& c_vParts, bool c_bFolder) {
        std::unique_lock<std::mutex> lock(m_mutex);
        Wait(lock, WaitFor::Path, [&] { return !Conflicts(c_vParts, c_bFolder); });
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

// The outcome of one attempt at an entry's data.
struct Attempt {
    WriteOutcome eOutcome = WriteOutcome::Written;
    DataResult eData = DataResult::Ok;
    Failure stWhy;
};

class Extraction {
public:
    Extraction(Format eFormat, const ExtractCommand& c_stCommand, Monitor* pMonitor)
        : m_eFormat(eFormat),
          m_stCommand(c_stCommand),
          m_pMonitor(pMonitor),
          m_destination(c_stCommand.bOverwrite) {}

    bool OpenDestination(Failure* pstError) {
        return m_destination.Open(m_stCommand.strDestination, pstError);
    }

    // c_names: each name once; c_vNames: as asked, for the order of the report.
    void Run(EntrySource* pSource, const NameSet& c_names,
             const std::vector<std::string>& c_vNames);
    // Tells the caller the problems in archive order, whatever order the entries were written
    // in, and returns their texts for the report.
    std::vector<std::string> ReportProblems();
    size_t Done() const { return m_nDone; }
    bool Halted() const { return m_pMonitor->Halted(); }

    // Writes or tests one file without a password; on a worker, with its own destination.
    void Process(const Job& c_stJob, EntrySource* pSource, SafeDestination* pDestination) {
        Finish(c_stJob, Try(c_stJob, pSource, pDestination, nullptr));
    }
    void Failed(const Job& c_stJob, const char* c_pszWhy) noexcept try {
        Record(c_stJob.nIndex, c_stJob.stEntry.strName, WriteOutcome::Failed,
               Because(KESTREL_REASON_WRITE_ERROR, c_pszWhy));
    } catch (...) {
    }

private:
    // Settles what an entry needs: false when that is done already (refused, nothing to make).
    bool Plan(size_t c_nIndex, const Entry& c_stEntry, EntrySource* pSource, Job* pstJob);
    void MakeLink(const Job& c_stJob, EntrySource* pSource);
    Attempt Try(const Job& c_stJob, EntrySource* pSource, SafeDestination* pDestination,
                const char* c_pszPassword);
    void Finish(const Job& c_stJob, const Attempt& c_stAttempt) {
        Record(c_stJob.nIndex, c_stJob.stEntry.strName, c_stAttempt.eOutcome, c_stAttempt.stWhy);
    }
    // An encrypted file, with the password asked for as often as the caller answers.
    void ProcessEncrypted(const Job& c_stJob, EntrySource* pSource);
    // Every entry's outcome goes through here, from any thread.
    void Record(size_t c_nIndex, const std::string& c_strName, WriteOutcome eOutcome,
                Failure stWhy);
    void Problem(size_t c_nIndex, std::string strText, uint32_t c_nReason, int c_nErrno,
                 std::string strName) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vProblems.push_back(
            {c_nIndex, std::move(strText), c_nReason, c_nErrno, std::move(strName)});
    }

    Format m_eFormat;
    ExtractCommand m_stCommand;
    Monitor* m_pMonitor;
    SafeDestination m_destination;
    std::mutex m_mutex;
    struct PROBLEM {
        size_t nIndex;
        std::string strText;
        uint32_t nReason;
        int nErrno;
        std::string strName;
    };
    std::vector<PROBLEM> m_vProblems;
    size_t m_nDone = 0;
    // The password of the encrypted entries, while it opens them.
    Secret m_password;
    bool m_bHavePassword = false;
    bool m_bDeclined = false;  // no password given: every encrypted entry is skipped
    uint32_t m_nWrong = 0;     // passwords that did not open an entry
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
            // Once the command stops, what is queued is dropped.
            if (!m_pOwner->Halted()) m_pOwner->Process(job, m_pSource, &destination);
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
                        Failure stWhy) {
    if (eOutcome == WriteOutcome::Written || eOutcome == WriteOutcome::Kept) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nDone;
    } else {
        // A file cut short by a cancel was removed, like any failed one.
        if (eOutcome == WriteOutcome::Failed && m_pMonitor->Cancelled()) {
            stWhy = Because(KESTREL_REASON_CANCELLED, "cancelled");
        }
        Problem(
            c_nIndex,
            c_strName + (eOutcome == WriteOutcome::Refused ? ": refused: " : ": ") + stWhy.strText,
            stWhy.nReason, stWhy.nErrno, c_strName);
        // A destination that is full or read-only takes nothing more: stop there.
        if (stWhy.nErrno == ENOSPC || stWhy.nErrno == EDQUOT || stWhy.nErrno == EROFS) {
            m_pMonitor->Halt();
        }
    }
    m_pMonitor->EntryDone(c_strName);
}

std::vector<std::string> Extraction::ReportProblems() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::stable_sort(m_vProblems.begin(), m_vProblems.end(),
                     [](const PROBLEM& a, const PROBLEM& b) { return a.nIndex < b.nIndex; });
    std::vector<std::string> v;
    for (auto& p : m_vProblems) {
        m_pMonitor->Problem(p.nReason, p.nErrno, p.strName);
        v.push_back(std::move(p.strText));
    }
    return v;
}

void Extraction::Run(EntrySource* pSource, const NameSet& c_names,
                     const std::vector<std::string>& c_vNames) {
    // Marked once taken: the first entry of a name is the one extracted.
    NameSet names = c_names;
    size_t remaining = names.size();
    pSource->WantOnly(&names);
    pSource->SetInterrupt(m_pMonitor);
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
    bool damaged = false;
    for (; remaining > 0 && !m_pMonitor->Halted(); ++index) {
        ReadResult r = pSource->Next(&e);
        if (r == ReadResult::End) break;
        if (r == ReadResult::Error) {
            if (m_pMonitor->Cancelled()) break;
            Problem(index, "The archive is damaged; entries after the damage cannot be read.",
                    KESTREL_REASON_ARCHIVE_DAMAGED, 0, "");
            damaged = true;
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
                if (workers) workers->WaitForPath(job.vParts, true);
                Failure why;
                const WriteOutcome outcome = m_destination.MakeDirectory(job.vParts, &why);
                Record(index, job.stEntry.strName, outcome, why);
                break;
            }
            case EntryKind::Symlink:
                // Rare, and later entries may lead through it: made in its turn.
                if (workers) workers->WaitAll();
                MakeLink(job, pSource);
                break;
            default:
                if (job.stEntry.bEncrypted) {
                    // Passwords are asked for on this thread, in archive order.
                    if (workers) workers->WaitForPath(job.vParts, false);
                    ProcessEncrypted(job, pSource);
                } else if (workers) {
                    workers->Submit(std::move(job));
                } else {
                    Process(job, pSource, &m_destination);
                }
                break;
        }
    }
    workers.reset();
    pSource->WantOnly(nullptr);
    pSource->SetInterrupt(nullptr);
    if (m_pMonitor->Halted()) {
        if (!m_stCommand.bTest) m_destination.RemoveEmptyMadeFolders();
        return;
    }
    for (const auto& name : c_vNames) {
        // A name given twice is reported once.
        auto it = names.find(name);
        if (it->second) continue;
        it->second = true;
        if (damaged) {
            Problem(kAfterAllEntries, name + ": not read (the archive is damaged before it)",
                    KESTREL_REASON_ARCHIVE_DAMAGED, 0, name);
        } else {
            Problem(kAfterAllEntries, name + ": not found in the archive", KESTREL_REASON_NOT_FOUND,
                    0, name);
        }
        m_pMonitor->EntryDone(name);
    }
}

bool Extraction::Plan(size_t c_nIndex, const Entry& c_stEntry, EntrySource* pSource, Job* pJob) {
    const std::string& name = c_stEntry.strName;
    std::vector<std::string>& parts = pJob->vParts;
    const bool test = m_stCommand.bTest;
    // A test writes nothing: names and kinds that extraction refuses do not matter to it.
    bool nothingToDo =
        test && (c_stEntry.eKind == EntryKind::Directory || c_stEntry.eKind == EntryKind::Other);
    if (!test) {
        char separator = m_eFormat == Format::SevenZip ? '\\' : '/';
        if (!SplitEntryPath(name, separator, &parts)) {
            pSource->SkipData(c_stEntry);
            Record(c_nIndex, name, WriteOutcome::Refused,
                   Because(KESTREL_REASON_REFUSED_NAME,
                           "absolute path or \"..\" would leave the destination"));
            return false;
        }
        if (c_stEntry.eKind == EntryKind::Other) {
            pSource->SkipData(c_stEntry);
            Record(c_nIndex, name, WriteOutcome::Refused,
                   Because(KESTREL_REASON_REFUSED_NAME, "device, pipe or hard link"));
            return false;
        }
        // A folder without paths has nothing to create.
        nothingToDo =
            parts.empty() || (!m_stCommand.bWithPaths && c_stEntry.eKind == EntryKind::Directory);
    }
    if (nothingToDo) {
        pSource->SkipData(c_stEntry);
        Record(c_nIndex, name, WriteOutcome::Written, Failure());
        return false;
    }
    if (!test && !m_stCommand.bWithPaths) parts.erase(parts.begin(), parts.end() - 1);
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
        DataResult r = pSource->ReadData(e, &sink, nullptr);
        if (r != DataResult::Ok) {
            Record(c_stJob.nIndex, e.strName, WriteOutcome::Failed,
                   DataFailure(r == DataResult::SinkFailed ? DataResult::Damaged : r));
            return;
        }
        target = sink.m_str;
    } else if (m_stCommand.bTest) {
        pSource->SkipData(e);
    }
    if (m_stCommand.bTest) {
        Record(c_stJob.nIndex, e.strName, WriteOutcome::Written, Failure());
        return;
    }
    Failure why;
    WriteOutcome outcome = m_destination.MakeSymlink(c_stJob.vParts, target, &why);
    Record(c_stJob.nIndex, e.strName, outcome, why);
}

Attempt Extraction::Try(const Job& c_stJob, EntrySource* pSource, SafeDestination* pDestination,
                        const char* c_pszPassword) {
    const Entry& e = c_stJob.stEntry;
    Attempt a;
    // Small files are told when done; a large one also as it starts, and on the way.
    if (e.llOriginalSize > kReportEvery) m_pMonitor->Report(&e.strName);
    if (m_stCommand.bTest) {
        NullSink nothing;
        ProgressSink sink(&nothing, m_pMonitor, e.strName);
        a.eData = pSource->ReadData(e, &sink, c_pszPassword);
        if (a.eData != DataResult::Ok) a.eOutcome = WriteOutcome::Failed;
    } else {
        bool produced = false;
        a.eOutcome = pDestination->WriteFile(
            c_stJob.vParts, e,
            [&](DataSink* s) {
                ProgressSink sink(s, m_pMonitor, e.strName);
                return pSource->ReadData(e, &sink, c_pszPassword);
            },
            &produced, &a.eData, &a.stWhy);
        if (!produced) pSource->SkipData(e);
    }
    if (a.eData != DataResult::Ok && a.eData != DataResult::SinkFailed) {
        a.stWhy = DataFailure(a.eData);
    }
    return a;
}

void Extraction::ProcessEncrypted(const Job& c_stJob, EntrySource* pSource) {
    // libarchive decrypts ZIP's encryptions only.
    if (m_eFormat != Format::Zip) {
        pSource->SkipData(c_stJob.stEntry);
        Record(c_stJob.nIndex, c_stJob.stEntry.strName, WriteOutcome::Failed,
               Because(KESTREL_REASON_ENCRYPTED, "encrypted (not supported)"));
        return;
    }
    for (;;) {
        if (!m_bHavePassword && !m_bDeclined) {
            m_bHavePassword = m_pMonitor->AskPassword(m_nWrong, &m_password);
            m_bDeclined = !m_bHavePassword;
        }
        if (m_bDeclined) {
            pSource->SkipData(c_stJob.stEntry);
            Record(c_stJob.nIndex, c_stJob.stEntry.strName, WriteOutcome::Failed,
                   DataFailure(m_nWrong > 0 ? DataResult::WrongPassword : DataResult::Encrypted));
            return;
        }
        const Attempt a = Try(c_stJob, pSource, &m_destination, m_password.c_str());
        if (a.eData == DataResult::WrongPassword && !m_pMonitor->Cancelled()) {
            m_bHavePassword = false;
            m_password.Clear();
            ++m_nWrong;
            continue;
        }
        Finish(c_stJob, a);
        return;
    }
}

}  // namespace

void SetExtractionWorkers(unsigned c_nWorkers) {
    g_nWorkerLimit = c_nWorkers;
}

int RunCommand(Format eFormat, const char* c_pszCommandLine, char* pszOutput,
               uint32_t c_nOutputSize, const KESTREL_COMMAND_CALLBACKS* pCallbacks) try {
    Monitor monitor(pCallbacks);
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
    NameSet distinct;
    for (const auto& name : names) distinct.emplace(name, false);
    std::unique_ptr<EntrySource> source = TakeFoundEntries(eFormat, command.strArchive, names);
    if (!source) {
        int64_t size = 0;
        source = OpenEntrySource(eFormat, command.strArchive, &size);
    }
    if (!source) {
        monitor.Problem(OpenFailureReason(eFormat, command.strArchive), 0, "");
        WriteOutput("Cannot open the archive: " + command.strArchive, pszOutput, c_nOutputSize);
        return 2;
    }
    Extraction extraction(eFormat, command, &monitor);
    Failure failure;
    if (!command.bTest && !extraction.OpenDestination(&failure)) {
        monitor.Problem(failure.nReason, failure.nErrno, "");
        WriteOutput(failure.strText, pszOutput, c_nOutputSize);
        return 4;
    }
    monitor.SetTotals(distinct.size(), -1);
    if (monitor.WantsProgress()) {
        monitor.SetTotals(distinct.size(), DeclaredTotal(eFormat, command.strArchive, source.get(),
                                                         distinct, &monitor));
    }
    if (!monitor.Cancelled()) extraction.Run(source.get(), distinct, names);
    const auto problems = extraction.ReportProblems();
    if (monitor.Cancelled()) {
        WriteOutput("Cancelled (" + std::to_string(extraction.Done()) + " of " +
                        std::to_string(distinct.size()) + " entries done).",
                    pszOutput, c_nOutputSize);
        return KESTREL_RESULT_CANCELLED;
    }
    if (problems.empty()) {
        WriteOutput(std::string(command.bTest ? "Tested " : "Extracted ") +
                        std::to_string(extraction.Done()) + " entries.",
                    pszOutput, c_nOutputSize);
        return 0;
    }
    std::string report = std::string(command.bTest ? "Not every entry is sound ("
                                                   : "Not everything was extracted (") +
                         std::to_string(extraction.Done()) + " of " + std::to_string(names.size()) +
                         " entries done).";
    for (const auto& p : problems) report += "\n" + p;
    WriteOutput(report, pszOutput, c_nOutputSize);
    return 5;
} catch (...) {
    WriteOutput("Extraction failed: out of memory.", pszOutput, c_nOutputSize);
    return 6;
}

}  // namespace kestrel::archiver
