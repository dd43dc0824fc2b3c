#include "report/run_report.h"

#include "host/console.h"
#include "host/words.h"

void CountSkipped(RunReport* report, const char* reason, unsigned count) {
  for (auto& entry : report->skipped) {
    if (entry.first == reason) {
      entry.second += count;
      return;
    }
  }
  report->skipped.emplace_back(reason, count);
}

void KeepOldIndex(RunReport* report, const std::string& cause) {
  if (report->worse_index.empty()) report->worse_index = cause;
}

void NotIndexed(RunReport* report, const std::string& why) {
  if (report->not_indexed.empty()) report->not_indexed = why;
}

void ConverterMissing(RunReport* report, const std::string& what, const std::string& why) {
  Error("cannot open the converter %s: %s; %s", what.c_str(), why.c_str(),
        ConverterAdvice().c_str());
  KeepOldIndex(report, "the converter " + what + " could not be opened");
}
