// The extraction command line and the response-file line that the engine's own drivers hand a
// plug-in, so that plug-in tests and fuzzers send exactly what the program sends.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::test {

enum class Archiver { Lha, Zip, SevenZip };

// nMode: bit 0x10 keep paths; low nibble 0x02 overwrite, 0x04 keep; 0x40/0x80 query.
std::string EngineCommandLine(Archiver eArchiver, const std::string& c_strArchive,
                              const std::string& c_strDestination, const std::string& c_strResponse,
                              uint32_t nMode);

// c_strPath as the engine keeps an entry: "/", then the name with "/" between folders.
std::string EngineResponseLine(Archiver eArchiver, const std::string& c_strPath);

}  // namespace kestrel::test
