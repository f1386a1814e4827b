// The one table of Japanese texts for why an entry was not extracted or an archive did not
// open, for kestrel-cli and (through the facade) the window.
#pragma once

#include <cstdint>
#include <string>

namespace shelf {

// The reason of an EXTRACT_PROBLEM (KESTREL_REASON_*), with the system's text for its error
// number where one caused it.
std::wstring ReasonText(uint32_t nReason, int32_t nErrno);

// Why an archive did not open (GetOpenReason): the line after "このファイルは開くことが出来ません".
std::wstring OpenFailureText(uint32_t nReason);

}  // namespace shelf
