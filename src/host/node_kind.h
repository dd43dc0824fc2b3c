// What stands at a path, as the host layer tells it (KindAt, file.h) and as
// its system calls do (os.h), which both include this.
#ifndef CARDPREP_HOST_NODE_KIND_H_
#define CARDPREP_HOST_NODE_KIND_H_

// What stands at a path, a final symbolic link not followed.
enum class NodeKind {
  kMissing,  // nothing
  kFile,     // a regular file
  kFolder,
  kLink,     // a symbolic link (on Windows any reparse point)
  kDevice,   // a character or block device
  kOther,    // a FIFO or a socket
};

#endif  // CARDPREP_HOST_NODE_KIND_H_
