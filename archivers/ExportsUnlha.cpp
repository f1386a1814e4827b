// The exports of the LHA plug-in.
#include "ArchiverCore.h"
#include "common_archiver_api.h"

KESTREL_DEFINE_ARCHIVER_EXPORTS(Unlha, kestrel::archiver::Format::Lha)
