#include "catalog/listing_ahead.h"

#include <utility>

#include "text/card_path.h"

FolderListing ListFolder(const std::u16string& path, bool card_is_fat) {
  FolderListing listing;
  // Only what may be a sound needs its stamp: the record holds nothing else.
  const StampFilter sounds = [](std::string_view name) { return HasMp3Extension(name); };
  listing.opened = ListHostFolder(HostPath(path), &listing.entries, &listing.why,
                                  &listing.read_error, &listing.fault, sounds);
  if (listing.opened) listing.contents = SortOutEntries(path, listing.entries, card_is_fat);
  return listing;
}

void ListingAhead::Run(void* self) { static_cast<ListingAhead*>(self)->ListAhead(); }

// Lists the folders on |to_list_| until none is left or the scan says
// stop, last folder first, so that the scan, going the other way, meets it
// as late as it can.
void ListingAhead::ListAhead() {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot* slot = nullptr;
  try {
    for (;;) {
      taken_.wait(lock, [&] { return stop_ || held_ <= kMostHeldAhead; });
      if (stop_ || to_list_.empty()) break;
      std::u16string path = std::move(to_list_.back());
      to_list_.pop_back();
      auto [at, fresh] = slots_.try_emplace(path);
      if (!fresh) continue;  // the scan has it, and all below it
      slot = &at->second;    // stays put while the map grows
      slot->state = State::kListing;
      lock.unlock();
      FolderListing listing = ListFolder(path, card_is_fat_);
      std::vector<std::u16string> below = SubfoldersToEnter(path, listing.contents.folders);
      lock.lock();
      held_ += listing.entries.size() + 1;
      slot->listing = std::move(listing);
      slot->state = State::kListed;
      slot = nullptr;
      listed_.notify_all();
      for (std::u16string& child : below) to_list_.push_back(std::move(child));
    }
  } catch (...) {
    // Out of memory: the scan lists the rest itself, and finds out.
    if (!lock.owns_lock()) lock.lock();
    if (slot != nullptr) slot->state = State::kGaveUp;
    to_list_.clear();
    listed_.notify_all();
  }
  to_list_.clear();
  to_list_.shrink_to_fit();
}

void ListingAhead::Start() {
  to_list_.push_back(u"");
  if (!StartHostThread(Run, this, &thread_)) to_list_.clear();
}

FolderListing ListingAhead::Take(const std::u16string& path) {
  if (!thread_.started) return ListFolder(path, card_is_fat_);
  std::unique_lock<std::mutex> lock(mutex_);
  auto [at, fresh] = slots_.try_emplace(path);
  Slot& slot = at->second;
  if (!fresh) {
    listed_.wait(lock, [&] { return slot.state != State::kListing; });
    if (slot.state == State::kListed) {
      slot.state = State::kScanTook;
      held_ -= slot.listing.entries.size() + 1;
      taken_.notify_one();
      return std::move(slot.listing);
    }
  }
  slot.state = State::kScanTook;
  lock.unlock();
  return ListFolder(path, card_is_fat_);
}

ListingAhead::Stats ListingAhead::stats() {
  std::lock_guard<std::mutex> lock(mutex_);
  Stats stats;
  stats.started = thread_.started;
  stats.claimed = slots_.size();
  for (const auto& [path, slot] : slots_) stats.listing += slot.state == State::kListing;
  stats.to_list = to_list_.size();
  stats.held = held_;
  return stats;
}

void ListingAhead::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  taken_.notify_all();
  JoinHostThread(&thread_);
  slots_.clear();
}

ListingAhead::~ListingAhead() { Stop(); }

FolderListing TakeListing(ListingAhead* ahead, const std::u16string& path, bool card_is_fat) {
  return ahead != nullptr ? ahead->Take(path) : ListFolder(path, card_is_fat);
}
