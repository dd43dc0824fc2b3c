// The card's folders listed ahead of the scan. Listing a folder and looking
// at each of its MP3 files is most of what a scan of an unchanged card
// costs, and it waits on the system, not on the scan: a second thread lists
// the folders the scan will enter from the card's last folder backwards
// while the scan goes forwards from the first, and the two meet in the
// middle. Each folder is listed once, by whichever of the two gets to it
// first; the scan says everything about it in its own order, so what the
// run says and writes does not depend on who listed what. The other thread
// holds the entries of at most about 16,384 files and folders it listed
// and the scan has not taken, and waits while it holds more.
#ifndef CARDPREP_CATALOG_LISTING_AHEAD_H_
#define CARDPREP_CATALOG_LISTING_AHEAD_H_

#include <condition_variable>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/scan_rules.h"
#include "host/folder.h"
#include "host/thread.h"

// A folder's listing, sorted out by the scan's rules (ListHostFolder and
// SortOutEntries: each MP3 file stamped).
struct FolderListing {
  bool opened = false;  // false: the folder could not be opened (|why|)
  std::vector<FolderEntry> entries;
  FolderContents contents;
  std::string why;
  std::string read_error;  // not empty when reading stopped early
  bool fault = false;      // either failure is a fault of the card or system
};

// Lists the folder at |path| (in the card's form) in this thread; the card
// is on FAT when |card_is_fat| (scan_rules.h).
FolderListing ListFolder(const std::u16string& path, bool card_is_fat);

// How many entries the other thread holds for the scan before it waits.
constexpr size_t kMostHeldAhead = 16384;

// The second thread and what it hands the scan. Owned by the run, which
// starts it once the card is tidied and ends it (by ending the object)
// before anything is put in place; without a thread (the system would not
// start one), the scan lists every folder itself.
class ListingAhead {
 public:
  explicit ListingAhead(bool card_is_fat) : card_is_fat_(card_is_fat) {}
  ListingAhead(const ListingAhead&) = delete;
  ListingAhead& operator=(const ListingAhead&) = delete;
  ~ListingAhead();  // stops the thread and waits for it

  // Starts listing the card from its root on the second thread.
  void Start();

  // The listing of the folder at |path| for the scan: the one listed ahead
  // (waiting while it is being listed), or listed now.
  FolderListing Take(const std::u16string& path);

  // What the thread has done, for tests: folders claimed by either side,
  // being listed now, still to be listed, and the entries held for the
  // scan.
  struct Stats {
    bool started = false;
    size_t claimed = 0;
    size_t listing = 0;
    size_t to_list = 0;
    size_t held = 0;
  };
  Stats stats();

 private:
  enum class State { kScanTook, kListing, kListed, kGaveUp };
  struct Slot {
    State state = State::kScanTook;
    FolderListing listing;
  };

  static void Run(void* self);
  void ListAhead();
  // Stops the thread once the folder it lists is done, and waits for it.
  void Stop();

  const bool card_is_fat_;
  std::mutex mutex_;
  std::condition_variable listed_;  // a slot left kListing
  std::condition_variable taken_;   // the scan took a listing made ahead, or stop
  // Every folder either of the two has taken, by path. A folder the scan
  // took is never listed by the other thread.
  std::unordered_map<std::u16string, Slot> slots_;
  std::vector<std::u16string> to_list_;  // the other thread's, last on top
  size_t held_ = 0;  // entries listed ahead and not yet taken by the scan
  bool stop_ = false;
  HostThread thread_;
};

// The listing of the folder at |path|: taken from |ahead|, or listed now
// when there is none.
FolderListing TakeListing(ListingAhead* ahead, const std::u16string& path, bool card_is_fat);

#endif  // CARDPREP_CATALOG_LISTING_AHEAD_H_
