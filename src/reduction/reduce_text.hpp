#pragma once
// The texts of a reduced field: the photometry table, the star catalog and the
// reduction report.

#include <string>
#include <vector>

#include "reduction/reduce.hpp"

namespace morvik::reduction {

// value in fixed notation with the given decimals, always with a point.
std::string Number(double value, int decimals);

// Rows of "time mag err mag err ...", CR LF; a star not measured is "99.999 9.999".
class TableWriter {
public:
  TableWriter(std::size_t stars, TimeSystem system);
  void Add(double time, const std::vector<float>& mag, const std::vector<float>& err);
  const std::string& Text() const { return text_; }

private:
  std::size_t stars_;
  std::string text_;
};

// <cat_file><stars><s id x y m/>...: positions 1-based (the centre of the first pixel
// is 1, 1); with sky (RA, Dec in degrees per star) each star also gets ra and dec, and a
// star with flags (edge, blend, saturated, hot) carries them as flags="...".
std::string CatalogText(const std::vector<Point>& positions, const std::vector<double>& magnitudes,
                        const std::vector<std::pair<double, double>>& sky = {},
                        const std::vector<std::string>& flags = {});

std::string ReportText(const ReduceSettings& settings, const ReduceResult& result);

} // namespace morvik::reduction
