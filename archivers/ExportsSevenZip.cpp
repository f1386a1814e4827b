// The exports of the 7-Zip plug-in.
#include "ArchiverCore.h"
#include "common_archiver_api.h"

KESTREL_DEFINE_ARCHIVER_EXPORTS(SevenZip, kestrel::archiver::Format::SevenZip)
