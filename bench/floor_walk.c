// The floor: the card walk doing the least a title reader must, so
// cardprep's times can be read against it. Each sound is opened and only its
// tag bytes are read: the 10-byte ID3v2 header, then the whole tag it
// announces; without an ID3v2 tag, the last 128 bytes for an ID3v1 tag. The
// tag is not parsed beyond that (an ID3v1 title is copied as it is).
//
// Run in a card's root: floor_walk [--list]
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "card_walk.h"

enum { kId3v2HeaderSize = 10, kId3v1Size = 128, kId3v1TitleSize = 30 };

static uint8_t* g_tag_buffer;
static size_t g_tag_capacity;

// Reads exactly |size| bytes unless the file ends first; returns the count.
static size_t ReadFull(int fd, uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, out + done, size - done);
    if (n <= 0) break;
    done += (size_t)n;
  }
  return done;
}

static void TakeSound(const char* path, uint8_t* record, int list) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(stderr, "warning: cannot open %s\n", path);
    return;
  }
  const char* kind = "none";
  size_t tag_size = 0;
  uint8_t header[kId3v2HeaderSize];
  size_t got = ReadFull(fd, header, sizeof header);
  // "ID3", major version 2-4, then a syncsafe size (no byte above 0x7F).
  if (got == sizeof header && memcmp(header, "ID3", 3) == 0 && header[3] >= 2 &&
      header[3] <= 4 && ((header[6] | header[7] | header[8] | header[9]) & 0x80) == 0) {
    tag_size = (size_t)header[6] << 21 | (size_t)header[7] << 14 | (size_t)header[8] << 7 |
               (size_t)header[9];
    if (header[5] & 0x10) tag_size += kId3v2HeaderSize;  // footer
    if (tag_size > g_tag_capacity) {
      free(g_tag_buffer);
      g_tag_capacity = tag_size;
      g_tag_buffer = malloc(tag_size);
      if (g_tag_buffer == NULL) abort();
    }
    tag_size = ReadFull(fd, g_tag_buffer, tag_size);
    kind = header[3] == 4 ? "v2.4" : header[3] == 3 ? "v2.3" : "v2.2";
  } else if (lseek(fd, -kId3v1Size, SEEK_END) >= 0) {
    uint8_t v1[kId3v1Size];
    if (ReadFull(fd, v1, sizeof v1) == sizeof v1 && memcmp(v1, "TAG", 3) == 0) {
      kind = "v1";
      tag_size = kId3v1Size;
      for (size_t i = 0; i < kId3v1TitleSize && v1[3 + i] != 0; ++i) {
        PutLe16(record + kWalkTitleOffset + 2 * i, v1[3 + i]);
      }
    }
  }
  close(fd);
  if (list) printf("%s\t%s\t%zu\n", path + 2, kind, tag_size);
}

int main(int argc, char** argv) {
  int status = RunCardWalk("floor_walk", argc, argv, TakeSound);
  free(g_tag_buffer);
  return status;
}
