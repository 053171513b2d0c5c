#include "FuzzFeed.h"
#include "FuzzMain.h"

QUAVER_FUZZ_TARGET(FuzzFeed::playlistImport(bytes, dir))
