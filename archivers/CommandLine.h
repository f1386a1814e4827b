// The extraction and test command lines the engine sends to each plug-in, and their response
// files. Only these forms are understood (quoting as base/CommandQuote.h):
//   7-Zip: (x|e) [-aoa|-aos] [-y] "-oDEST" "ARCHIVE" "@RESPONSE"    t "ARCHIVE" "@RESPONSE"
//   LHA:   e [-x1] (-c0|-c1|-m0 -c1) [-m0|-m1] -a2 "ARCHIVE" ["DEST"] @"RESPONSE"
//                                                                    t "ARCHIVE" @"RESPONSE"
//   ZIP:   -x [-j] [-o|-n] "ARCHIVE" "DEST" "@RESPONSE"             -t "ARCHIVE" "@RESPONSE"
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Entry.h"

namespace kestrel::archiver {

struct ExtractCommand {
    std::string strArchive;
    std::string strDestination;  // empty: the current folder
    std::string strResponse;
    bool bWithPaths = false;
    bool bOverwrite = false;  // otherwise existing files are kept
    bool bTest = false;       // decode and check the entries, write nothing
};

// False (with a reason) for anything but the plug-in's own command forms.
bool ParseCommandLine(Format eFormat, std::string_view c_svLine, ExtractCommand* pstCommand,
                      std::string* pstrError);

// One entry name per line, as FindFirst/FindNext report it, optionally between double quotes;
// CR LF or LF; blank lines are ignored; LHA lines may end in " -p2". False (with a reason)
// for a line of another form.
bool ParseResponse(Format eFormat, std::string_view c_svText, std::vector<std::string>* pvNames,
                   std::string* pstrError);

}  // namespace kestrel::archiver
