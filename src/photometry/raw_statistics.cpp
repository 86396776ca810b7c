#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/format.hpp"
#include "photometry/ensemble.hpp"
#include "photometry/parallel.hpp"

namespace morvik {

namespace {

struct StarSums {
  std::uint32_t n = 0;
  double mag = 0.0;  // sum of Mag
  double w = 0.0;    // sum of 1 / Err^2
  double wMag = 0.0; // sum of Mag / Err^2
  double err = 0.0;  // sum of Err
};

// Rows are visited in order and, within a row, the stars of [first, last): the sums of
// each star are taken in row order while the memory is read front to back.
void SumMeasurements(const TTimeSeries& data, std::size_t rows, std::size_t first, std::size_t last, StarSums* sums) {
  for (std::size_t r = 0; r < rows; ++r) {
    const std::vector<TMeasurement>& items = data.Rows[r].Items;
    const std::size_t end = std::min(last, items.size());
    const TMeasurement* m = items.data();
    for (std::size_t j = first; j < end; ++j) {
      if (!m[j].Valid) continue;
      StarSums& s = sums[j];
      const double mag = m[j].Mag;
      const double err = m[j].Err;
      ++s.n;
      s.mag += mag;
      s.err += err;
      // Err 0 (or an Err so small that its weight does not fit a double) would make
      // the weighted mean infinite: such a measurement adds nothing to the weighted
      // sums but counts everywhere else.
      const double w = 1.0 / (err * err);
      if (w <= std::numeric_limits<double>::max()) {
        s.w += w;
        s.wMag += w * mag;
      }
    }
  }
}

void SumSquaredDeviations(const TTimeSeries& data, std::size_t rows, std::size_t first, std::size_t last,
                          const double* meanW, double* squares) {
  for (std::size_t r = 0; r < rows; ++r) {
    const std::vector<TMeasurement>& items = data.Rows[r].Items;
    const std::size_t end = std::min(last, items.size());
    const TMeasurement* m = items.data();
    for (std::size_t j = first; j < end; ++j) {
      if (!m[j].Valid) continue;
      const double d = m[j].Mag - meanW[j];
      squares[j] += d * d;
    }
  }
}

bool InsideBorders(const TCatalogStar& star, FrameSize frame, int bx, int by) {
  return static_cast<double>(bx) <= star.X && star.X <= static_cast<double>(frame.Width - bx) &&
         static_cast<double>(by) <= star.Y && star.Y <= static_cast<double>(frame.Height - by);
}

} // namespace

void ComputeRawStatistics(TTimeSeries& data, const StarCatalog& catalog, FrameSize frame,
                          const SelectionSettings& settings, Log& log) {
  const std::size_t stars = data.StarCount;
  const std::size_t rows = std::min(data.Rows.size(), static_cast<std::size_t>(std::max(data.RowCount, 0)));
  data.Stats.resize(stars);
  data.UsedCount = 0;
  data.MeanVariance = 0.0;

  std::vector<StarSums> sums(stars);
  ForEachSlice(stars, stars * rows,
               [&](std::size_t first, std::size_t last) { SumMeasurements(data, rows, first, last, sums.data()); });

  std::vector<double> meanW(stars);
  for (std::size_t j = 0; j < stars; ++j) {
    const StarSums& s = sums[j];
    TStarStat& st = data.Stats[j];
    // A star measured in more than 65 535 rows keeps its true count for the
    // divisions and the presence test; the stored count saturates.
    st.NValid = static_cast<std::uint16_t>(std::min<std::uint32_t>(s.n, 65535));
    if (s.n == 0) {
      st.Mean = st.MeanW = st.MeanErr = 0.0;
    } else {
      const double n = static_cast<double>(s.n);
      st.Mean = s.mag / n;
      st.MeanErr = s.err / n;
      const double weighted = s.w > 0.0 ? s.wMag / s.w : st.Mean;
      st.MeanW = std::isfinite(weighted) ? weighted : st.Mean;
    }
    meanW[j] = st.MeanW;
  }

  std::vector<double> squares(stars, 0.0);
  ForEachSlice(stars, stars * rows, [&](std::size_t first, std::size_t last) {
    SumSquaredDeviations(data, rows, first, last, meanW.data(), squares.data());
  });

  double varianceSum = 0.0;
  for (std::size_t j = 0; j < stars; ++j) {
    TStarStat& st = data.Stats[j];
    st.Variance = sums[j].n >= 2 ? squares[j] / static_cast<double>(sums[j].n) : 0.0;
    varianceSum += st.Variance;
  }
  data.MeanVariance = stars > 0 ? varianceSum / static_cast<double>(stars) : 0.0;
  log.Add("Mean STD " + FormatGeneral(std::sqrt(data.MeanVariance)));

  if (settings.CompManual) {
    std::uint16_t used = 0;
    for (const TStarStat& st : data.Stats)
      if (st.Used) ++used;
    data.UsedCount = used;
  } else {
    const int border = std::max(settings.FrameBorder, 1);
    const int bx = std::max(frame.Width / border, settings.FrameBorderPX);
    const int by = std::max(frame.Height / border, settings.FrameBorderPX);
    const double presence = static_cast<double>(settings.Part4select) / 100.0 * static_cast<double>(data.RowCount);
    const double varianceLimit = settings.VarianceFactor * data.MeanVariance;
    const long long most = settings.NotMoreComp;
    long long used = 0;
    for (std::size_t j = 0; j < stars; ++j) {
      TStarStat& st = data.Stats[j];
      const bool qualifies = used < most && st.Mark == kMarkNone && static_cast<double>(sums[j].n) >= presence &&
                             st.Variance <= varianceLimit &&
                             InsideBorders(catalog[static_cast<long long>(j) + 1], frame, bx, by);
      st.Used = qualifies;
      if (qualifies) ++used;
    }
    data.UsedCount = static_cast<std::uint16_t>(used);
  }

  log.Add("Mean and Sigma calculated; USED " + std::to_string(data.UsedCount) + " STARS FROM " +
          std::to_string(data.StarCount));
}

} // namespace morvik
