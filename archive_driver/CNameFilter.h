// Which rows of a file list a search text finds: those whose file name contains it, compared
// without regard to case or to the full-width and half-width forms of letters, digits and
// katakana ("ｶﾀｶﾅ" finds "カタカナ", "abc" finds "ＡＢＣ"). Both sides are folded the same way:
// Unicode compatibility composition (NFKC), then case folding.
//
// A million names are searched at every keystroke, so they are folded once (Index) into one
// UTF-8 buffer and a text is looked for in that buffer as a whole. The index holds copies: it
// stays valid when the rows go, but describes them only until they change.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "CArchive_Driver.h"

namespace kestrel {

class CNameFilter {
public:
    // The form names and search texts are compared in.
    static QString Fold(const QString& c_strText);

    // Folds the rows' names; Match answers for these rows until the next Index or Clear.
    void Index(const std::vector<ListViewItem>& c_vRows);
    void Clear();
    bool bIndexed() const { return m_bIndexed; }

    // The positions of the indexed rows whose name contains c_strText, ascending. An empty text
    // finds every row.
    std::vector<int32_t> Match(const QString& c_strText) const;

private:
    std::string m_strKeys;         // the folded names, each followed by a NUL
    std::vector<size_t> m_vnEnds;  // where each row's name ends in m_strKeys
    bool m_bIndexed = false;
};

}  // namespace kestrel
