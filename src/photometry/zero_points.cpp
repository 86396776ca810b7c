#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/errors.hpp"
#include "common/format.hpp"
#include "photometry/ensemble.hpp"
#include "photometry/parallel.hpp"

namespace morvik {

namespace {

// A corrected magnitude of exactly 0 stands for "no value" elsewhere, so it is moved
// off zero.
constexpr double kNotZero = 1e-50;

// Every row on its own: its zero point needs only its own measurements.
void CorrectRows(TTimeSeries& data, std::size_t first, std::size_t last, const double* compWeight, const double* meanW,
                 double compMeanW, double compStarMag) {
  for (std::size_t r = first; r < last; ++r) {
    TDataLine& row = data.Rows[r];
    TMeasurement* m = row.Items.data();
    const std::size_t n = std::min(row.Items.size(), data.Stats.size());
    double errSum = 0.0;
    std::uint32_t valid = 0;
    double w = 0.0;
    double a = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      if (!m[j].Valid) continue;
      if (compWeight[j] > 0.0) {
        const double d = m[j].Mag - meanW[j];
        w += compWeight[j];
        a += compWeight[j] * d;
      }
      errSum += m[j].Err;
      ++valid;
    }
    row.ValidCount = static_cast<std::uint16_t>(valid);
    row.FrameErr = valid > 0 ? errSum / static_cast<double>(valid) : 0.0;
    // A frame without a weighted comparison star is left uncorrected.
    const double z = w > 0.0 ? a / w : 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      if (!m[j].Valid) continue;
      double q = m[j].Mag - z;
      if (q == 0.0) q = kNotZero;
      m[j].RunMag = q - compMeanW + compStarMag;
    }
  }
}

} // namespace

void ComputeFrameZeroPoints(TTimeSeries& data, std::uint16_t compStarId, double compStarMag, Log& log) {
  if (compStarId == 0 || compStarId > data.Stats.size())
    throw CommandError("Please choose a comparison star", CommandError::Kind::Notice);

  const std::size_t stars = data.Stats.size();
  std::vector<double> compWeight(stars);
  std::vector<double> meanW(stars);
  for (std::size_t j = 0; j < stars; ++j) {
    const TStarStat& st = data.Stats[j];
    compWeight[j] = st.Used && st.Weight > 0.0 ? st.Weight : 0.0;
    meanW[j] = st.MeanW;
  }
  const double compMeanW = data.Stats[compStarId - 1u].MeanW;

  const std::size_t rows = std::min(data.Rows.size(), static_cast<std::size_t>(std::max(data.RowCount, 0)));
  ForEachSlice(rows, rows * stars, [&](std::size_t first, std::size_t last) {
    CorrectRows(data, first, last, compWeight.data(), meanW.data(), compMeanW, compStarMag);
  });

  double sigmaSum = 0.0;
  for (std::size_t r = 0; r < rows; ++r)
    sigmaSum += data.Rows[r].FrameErr;
  data.MeanSigmaAll = data.RowCount > 0 ? sigmaSum / static_cast<double>(data.RowCount) : 0.0;
  log.Add("Mean Sigma (all frames) = " + FormatGeneral(data.MeanSigmaAll));
}

} // namespace morvik
