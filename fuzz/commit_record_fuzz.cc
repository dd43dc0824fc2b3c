// Property: the reader of the commit record (.cardprep-commit) stays
// within its bytes and takes only the one form the writer writes: a record
// it takes whole is what the writer writes for what it read, byte for
// byte, and names each of the index's files at most once; the first bytes
// of a record, less their last byte, are the first bytes of a record too;
// and anything it refuses comes with a reason.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "host/commit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> kNames = {"SNDLST16.DAT", "TAGINF16.TXT", "RANDOM16.DAT",
                                                  "DIRLST16.DAT"};
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CommitRecord record;
  std::string why;
  switch (DecodeCommitRecord(bytes, kNames, &record, &why)) {
    case RecordForm::kWhole: {
      FUZZ_CHECK(EncodeCommitRecord(record) == bytes, "a record read is not what its writer writes");
      FUZZ_CHECK(!record.files.empty() && record.files.size() <= kNames.size(), "files named");
      for (size_t i = 0; i < record.files.size(); ++i) {
        bool known = false;
        for (const std::string& name : kNames) known = known || name == record.files[i].name;
        FUZZ_CHECK(known, "a file that is not one of the index");
        for (size_t j = 0; j < i; ++j) {
          FUZZ_CHECK(record.files[j].name != record.files[i].name, "a file named twice");
        }
      }
      break;
    }
    case RecordForm::kCutShort: {
      FUZZ_CHECK(record.files.empty() && record.pid == 0, "a record cut short filled in");
      CommitRecord shorter;
      FUZZ_CHECK(bytes.empty() || DecodeCommitRecord(bytes.substr(0, bytes.size() - 1), kNames,
                                                     &shorter, &why) == RecordForm::kCutShort,
                 "a record cut short is not cut short one byte earlier");
      break;
    }
    case RecordForm::kNotARecord:
      FUZZ_CHECK(!why.empty() && record.files.empty(), "a record refused without a reason");
      break;
  }
  return 0;
}
