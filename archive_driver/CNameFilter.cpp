#include "CNameFilter.h"

#include <cstring>
#include <numeric>

namespace kestrel {

namespace {

// Appends the folded name; plain ASCII, most names, is folded by lowering its letters alone.
void AppendKey(std::string& strKeys, const shelf::CTreeString& c_strName) {
    const std::string_view c_svOwn = c_strName.OwnBytes();
    if (c_strName.OwnWidth() == 1 && c_svOwn.size() == c_strName.size()) {
        const size_t c_nStart = strKeys.size();
        bool bAscii = true;
        for (const char c_ch : c_svOwn) {
            if (static_cast<unsigned char>(c_ch) >= 0x80) {
                bAscii = false;
                break;
            }
            strKeys.push_back(c_ch >= 'A' && c_ch <= 'Z' ? static_cast<char>(c_ch + 32) : c_ch);
        }
        if (bAscii) return;
        strKeys.resize(c_nStart);
    }
    strKeys += CNameFilter::Fold(QString::fromStdWString(c_strName.str())).toStdString();
}

}  // namespace

QString CNameFilter::Fold(const QString& c_strText) {
    return c_strText.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

void CNameFilter::Index(const std::vector<ListViewItem>& c_vRows) {
    Clear();
    m_vnEnds.reserve(c_vRows.size());
    m_strKeys.reserve(c_vRows.size() * 16);  // a typical name, grown as needed
    for (const ListViewItem& c_stRow : c_vRows) {
        AppendKey(m_strKeys, c_stRow.pNode->strFileName);
        m_vnEnds.push_back(m_strKeys.size());
        // Names hold no NUL: no text found can reach from one name into the next.
        m_strKeys.push_back('\0');
    }
    m_bIndexed = true;
}

void CNameFilter::Clear() {
    m_strKeys.clear();
    m_strKeys.shrink_to_fit();
    m_vnEnds.clear();
    m_vnEnds.shrink_to_fit();
    m_bIndexed = false;
}

std::vector<int32_t> CNameFilter::Match(const QString& c_strText) const {
    const std::string c_strNeedle = Fold(c_strText).toStdString();
    std::vector<int32_t> vnRows;
    if (c_strNeedle.empty()) {
        vnRows.resize(m_vnEnds.size());
        std::iota(vnRows.begin(), vnRows.end(), 0);
        return vnRows;
    }
    const char* c_pszKeys = m_strKeys.data();
    const size_t c_nSize = m_strKeys.size();
    size_t nPos = 0;
    size_t nRow = 0;
    while (nPos < c_nSize) {
        const void* pvHit =
            ::memmem(c_pszKeys + nPos, c_nSize - nPos, c_strNeedle.data(), c_strNeedle.size());
        if (pvHit == nullptr) break;
        const size_t c_nAt = static_cast<const char*>(pvHit) - c_pszKeys;
        while (m_vnEnds[nRow] < c_nAt) ++nRow;
        if (c_nAt + c_strNeedle.size() <= m_vnEnds[nRow]) {
            vnRows.push_back(static_cast<int32_t>(nRow));
            // Each row once: go on at the next name.
            nPos = m_vnEnds[nRow] + 1;
            ++nRow;
        } else {
            nPos = c_nAt + 1;
        }
    }
    return vnRows;
}

}  // namespace kestrel
