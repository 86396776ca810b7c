// The star catalog reader, as File > Open calls it: the bytes are the <base>.xml beside
// an opened frame, and the catalog of an earlier Open is in memory.

#include <cstddef>
#include <cstdint>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "fuzz_support.hpp"

using namespace morvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static StarCatalog catalog; // 40 000 entries: made once, as the program does
  const std::string path = fuzz::WriteScratch("field.xml", fuzz::AsText(data, size));
  catalog.At(1) = TCatalogStar{10.5, 20.5, 12.25};
  catalog.At(kCatalogSize) = TCatalogStar{1.0, 2.0, 3.0};
  MemoryLog log;
  try {
    LoadStarCatalog(path, catalog, log);
  } catch (const CommandError& e) {
    fuzz::Check(*e.what() != '\0', "a refusal without a message");
  }
  fuzz::CheckCatalog(catalog);
  return 0;
}
