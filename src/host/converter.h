// The C library's character set converters (iconv), opened when first asked
// for and kept for the run, one per pair of encodings. A converter that
// cannot be opened (no file descriptor or memory left, the system's
// conversion modules missing) would turn every text it converts into "?":
// that is said once, as an error, and the card keeps the index it holds.
#ifndef CARDPREP_HOST_CONVERTER_H_
#define CARDPREP_HOST_CONVERTER_H_

#include <iconv.h>

// Sets |*converter| to the converter from |from| to |to| (iconv's names,
// "UTF-16LE", "CP932"). Returns false when it cannot be opened, after the
// error line the first time.
[[nodiscard]] bool GetConverter(const char* to, const char* from, iconv_t* converter);

#endif  // CARDPREP_HOST_CONVERTER_H_
