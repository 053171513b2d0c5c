#include "FuzzFeed.h"
#include "FuzzMain.h"

QUAVER_FUZZ_TARGET(FuzzFeed::audioDecoder(bytes, dir))
