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

// Lists the folder at |path| (in the card's form) in this thread.
FolderListing ListFolder(const std::u16string& path);

// The folders a scan enters below one it has listed, in its order: the
// first 255 subfolders by name whose paths are not too long to scan.
std::vector<std::u16string> FoldersToEnter(const std::u16string& path,
                                           const FolderListing& listing);

// How many entries the other thread holds for the scan before it waits.
constexpr size_t kMostHeldAhead = 16384;

struct ListingAhead {
  enum class State { kScanTook, kListing, kListed, kGaveUp };
  struct Slot {
    State state = State::kScanTook;
    FolderListing listing;
  };

  std::mutex mutex;
  std::condition_variable listed;  // a slot left kListing
  std::condition_variable taken;   // the scan took a listing made ahead, or stop
  // Every folder either of the two has taken, by path. A folder the scan
  // took is never listed by the other thread.
  std::unordered_map<std::u16string, Slot> slots;
  std::vector<std::u16string> to_list;  // the other thread's, last on top
  size_t held = 0;  // entries listed ahead and not yet taken by the scan
  bool stop = false;
  HostThread thread;

  ListingAhead() = default;
  ListingAhead(const ListingAhead&) = delete;
  ListingAhead& operator=(const ListingAhead&) = delete;
  ~ListingAhead();  // stops it
};

// Starts listing the card from its root on a second thread. Without one
// (the system would not start it), the scan lists every folder itself.
void StartListingAhead(ListingAhead* ahead);

// The listing of the folder at |path| for the scan: the one listed ahead
// (waiting while it is being listed), or listed now. |ahead| may be null.
FolderListing TakeListing(ListingAhead* ahead, const std::u16string& path);

// Stops the listing ahead, once the folder it is listing is done, and
// waits for its thread to end. Safe to call more than once.
void StopListingAhead(ListingAhead* ahead);

#endif  // CARDPREP_CATALOG_LISTING_AHEAD_H_
