// The transit and minima options of morvik-cli and the files they write.

#include "app/cli/cli_events.hpp"
#include "app/cli/cli_options.hpp"
#include "event_nights.hpp"
#include "reduction/frame_time.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

using namespace morvik;
using cli::ParseResult;

TEST(CliEventOptions, ValuesAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  } cases[] = {
      {{"--transit", "3=t.csv"}, true},
      {{"--transit", "t.csv"}, false},
      {{"--minima", "2=m.csv"}, true},
      {{"--period", "2.5"}, true},
      {{"--period", "0"}, false},
      {{"--ld", "0.4,0.2"}, true},
      {{"--ld", "free"}, true},
      {{"--ld", "0.4"}, false},
      {{"--ephemeris", "2460000.1,0.8"}, true},
      {{"--ephemeris", "2460000.1,-1"}, false},
      {{"--target", "120.5 -3.25"}, true},
      {{"--walkers", "4"}, false},
      {{"--steps", "2000"}, true},
      {{"--transit-report", ""}, false},
      {{"--exposure", "-5"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"f.fit"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ParseResult r = cli::ParseCommandLine(args);
    EXPECT_EQ(r.action == ParseResult::Action::Run, c.ok) << c.args[0] << " " << c.args[1] << ": " << r.error;
  }
  const auto r = cli::ParseCommandLine({"f.fit", "--transit", "4=t.csv", "--ld", "0.5,0.1", "--period", "1.25"});
  ASSERT_EQ(r.options.outputs.size(), 1u);
  EXPECT_EQ(r.options.outputs[0].kind, cli::OutputKind::Transit);
  EXPECT_EQ(r.options.outputs[0].id, 4);
  const events::TransitFitOptions f = cli::FitOptionsFrom(r.options.events, 9);
  EXPECT_EQ(f.u1, 0.5);
  EXPECT_EQ(f.period, 1.25);
  EXPECT_EQ(f.seed, 9u);
}

TEST(CliEvents, FluxFromMagnitudesAndTheExoplanetReport) {
  // Magnitudes 0.01 fainter are 0.9908 of the flux; missing errors take the scatter.
  const events::TransitSeries s = cli::FluxSeries({1.0, 2.0, 3.0}, {10.0, 10.01, 10.0}, {0.001, 0.001, 0.001});
  EXPECT_NEAR(s.flux[1], std::pow(10.0, -0.004), 1e-15);
  EXPECT_NEAR(s.err[0], 0.4 * std::log(10.0) * 0.001, 1e-15);
  EXPECT_GT(cli::FluxSeries({1.0, 2.0, 3.0}, {10.0, 10.01, 10.0}, {}).err[2], 0.0);

  events::TransitShape shape;
  shape.p = 0.12;
  shape.aRs = 9.0;
  shape.period = 3.0;
  longspan::NightOptions night;
  night.white = 0.002;
  const longspan::EventNight n = longspan::MakeTransitNight(shape, 0.0, night, 3);
  events::TransitSeries series;
  series.t = n.t;
  series.flux = n.flux;
  series.err = n.err;
  series.airmass = n.airmass;
  cli::EventOptions o;
  o.period = 3.0;
  o.steps = 400;
  o.walkers = 16;
  o.target = std::make_pair(250.0, 40.0);
  events::TransitFitOptions f = cli::FitOptionsFrom(o, 1);
  f.chooseBaseline = false;
  f.baseline.timeOrder = 1;
  f.baseline.airmass = true;
  const events::TransitFitResult r = events::FitTransit(series, f);
  ASSERT_TRUE(r.ok);
  std::vector<double> bjd;
  for (double t : series.t)
    bjd.push_back(reduction::CorrectTime(t, reduction::TimeSystem::Bjd, 250.0, 40.0));
  const std::string report = cli::TransitReport(series, r, o, bjd, true, "star 4");
  std::istringstream in(report);
  std::string line, last;
  int data = 0;
  bool header = false;
  while (std::getline(in, line)) {
    if (line == "#DATE,DIFF,ERR,DETREND_1,DETREND_2") header = true;
    if (!line.empty() && line[0] != '#') ++data, last = line;
  }
  EXPECT_EQ(report.rfind("#TYPE=EXOPLANET\n", 0), 0u);
  EXPECT_NE(report.find("#DATE_TYPE=BJD_TDB\n"), std::string::npos);
  EXPECT_NE(report.find("#DETREND_PARAMETERS=TIME,AIRMASS\n"), std::string::npos);
  EXPECT_NE(report.find("converted from JD (UTC)"), std::string::npos);
  EXPECT_TRUE(header);
  EXPECT_EQ(data, static_cast<int>(series.t.size()));
  // The last row starts with its BJD_TDB, minutes away from the JD (UTC).
  const double written = std::stod(last.substr(0, last.find(',')));
  EXPECT_NEAR(written, bjd.back(), 1e-6);
  EXPECT_GT(std::abs(written - series.t.back()), 1e-4);
  // The CSV holds every parameter and one row per point.
  const std::string csv = cli::TransitCsv(series, r);
  for (const char* name : {"t0,", "rp_rs,", "a_rs,", "b,", "depth,", "t14,", "t23,", "density,", "tau_max,"})
    EXPECT_NE(csv.find(std::string("\n") + name), std::string::npos) << name;
}

} // namespace
