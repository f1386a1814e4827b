#include "CArchive.h"

namespace shelf {

int32_t CArchive::Property(NArchive::ARCHIVE_PROPERTY* pstProperty) {
    if (pstProperty == nullptr) return 0;
    *pstProperty = m_stProperty;
    return 1;
}

}  // namespace shelf
