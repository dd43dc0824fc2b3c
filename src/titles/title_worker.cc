#include "titles/title_worker.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>

#include "bytes/byte_order.h"
#include "host/pool_worker.h"
#include "titles/tag_search.h"
#include "titles/title_reader.h"

std::string EncodeTitleAnswer(const Title& title, bool opened, const std::string& why) {
  std::string out;
  AppendLe32(&out, static_cast<uint32_t>(title.Length()));
  out.push_back(opened ? 1 : 0);
  AppendLe32(&out, static_cast<uint32_t>(why.size()));
  out += why;
  AppendUtf16(&out, title.found ? std::u16string_view(title.text) : std::u16string_view());
  out.push_back(title.latin1 ? 1 : 0);
  return out;
}

bool DecodeTitleAnswer(const std::string& bytes, Title* title, bool* opened, std::string* why) {
  constexpr size_t kMaxReasonBytes = 1024;
  ByteReader in(bytes);
  const auto length = static_cast<int32_t>(in.Le32());
  *opened = in.U8() != 0;
  *why = in.Counted(kMaxReasonBytes);
  title->text = in.Utf16(kMaxTitleLength);
  title->latin1 = in.U8() != 0;
  title->found = length >= 0;
  return in.AtEnd() && length >= -1 && length <= kMaxTitleLength &&
         (length < 0 || static_cast<size_t>(length) == title->text.size());
}

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
