#include <string>

#include "app/cli/cli_outputs.hpp"
#include "common/format.hpp"

namespace morvik::cli {

std::string StatsCsvWithMore(const Workspace& ws) {
  const std::string plain = StatsCsv(ws);
  std::string out;
  out.reserve(plain.size() + ws.Series.Stats.size() * 80);
  std::size_t line = 0;
  for (std::size_t at = 0; at < plain.size();) {
    const std::size_t end = plain.find('\n', at);
    out.append(plain, at, end - at);
    if (line == 0) {
      out += ",IQR,StetsonJ,StetsonK,StetsonL,InverseEta,ExcessScatter";
    } else {
      const MoreIndices m = line - 1 < ws.More.size() ? ws.More[line - 1] : MoreIndices{};
      for (double v : {m.Iqr, m.StetsonJ, m.StetsonK, m.StetsonL, m.InverseEta, m.ExcessScatter})
        out += ',' + FormatShortest(v);
    }
    out += '\n';
    at = end + 1;
    ++line;
  }
  return out;
}

} // namespace morvik::cli
