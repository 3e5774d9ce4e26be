#include "host/cache_cleaner.h"

#include "host/working_state.h"

namespace kavi {

int CleanCache() {
  return CleanCache(SystemProcessRunner(), Working().GetDownloadFolder(),
                    Working().GetCacheFolder());
}

}  // namespace kavi
