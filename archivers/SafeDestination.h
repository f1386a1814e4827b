// Writes extracted entries below one destination folder and nowhere else: every folder on
// the way is opened without following links, files are written under a temporary name and
// renamed into place, and links may only point inside the destination.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Entry.h"
#include "EntryData.h"

namespace kestrel::archiver {

enum class WriteOutcome { Written, Kept, Refused, Failed };

// Why an entry was refused or failed: a KESTREL_REASON_* code, the system's error number when
// one caused it, and a text for the command's log.
struct Failure {
    uint32_t nReason = 0;
    int nErrno = 0;
    std::string strText;
};

// The reason a failed system call gives: no room, a name too long, something in the way, or
// any other write error; the text is prefixed with c_pszWhat when given.
Failure FailureOf(int nErrno, const char* c_pszWhat = nullptr);
Failure Because(uint32_t nReason, const char* c_pszText);

class SafeDestination {
public:
    explicit SafeDestination(bool bOverwrite) : m_bOverwrite(bOverwrite) {}

    // Opens the folder, creating it and missing parents first. "" is the current folder.
    bool Open(const std::string& c_strPath, Failure* pstError);
    // Another writer into the same opened folder, for another thread.
    SafeDestination Share() const;

    // c_vComponents: the path below the destination, already checked (no "..", no empties).
    // The producer fills the file; it is not called when the file is kept or refused.
    WriteOutcome WriteFile(const std::vector<std::string>& c_vComponents, const Entry& c_stEntry,
                           const std::function<DataResult(DataSink*)>& c_fnProducer,
                           bool* pbProduced, DataResult* peData, Failure* pstWhy);
    WriteOutcome MakeDirectory(const std::vector<std::string>& c_vComponents, Failure* pstWhy);
    WriteOutcome MakeSymlink(const std::vector<std::string>& c_vComponents,
                             const std::string& c_strTarget, Failure* pstWhy);
    // Removes the folders this destination and its shares made on the way to an entry, deepest
    // first, where they are still empty: after a cancel, nothing but finished entries stays.
    void RemoveEmptyMadeFolders();

private:
    // The folder named by the first c_nDepth components, created on the way; -1 on failure.
    // The descriptor stays open (for the entries that follow in the same folder) until the
    // next call.
    int OpenParent(const std::vector<std::string>& c_vComponents, size_t c_nDepth,
                   WriteOutcome* peOutcome, Failure* pstWhy);
    std::string TemporaryName();
    // Moves the finished temporary into place under the policy; Written or Kept.
    WriteOutcome Publish(int dirFd, const std::string& c_strTemp, const std::string& c_strLeaf,
                         Failure* pstWhy);

    // Folders made on the way to entries (components joined by "/"); shared by the shares.
    struct MadeFolders {
        std::mutex mutex;
        std::set<std::string> paths;
    };

    bool m_bOverwrite;
    std::shared_ptr<MadeFolders> m_pMade = std::make_shared<MadeFolders>();
    UniqueFd m_root;
    // The folder OpenParent opened last and its components below the destination.
    UniqueFd m_folder;
    std::vector<std::string> m_vFolderPath;
};

}  // namespace kestrel::archiver
