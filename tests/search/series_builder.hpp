#pragma once
// Small data sets for the search tests: every measurement valid with Err 0.1 unless a
// test says otherwise, every frame within the frame-error limit.

#include <cstddef>
#include <vector>

#include "dataset/records.hpp"

namespace morvik::test {

inline TTimeSeries MakeSeries(std::size_t stars, std::size_t rows) {
  TTimeSeries ts;
  ts.StarCount = static_cast<std::uint16_t>(stars);
  ts.RowCount = static_cast<std::int32_t>(rows);
  ts.Rows.resize(rows);
  for (std::size_t j = 0; j < rows; ++j) {
    ts.Rows[j].Time = 2450000.0 + static_cast<double>(j) * 0.01;
    ts.Rows[j].FrameErr = 0.1;
    ts.Rows[j].Items.resize(stars);
    for (TMeasurement& m : ts.Rows[j].Items) {
      m.Mag = m.RunMag = 12.0;
      m.Err = 0.1;
      m.Valid = true;
    }
  }
  ts.Stats.resize(stars);
  for (TStarStat& st : ts.Stats) {
    st.MeanErr = 0.1;
    st.NValid = static_cast<std::uint16_t>(rows);
  }
  ts.MeanSigmaAll = 0.1;
  return ts;
}

// Sets the RunMag and Err of one star row by row.
inline void SetStar(TTimeSeries& ts, std::size_t star, const std::vector<double>& mags,
                    const std::vector<double>& errs) {
  for (std::size_t j = 0; j < mags.size(); ++j) {
    ts.Rows[j].Items[star].RunMag = mags[j];
    ts.Rows[j].Items[star].Err = errs[j];
  }
}

} // namespace morvik::test
