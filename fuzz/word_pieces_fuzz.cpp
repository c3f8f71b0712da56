// The Word piece table: the first two bytes split the rest into the WordDocument stream and the
// table stream; the characters found are cleaned as the detail text is.
#include <algorithm>
#include <string>

#include "deepscan/doctext/doctext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t split = std::min<size_t>(size - 2, size_t(data[0] | (data[1] << 8)) * 4);
  const uint8_t* word = data + 2;
  std::u16string raw;
  if (ReadWordPieceText(word, split, word + split, size - 2 - split, raw)) (void)CleanWordText(raw);
  return 0;
}
