// The quoting of the extraction command lines the engine writes and the archiver plug-ins read:
// one writer and one reader, so that the two sides cannot drift apart. A token is split at
// blanks and tabs outside double quotes; the quotes group and are removed. Inside a quoted
// run, "" stands for one " (a Linux path may hold any byte but NUL and "/"). A quote that
// closes a run is never followed by another quote in what the engine writes, so every command
// line written before this escape existed reads as it did.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::quote {

// Appends c_sv as one double-quoted run, each " inside doubled.
inline void AppendQuoted(std::string* pstrOut, std::string_view c_sv) {
    pstrOut->push_back('"');
    for (const char c : c_sv) {
        if (c == '"') pstrOut->push_back('"');
        pstrOut->push_back(c);
    }
    pstrOut->push_back('"');
}

// The tokens of a command line; false for a quoted run that is not closed.
inline bool SplitCommandLine(std::string_view c_svLine, std::vector<std::string>* pvTokens) {
    pvTokens->clear();
    const size_t n = c_svLine.size();
    size_t i = 0;
    while (i < n) {
        while (i < n && (c_svLine[i] == ' ' || c_svLine[i] == '\t')) ++i;
        if (i >= n) break;
        std::string token;
        bool quoted = false;
        while (i < n && (quoted || (c_svLine[i] != ' ' && c_svLine[i] != '\t'))) {
            const char c = c_svLine[i++];
            if (c != '"') {
                token.push_back(c);
            } else if (!quoted) {
                quoted = true;
            } else if (i < n && c_svLine[i] == '"') {
                token.push_back('"');
                ++i;
            } else {
                quoted = false;
            }
        }
        if (quoted) return false;
        pvTokens->push_back(std::move(token));
    }
    return true;
}

}  // namespace kestrel::quote
