// The title as the tag library's own file reader finds it: id3_file_fdopen,
// which searches the file through stdio, parses every frame of every tag and
// merges them. cardprep read titles this way before it read the tag bytes
// itself; the differential test and fuzz target hold the two readers to the
// same titles. Nothing in the programs uses it.
#ifndef CARDPREP_TESTS_SUPPORT_TITLE_REFERENCE_H_
#define CARDPREP_TESTS_SUPPORT_TITLE_REFERENCE_H_

#include <cstdint>
#include <string>

struct ReferenceTitle {
  bool finished = false;  // the reader ended within the limits it was given
  std::u16string text;
  int32_t length = -1;    // -1: no title
};

// Reads the title of the regular file |host_path| in this process. Every
// string of every "TIT2" frame replaces the one before, but for an empty
// one after a string that is not empty in the same list (a writer's
// terminator); the last is kept, cut to 259 UTF-16 units. |finished| is false when the file would not open.
ReferenceTitle ReadReferenceTitle(const std::string& host_path);

// The same in a child process held to a title worker's limits: |data_bytes|
// of memory (when the build has no sanitizer; a reader whose peak came
// within a quarter of it counts as overrunning, as in a worker) and
// |timeout_ms| from its start. Several may run at once; start them from one thread (a child forked
// while another thread holds a lock could wait on it for ever).
struct ReferenceChild {
  int pid = -1;
  int answer_fd = -1;
  int64_t deadline_ms = 0;
};
ReferenceChild StartReferenceTitle(const std::string& host_path, uint32_t timeout_ms,
                                   uint64_t data_bytes);
// Waits for the child's answer; |finished| is false when it overran its
// limits or crashed.
ReferenceTitle FinishReferenceTitle(ReferenceChild* child);

#endif  // CARDPREP_TESTS_SUPPORT_TITLE_REFERENCE_H_
