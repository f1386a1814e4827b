// Writes extracted entries below one destination folder and nowhere else: every folder on
// the way is opened without following links, files are written under a temporary name and
// renamed into place, and links may only point inside the destination.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Entry.h"
#include "EntryData.h"

namespace kestrel::archiver {

enum class WriteOutcome { Written, Kept, Refused, Failed };

class SafeDestination {
public:
    explicit SafeDestination(bool bOverwrite) : m_bOverwrite(bOverwrite) {}

    // Opens the folder, creating it and missing parents first. "" is the current folder.
    bool Open(const std::string& c_strPath, std::string* pstrError);
    // Another writer into the same opened folder, for another thread.
    SafeDestination Share() const;

    // c_vComponents: the path below the destination, already checked (no "..", no empties).
    // The producer fills the file; it is not called when the file is kept or refused.
    WriteOutcome WriteFile(const std::vector<std::string>& c_vComponents, const Entry& c_stEntry,
                           const std::function<DataResult(DataSink*)>& c_fnProducer,
                           bool* pbProduced, DataResult* peData, std::string* pstrWhy);
    WriteOutcome MakeDirectory(const std::vector<std::string>& c_vComponents, std::string* pstrWhy);
    WriteOutcome MakeSymlink(const std::vector<std::string>& c_vComponents,
                             const std::string& c_strTarget, std::string* pstrWhy);

private:
    // The folder named by the first c_nDepth components, created on the way; -1 on failure.
    // The descriptor stays open (for the entries that follow in the same folder) until the
    // next call.
    int OpenParent(const std::vector<std::string>& c_vComponents, size_t c_nDepth,
                   WriteOutcome* peOutcome, std::string* pstrWhy);
    std::string TemporaryName();
    // Moves the finished temporary into place under the policy; Written or Kept.
    WriteOutcome Publish(int dirFd, const std::string& c_strTemp, const std::string& c_strLeaf,
                         std::string* pstrWhy);

    bool m_bOverwrite;
    UniqueFd m_root;
    // The folder OpenParent opened last and its components below the destination.
    UniqueFd m_folder;
    std::vector<std::string> m_vFolderPath;
};

}  // namespace kestrel::archiver
