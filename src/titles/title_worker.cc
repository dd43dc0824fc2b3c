#include "titles/title_worker.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>

#include "host/pool_worker.h"
#include "titles/tag_search.h"

int RunTitleWorker() {
  WorkerLimits limits;
  // The peak only grows, and nothing else runs between jobs: one look after
  // each job says whether that job raised it.
  uint64_t peak = WorkerPeakMemory();
  return RunWorker(limits, [&limits, &peak](const std::string& request,
                                            const std::function<void(uint32_t)>& more_time) {
    std::u16string folder, name;
    Title title;
    if (!DecodeTitleRequest(request, &folder, &name)) {
      return EncodeTitleAnswer(title, false, "malformed request");
    }
    // A file of a MiB or more may take longer than the base allowance.
    auto extra_time = [&more_time](uint64_t size) {
      if (size >= (1u << 20)) {
        more_time(static_cast<uint32_t>(std::min<uint64_t>((size >> 20) * kTimeoutPerMiBMs, 3600000)));
      }
    };
    std::string why;
    bool opened = false;
    try {
      opened = GetTitleTag(folder, name, &title, &why, extra_time);
    } catch (const std::bad_alloc&) {
      title = Title();
      why = "the tag reader ran out of memory";
    }
    // Memory that ran short on the way may have cost a tag, and so changed
    // the title, whatever title came out. Only a file whose own reading
    // raised the peak near the limit is blamed; the peak of a file read
    // earlier says nothing of this one.
    const uint64_t peak_after = WorkerPeakMemory();
    const bool raised_near_limit = peak_after > peak && peak_after >= limits.data_bytes / 4 * 3;
    peak = peak_after;
    if (opened && raised_near_limit) {
      opened = false;
      title = Title();
      why = "the tag reader ran into its memory limit of " +
            std::to_string(limits.data_bytes >> 20) + " MiB";
    }
    return EncodeTitleAnswer(title, opened, why);
  });
}
