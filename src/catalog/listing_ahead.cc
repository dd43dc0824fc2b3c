#include "catalog/listing_ahead.h"

#include <utility>

#include "text/card_path.h"

FolderListing ListFolder(const std::u16string& path) {
  FolderListing listing;
  // Only what may be a sound needs its stamp: the record holds nothing else.
  const StampFilter sounds = [](std::string_view name) { return HasMp3Extension(name); };
  listing.opened = ListHostFolder(HostPath(path), &listing.entries, &listing.why,
                                  &listing.read_error, &listing.fault, sounds);
  if (listing.opened) listing.contents = SortOutEntries(path, listing.entries);
  return listing;
}

std::vector<std::u16string> FoldersToEnter(const std::u16string& path,
                                           const FolderListing& listing) {
  std::vector<std::u16string> paths;
  const std::vector<std::u16string>& folders = listing.contents.folders;
  for (size_t i = 0; i < folders.size() && i < kMaxChildren; ++i) {
    std::u16string child = ChildPath(path, folders[i]);
    if (!PathTooLongToScan(child)) paths.push_back(std::move(child));
  }
  return paths;
}

namespace {

// Lists the folders on |ahead->to_list| until none is left or the scan
// says stop, last folder first, so that the scan, going the other way,
// meets it as late as it can.
void ListAhead(ListingAhead* ahead) {
  std::unique_lock<std::mutex> lock(ahead->mutex);
  ListingAhead::Slot* slot = nullptr;
  try {
    for (;;) {
      ahead->taken.wait(lock, [&] { return ahead->stop || ahead->held <= kMostHeldAhead; });
      if (ahead->stop || ahead->to_list.empty()) break;
      std::u16string path = std::move(ahead->to_list.back());
      ahead->to_list.pop_back();
      auto [at, fresh] = ahead->slots.try_emplace(path);
      if (!fresh) continue;  // the scan has it, and all below it
      slot = &at->second;    // stays put while the map grows
      slot->state = ListingAhead::State::kListing;
      lock.unlock();
      FolderListing listing = ListFolder(path);
      std::vector<std::u16string> below = FoldersToEnter(path, listing);
      lock.lock();
      ahead->held += listing.entries.size() + 1;
      slot->listing = std::move(listing);
      slot->state = ListingAhead::State::kListed;
      slot = nullptr;
      ahead->listed.notify_all();
      for (std::u16string& child : below) ahead->to_list.push_back(std::move(child));
    }
  } catch (...) {
    // Out of memory: the scan lists the rest itself, and finds out.
    if (!lock.owns_lock()) lock.lock();
    if (slot != nullptr) slot->state = ListingAhead::State::kGaveUp;
    ahead->to_list.clear();
    ahead->listed.notify_all();
  }
  ahead->to_list.clear();
  ahead->to_list.shrink_to_fit();
}

void RunListAhead(void* ahead) { ListAhead(static_cast<ListingAhead*>(ahead)); }

}  // namespace

void StartListingAhead(ListingAhead* ahead) {
  // Asked once, here, so that both threads read the same answer.
  (void)CardIsFat();
  ahead->to_list.push_back(u"");
  if (!StartHostThread(RunListAhead, ahead, &ahead->thread)) ahead->to_list.clear();
}

FolderListing TakeListing(ListingAhead* ahead, const std::u16string& path) {
  if (ahead == nullptr || !ahead->thread.started) return ListFolder(path);
  std::unique_lock<std::mutex> lock(ahead->mutex);
  auto [at, fresh] = ahead->slots.try_emplace(path);
  ListingAhead::Slot& slot = at->second;
  if (!fresh) {
    ahead->listed.wait(lock, [&] { return slot.state != ListingAhead::State::kListing; });
    if (slot.state == ListingAhead::State::kListed) {
      slot.state = ListingAhead::State::kScanTook;
      ahead->held -= slot.listing.entries.size() + 1;
      ahead->taken.notify_one();
      return std::move(slot.listing);
    }
  }
  slot.state = ListingAhead::State::kScanTook;
  lock.unlock();
  return ListFolder(path);
}

void StopListingAhead(ListingAhead* ahead) {
  {
    std::lock_guard<std::mutex> lock(ahead->mutex);
    ahead->stop = true;
  }
  ahead->taken.notify_all();
  JoinHostThread(&ahead->thread);
  ahead->slots.clear();
}

ListingAhead::~ListingAhead() { StopListingAhead(this); }
