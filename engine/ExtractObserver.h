// What an extraction (or a test) tells its caller while it runs, and what it asks: how far it
// is, each entry not extracted and why, and the password of encrypted entries. The engine
// passes the archiver plug-ins' callbacks (common_archiver_api.h) up in these terms. Every call
// comes on the thread that called Extract, or on a thread the plug-in started; never two at
// once, and never after Extract has returned.
#pragma once

#include <cstdint>
#include <string>

#include "Secret.h"
#include "common_archiver_api.h"

namespace shelf {

struct EXTRACT_PROGRESS {
    uint64_t nEntriesDone = 0;   // entries of the request finished, whatever their outcome
    uint64_t nEntriesTotal = 0;  // entries of the request
    int64_t llBytesDone = 0;     // entry data written (decoded, in a test)
    int64_t llBytesTotal = -1;   // declared size of the request's files; -1 while not known
    std::wstring strPath;        // archive path of the entry worked on; empty before the first

    // How much is done, 0 to 1: by bytes once their total is known, else by entries.
    double Part() const {
        const double dPart =
            llBytesTotal > 0 ? static_cast<double>(llBytesDone) / static_cast<double>(llBytesTotal)
            : nEntriesTotal > 0
                ? static_cast<double>(nEntriesDone) / static_cast<double>(nEntriesTotal)
                : 0.0;
        return dPart < 0.0 ? 0.0 : dPart > 1.0 ? 1.0 : dPart;
    }
};

struct EXTRACT_PROBLEM {
    uint32_t nReason = 0;  // KESTREL_REASON_* (common_archiver_api.h)
    int32_t nErrno = 0;    // the system's error number when one caused it, else 0
    // Archive path of the entry ("/" first, "/" between folders); empty when the problem
    // concerns the whole request (the archive cannot be read past a point, the destination
    // cannot be made).
    std::wstring strPath;
};

// All optional: the defaults go on, ignore problems and give no password.
class IExtractObserver {
public:
    virtual ~IExtractObserver() = default;
    // False cancels: the extraction stops within half a second, the file being written is
    // removed, what was finished stays, and Extract returns -3.
    virtual bool Progress(const EXTRACT_PROGRESS&) { return true; }
    virtual void Problem(const EXTRACT_PROBLEM&) {}
    // An encrypted entry needs a password. bWrongBefore: the one given before (or kept from an
    // earlier extraction of this archive) did not open it. Fills *pPassword and returns true,
    // or returns false to skip the encrypted entries (each then reported as
    // KESTREL_REASON_ENCRYPTED). Called only for formats whose encryption can be opened.
    virtual bool Password(bool /*bWrongBefore*/, kestrel::Secret* /*pPassword*/) { return false; }
};

}  // namespace shelf
