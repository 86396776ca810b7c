#include "reduce_sky_options.hpp"

#include <optional>

#include "common/parse.hpp"

bool ParseSkyOption(const std::vector<std::string>& args, std::size_t& i, morvik::reduction::SkySettings& sky,
                    bool& ok) {
  const std::string& a = args[i];
  auto positive = [&](std::optional<double>& into) {
    if (i + 1 >= args.size()) return false;
    into = morvik::ParseDecimal(args[++i]);
    return into && *into > 0;
  };
  if (a == "--no-solve") {
    sky.solve = false;
  } else if (a == "--scale") {
    ok = positive(sky.scaleLow) && positive(sky.scaleHigh) && *sky.scaleHigh >= *sky.scaleLow;
  } else if (a == "--solve-time") {
    std::optional<double> seconds;
    ok = positive(seconds);
    sky.seconds = seconds.value_or(30);
  } else {
    return false;
  }
  return true;
}
