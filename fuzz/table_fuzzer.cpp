// The photometry table reader, as File > Open calls it: the bytes are the <base>.dat
// beside an opened frame, and a data set from an earlier Open is in memory.

#include <cstddef>
#include <cstdint>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "fuzz_support.hpp"

using namespace morvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteScratch("field.dat", fuzz::AsText(data, size));
  const TTimeSeries before = fuzz::PreviousDataSet();
  TTimeSeries series = before;
  MemoryLog log;
  try {
    LoadPhotometryTable(path, series, log);
  } catch (const CommandError& e) {
    fuzz::Check(*e.what() != '\0', "a refusal without a message");
    fuzz::Check(fuzz::SameDataSet(series, before), "a table that ends in an error changed the data set");
    return 0;
  }
  fuzz::CheckReadDataSet(series);
  if (!series.Stats.empty()) {
    // Refused: the data set is the one from before, and the user was told why.
    fuzz::Check(fuzz::SameDataSet(series, before), "a refused table changed the data set");
    fuzz::Check(log.Lines().size() >= 2, "a refused table without a message");
  } else {
    fuzz::Check(series.UsedCount == 0 && series.MeanVariance == 0.0 && series.MeanSigmaAll == 0.0,
                "a read table kept statistics of the previous data set");
  }
  return 0;
}
