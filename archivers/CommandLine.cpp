#include "CommandLine.h"

#include "CommandQuote.h"

namespace kestrel::archiver {

namespace {

bool Fail(std::string* pstrError, const char* c_pszText) {
    *pstrError = c_pszText;
    return false;
}

bool TakeResponse(const std::string& c_strToken, ExtractCommand* c) {
    if (c_strToken.size() < 2 || c_strToken[0] != '@') return false;
    c->strResponse = c_strToken.substr(1);
    return true;
}

// The test verb of every format: VERB "ARCHIVE" "@RESPONSE" (LHA: @"RESPONSE").
bool ParseTest(const std::vector<std::string>& t, ExtractCommand* c, std::string* err) {
    if (t.size() != 3) return Fail(err, "Unexpected arguments.");
    c->bTest = true;
    c->strArchive = t[1];
    if (!TakeResponse(t[2], c)) return Fail(err, "Missing response file (@).");
    return true;
}

bool ParseSevenZip(const std::vector<std::string>& t, ExtractCommand* c, std::string* err) {
    size_t i = 0;
    if (!t.empty() && t[0] == "t") return ParseTest(t, c, err);
    if (t.empty() || (t[0] != "x" && t[0] != "e")) return Fail(err, "Unknown command.");
    c->bWithPaths = t[i++] == "x";
    if (i < t.size() && (t[i] == "-aoa" || t[i] == "-aos")) c->bOverwrite = t[i++] == "-aoa";
    if (i < t.size() && t[i] == "-y") ++i;
    if (t.size() - i != 3) return Fail(err, "Unexpected arguments.");
    if (t[i].compare(0, 2, "-o") != 0) return Fail(err, "Missing output folder (-o).");
    c->strDestination = t[i].substr(2);
    c->strArchive = t[i + 1];
    if (!TakeResponse(t[i + 2], c)) return Fail(err, "Missing response file (@).");
    return true;
}

bool ParseLha(const std::vector<std::string>& t, ExtractCommand* c, std::string* err) {
    size_t i = 0;
    if (!t.empty() && t[0] == "t") return ParseTest(t, c, err);
    if (t.empty() || t[0] != "e") return Fail(err, "Unknown command.");
    ++i;
    if (i < t.size() && t[i] == "-x1") {
        c->bWithPaths = true;
        ++i;
    }
    // Overwrite without asking only for -c1 with no -m0: -m0 asks questions, and with no one
    // to answer them, existing files are kept.
    bool askMode = false;
    if (i < t.size() && t[i] == "-c0") {
        ++i;
    } else if (i < t.size() && t[i] == "-c1") {
        c->bOverwrite = true;
        ++i;
    } else if (i + 1 < t.size() && t[i] == "-m0" && t[i + 1] == "-c1") {
        askMode = true;
        i += 2;
    } else {
        return Fail(err, "Missing overwrite switch (-c0, -c1).");
    }
    if (i < t.size() && t[i] == "-m0") {
        askMode = true;
        ++i;
    } else if (i < t.size() && t[i] == "-m1") {
        ++i;
    }
    if (askMode) c->bOverwrite = false;
    if (i >= t.size() || t[i] != "-a2") return Fail(err, "Unexpected switch.");
    ++i;
    size_t rest = t.size() - i;
    if (rest != 2 && rest != 3) return Fail(err, "Unexpected arguments.");
    c->strArchive = t[i];
    if (rest == 3) c->strDestination = t[i + 1];
    if (!TakeResponse(t.back(), c)) return Fail(err, "Missing response file (@).");
    return true;
}

bool ParseZip(const std::vector<std::string>& t, ExtractCommand* c, std::string* err) {
    size_t i = 0;
    if (!t.empty() && t[0] == "-t") return ParseTest(t, c, err);
    if (t.empty() || t[0] != "-x") return Fail(err, "Unknown command.");
    ++i;
    c->bWithPaths = true;
    if (i < t.size() && t[i] == "-j") {
        c->bWithPaths = false;
        ++i;
    }
    if (i < t.size() && (t[i] == "-o" || t[i] == "-n")) c->bOverwrite = t[i++] == "-o";
    if (t.size() - i != 3) return Fail(err, "Unexpected arguments.");
    c->strArchive = t[i];
    c->strDestination = t[i + 1];
    if (!TakeResponse(t[i + 2], c)) return Fail(err, "Missing response file (@).");
    return true;
}

}  // namespace

bool ParseCommandLine(Format eFormat, std::string_view c_svLine, ExtractCommand* pstCommand,
                      std::string* pstrError) {
    std::vector<std::string> tokens;
    *pstCommand = ExtractCommand();
    if (!quote::SplitCommandLine(c_svLine, &tokens)) return Fail(pstrError, "Unbalanced quotes.");
    bool ok = false;
    switch (eFormat) {
        case Format::SevenZip:
            ok = ParseSevenZip(tokens, pstCommand, pstrError);
            break;
        case Format::Lha:
            ok = ParseLha(tokens, pstCommand, pstrError);
            break;
        case Format::Zip:
            ok = ParseZip(tokens, pstCommand, pstrError);
            break;
    }
    if (ok && pstCommand->strArchive.empty()) return Fail(pstrError, "No archive named.");
    return ok;
}

bool ParseResponse(Format eFormat, std::string_view text, std::vector<std::string>* pvNames,
                   std::string* pstrError) {
    pvNames->clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty()) continue;
        if (eFormat == Format::Lha && line.size() > 4 && line.substr(line.size() - 4) == " -p2") {
            line.remove_suffix(4);
            while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        }
        if (line.front() == '"') {
            // From the first quote to the last, so that a name may itself hold quotes.
            if (line.size() < 2 || line.back() != '"') {
                *pstrError = "Malformed response-file line.";
                return false;
            }
            line = line.substr(1, line.size() - 2);
        }
        if (line.empty()) {
            *pstrError = "Empty name in the response file.";
            return false;
        }
        pvNames->emplace_back(line);
    }
    return true;
}

}  // namespace kestrel::archiver
