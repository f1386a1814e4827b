// The exports of the ZIP plug-in.
#include "ArchiverCore.h"
#include "common_archiver_api.h"

KESTREL_DEFINE_ARCHIVER_EXPORTS(UnZip, kestrel::archiver::Format::Zip)
