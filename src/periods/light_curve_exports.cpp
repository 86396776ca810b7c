#include "periods/light_curve_exports.hpp"

#include <algorithm>
#include <cstdio>

namespace morvik {
namespace {

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// A field of the comma-delimited format: no delimiter, no line break, never empty.
std::string Field(std::string s) {
  std::replace_if(
      s.begin(), s.end(), [](char c) { return c == ',' || c == '\n' || c == '\r' || c == '#'; }, ' ');
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "na";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

template <typename F> void ForEachMeasurement(const TTimeSeries& series, int id, F&& f) {
  if (id < 1 || id > static_cast<int>(series.StarCount)) return;
  const auto star = static_cast<std::size_t>(id - 1);
  const std::size_t rows = std::min(series.Rows.size(), static_cast<std::size_t>(std::max(series.RowCount, 0)));
  for (std::size_t r = 0; r < rows; ++r) {
    const TDataLine& line = series.Rows[r];
    if (star < line.Items.size()) f(line, line.Items[star]);
  }
}

} // namespace

std::string LightCurveCsv(const TTimeSeries& series, int id) {
  std::string out = "JD,corrected_mag,error,raw_mag,flags\n";
  ForEachMeasurement(series, id, [&](const TDataLine& line, const TMeasurement& m) {
    // A measurement the table marked invalid holds 0 in both; it was never a point.
    const bool measured = m.Valid || m.Mag != 0.0 || m.Err != 0.0;
    if (!measured) return;
    out += Fixed(line.Time, 6) + ',' + Fixed(m.RunMag, 4) + ',' + Fixed(m.Err, 4) + ',' + Fixed(m.Mag, 4) + ',' +
           (m.Valid ? "" : "deleted") + '\n';
  });
  return out;
}

std::string AavsoExtendedText(const TTimeSeries& series, int id, const AavsoObserver& observer,
                              const AavsoEnsemble& ensemble, const std::string& software) {
  std::string out;
  out += "#TYPE=EXTENDED\n";
  out += "#OBSCODE=" + Field(observer.obsCode) + '\n';
  out += "#SOFTWARE=" + Field(software) + '\n';
  out += "#DELIM=,\n";
  out += "#DATE=JD\n";
  out += "#OBSTYPE=CCD\n";
  out += "#NAME,DATE,MAG,MERR,FILT,TRANS,MTYPE,CNAME,CMAG,KNAME,KMAG,AMASS,GROUP,CHART,NOTES\n";
  const std::string name = Field(observer.starName);
  const std::string filter = Field(observer.filter);
  const std::string notes = Field("ensemble of " + std::to_string(ensemble.ensembleStars) + " stars scaled to #" +
                                  std::to_string(ensemble.comparisonId) + " at " + Fixed(ensemble.comparisonMag, 3) +
                                  " mag; field star #" + std::to_string(id));
  ForEachMeasurement(series, id, [&](const TDataLine& line, const TMeasurement& m) {
    if (!m.Valid) return;
    out += name + ',' + Fixed(line.Time, 5) + ',' + Fixed(m.RunMag, 3) + ',' + Fixed(m.Err, 3) + ',' + filter +
           ",NO,STD,ENSEMBLE,na,na,na,na,na,na," + notes + '\n';
  });
  return out;
}

} // namespace morvik
