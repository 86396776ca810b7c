#include "app/cli/cli_events.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/files.hpp"
#include "common/format.hpp"
#include "periods/period_star.hpp"
#include "reduction/frame_time.hpp"

namespace morvik::cli {

namespace {

std::string Num(double v) { return FormatShortest(v); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// "time2+airmass+fwhm": the terms of a fixed baseline.
events::BaselineTerms ParseBaseline(const std::string& text, const events::TransitSeries& s) {
  events::BaselineTerms b;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t plus = text.find('+', start);
    const std::string term = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
    if (term.rfind("time", 0) == 0 && term.size() == 5) b.timeOrder = std::clamp(term[4] - '0', 0, 2);
    if (term == "airmass") b.airmass = true;
    for (std::size_t k = 0; k < s.extraNames.size(); ++k)
      if (term == s.extraNames[k]) b.extra.push_back(static_cast<int>(k));
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  return b;
}

} // namespace

events::TransitSeries FluxSeries(const std::vector<double>& t, const std::vector<double>& mag,
                                 const std::vector<double>& dmag) {
  events::TransitSeries s;
  s.t = t;
  const double m0 = Median(mag);
  for (std::size_t i = 0; i < mag.size(); ++i) {
    const double f = std::pow(10.0, -0.4 * (mag[i] - m0));
    s.flux.push_back(f);
    s.err.push_back(i < dmag.size() && dmag[i] > 0.0 ? 0.4 * std::log(10.0) * f * dmag[i] : 0.0);
  }
  if (dmag.size() != mag.size() || std::any_of(s.err.begin(), s.err.end(), [](double e) { return !(e > 0.0); })) {
    double d2 = 0.0;
    for (std::size_t i = 1; i < s.flux.size(); ++i)
      d2 += std::pow(s.flux[i] - s.flux[i - 1], 2);
    const double e = s.flux.size() > 1 ? std::sqrt(d2 / (2.0 * static_cast<double>(s.flux.size() - 1))) : 1.0;
    std::fill(s.err.begin(), s.err.end(), e > 0.0 ? e : 1e-3);
  }
  return s;
}

events::TransitFitOptions FitOptionsFrom(const EventOptions& o, std::uint64_t seed) {
  events::TransitFitOptions f;
  if (o.period) f.period = *o.period;
  if (o.t0) f.t0 = *o.t0;
  events::TabulatedLimbDarkening(o.filter, o.teff, f.u1, f.u2);
  if (o.ld) {
    f.u1 = o.ld->first;
    f.u2 = o.ld->second;
  }
  f.fitLimbDarkening = o.fitLd;
  f.exposure = o.exposure / 86400.0;
  f.supersample = o.exposure > 0.0 ? 7 : 1;
  f.walkers = o.walkers;
  f.steps = o.steps;
  f.seed = seed;
  return f;
}

std::string TransitCsv(const events::TransitSeries& s, const events::TransitFitResult& r) {
  std::string text = "parameter,best,p16,p50,p84,minus,plus,free\n";
  for (const auto* list : {&r.parameters, &r.derived})
    for (const events::Estimate& e : *list)
      text += e.name + "," + Num(e.best) + "," + Num(e.p16) + "," + Num(e.p50) + "," + Num(e.p84) + "," +
              Num(e.Minus()) + "," + Num(e.Plus()) + "," + (e.free ? "yes" : "no") + "\n";
  text += "\nbaseline," + r.baseline.Describe(s) + "\n";
  for (const events::BaselineCandidate& c : r.candidates)
    text += "baseline_bic," + c.terms.Describe(s) + "," + Num(c.bic) + "\n";
  text += "chi2_reduced," + Num(r.chi2Reduced) + "\nbeta," + Num(r.beta) + "\nerror_scale," + Num(r.errorScale) + "\n";
  text += "walkers," + std::to_string(r.walkers) + "\nsteps," + std::to_string(r.steps) + "\nburn_in," +
          std::to_string(r.burnIn) + "\nacceptance," + Num(r.acceptance) + "\ntau_max," + Num(r.tauMax) +
          "\nlong_enough," + (r.longEnough ? "yes" : "no (fewer than 50 autocorrelation times)") + "\n";
  text += "\ntime,flux,error,model,baseline,residual\n";
  for (std::size_t i = 0; i < s.t.size(); ++i)
    text += Num(s.t[i]) + "," + Num(s.flux[i]) + "," + Num(s.err[i]) + "," + Num(r.model[i]) + "," +
            Num(r.baselineModel[i]) + "," + Num(r.residuals[i]) + "\n";
  return text;
}

std::string TransitReport(const events::TransitSeries& s, const events::TransitFitResult& r, const EventOptions& o,
                          const std::vector<double>& bjdTdb, bool converted, const std::string& starName) {
  std::string text = "#TYPE=EXOPLANET\n#OBSCODE=" + o.observer + "\n#SOFTWARE=Morvik 1.0.0\n#DELIM=,\n";
  text += "#DATE_TYPE=BJD_TDB\n#OBSTYPE=CCD\n#STAR_NAME=" + starName + "\n#EXOPLANET_NAME=" + starName + " b\n";
  text += "#BINNING=1x1\n#EXPOSURE_TIME=" + Num(o.exposure) + "\n#FILTER=" + o.filter + "\n";
  std::vector<std::string> detrend;
  if (r.baseline.timeOrder >= 1) detrend.push_back("TIME");
  if (r.baseline.airmass) detrend.push_back("AIRMASS");
  for (int k : r.baseline.extra)
    detrend.push_back(s.extraNames[static_cast<std::size_t>(k)]);
  std::string names;
  for (const std::string& d : detrend)
    names += (names.empty() ? "" : ",") + d;
  text += "#DETREND_PARAMETERS=" + (names.empty() ? std::string("NONE") : names) + "\n";
  text += "#MEASUREMENT_TYPE=Rnflux\n";
  const auto find = [&](const char* n) { return r.Find(n); };
  const events::Estimate* t0 = find("t0");
  const events::Estimate* p = find("rp_rs");
  const events::Estimate* a = find("a_rs");
  const events::Estimate* b = find("b");
  const double shift = converted && !s.t.empty() ? bjdTdb.front() - s.t.front() : 0.0;
  text += "#RESULTS=Tc=" + Num(t0->p50 + shift) + " +/- " + Num(t0->Sigma()) + ",Rp/R*=" + Num(p->p50) + " +/- " +
          Num(p->Sigma()) + ",a/R*=" + Num(a->p50) + " +/- " + Num(a->Sigma()) + ",b=" + Num(b->p50) + " +/- " +
          Num(b->Sigma()) + "\n";
  text += converted ? "#NOTE=times converted from JD (UTC) to BJD_TDB for the target's RA/Dec\n"
                    : "#NOTE=times as given, taken to be BJD_TDB\n";
  text += "#DATE,DIFF,ERR";
  for (std::size_t k = 0; k < detrend.size(); ++k)
    text += ",DETREND_" + std::to_string(k + 1);
  text += "\n";
  const double tm = s.t.empty() ? 0.0 : 0.5 * (s.t.front() + s.t.back());
  for (std::size_t i = 0; i < s.t.size(); ++i) {
    text += Num(bjdTdb[i]) + "," + Num(s.flux[i]) + "," + Num(s.err[i] * r.errorScale);
    for (const std::string& d : detrend) {
      if (d == "TIME")
        text += "," + Num(s.t[i] - tm);
      else if (d == "AIRMASS")
        text += "," + Num(s.airmass[i]);
      else
        for (std::size_t k = 0; k < s.extraNames.size(); ++k)
          if (s.extraNames[k] == d) text += "," + Num(s.extra[k][i]);
    }
    text += "\n";
  }
  return text;
}

std::string MinimaCsv(const std::vector<events::Minimum>& minima, const events::Ephemeris& e, bool fitted) {
  std::string text = "time,error,error_kvw_original,method,points,depth,kind,cycle,o_c\n";
  for (const events::Minimum& m : minima)
    text += Num(m.time) + "," + Num(m.error) + "," + Num(m.errorOriginal) + "," + m.method + "," +
            std::to_string(m.points) + "," + Num(m.depth) + "," + (m.primary ? "primary" : "secondary") + "," +
            Num(m.cycle) + "," + Num(m.oc) + "\n";
  text += std::string("\nephemeris,") + (fitted ? "fitted" : "given") + "\nt0," + Num(e.t0) + "\nperiod," +
          Num(e.period) + "\nquadratic," + Num(e.quadratic) + "\n";
  if (!e.covariance.empty()) {
    text += "covariance";
    for (double c : e.covariance)
      text += "," + Num(c);
    text += "\nbic_linear," + Num(e.bicLinear) + "\nbic_quadratic," + Num(e.bicQuadratic) + "\n";
  }
  return text;
}

events::TransitFitResult FitSeries(const events::TransitSeries& s, const EventOptions& o, std::uint64_t seed) {
  events::TransitFitOptions f = FitOptionsFrom(o, seed);
  if (o.baseline) {
    f.chooseBaseline = false;
    f.baseline = ParseBaseline(*o.baseline, s);
  }
  return events::FitTransit(s, f);
}

std::string MinimaOfSeries(const events::TransitSeries& s, const EventOptions& o, std::size_t* found) {
  std::vector<events::Minimum> minima = events::FindMinima(s.t, s.flux, events::MinimumOptions{});
  events::Ephemeris e;
  const bool fitted = !o.ephemeris;
  if (o.ephemeris) {
    e.t0 = o.ephemeris->first;
    e.period = o.ephemeris->second;
  } else if (minima.size() >= 2 && o.period) {
    std::vector<double> times, errors, cycles;
    for (const events::Minimum& m : minima) {
      times.push_back(m.time);
      errors.push_back(m.error);
      cycles.push_back(events::CycleOf(m.time, minima.front().time, *o.period, m.primary));
    }
    e = events::FitEphemeris(times, errors, cycles);
  }
  if (e.period > 0.0) events::ApplyEphemeris(minima, e);
  if (found) *found = minima.size();
  return MinimaCsv(minima, e, fitted);
}

bool TransitOneStar(Workspace& ws, long long id, const std::string& path, const EventOptions& o, std::uint64_t seed) {
  if (id < 1 || id > ws.Series.StarCount) {
    ws.log.Add("--transit star " + std::to_string(id) + " ignored: no such star");
    return true;
  }
  const StarSeries star = SeriesOfStar(ws.Series, id);
  const events::TransitSeries s = FluxSeries(star.t, star.y, star.dy);
  const events::TransitFitResult r = FitSeries(s, o, seed);
  if (!r.ok) {
    ws.log.Add("--transit star " + std::to_string(id) + ": " + r.message);
    return true;
  }
  const events::Estimate* t0 = r.Find("t0");
  const events::Estimate* p = r.Find("rp_rs");
  char line[240];
  std::snprintf(line, sizeof line, "transit star %lld: Tc = %.6f +- %.6f, Rp/R* = %.4f +- %.4f, baseline %s%s", id,
                t0->p50, t0->Sigma(), p->p50, p->Sigma(), r.baseline.Describe(s).c_str(),
                r.longEnough ? "" : "; the chain is shorter than 50 autocorrelation times");
  ws.log.Add(line);
  bool ok = WriteFileReplacing(path, TransitCsv(s, r));
  if (!ok) ws.log.Add("Cannot write " + path);
  if (o.reportPath) {
    std::vector<double> bjd = s.t;
    const bool convert = o.target.has_value();
    if (convert)
      for (double& t : bjd)
        t = reduction::CorrectTime(t, reduction::TimeSystem::Bjd, o.target->first, o.target->second);
    else
      ws.log.Add("--transit-report: no --target \"RA DEC\"; the times are written as they are and taken to be BJD_TDB");
    if (!WriteFileReplacing(*o.reportPath, TransitReport(s, r, o, bjd, convert, "star " + std::to_string(id)))) {
      ws.log.Add("Cannot write " + *o.reportPath);
      ok = false;
    }
  }
  return ok;
}

bool MinimaOneStar(Workspace& ws, long long id, const std::string& path, const EventOptions& o) {
  if (id < 1 || id > ws.Series.StarCount) {
    ws.log.Add("--minima star " + std::to_string(id) + " ignored: no such star");
    return true;
  }
  const StarSeries star = SeriesOfStar(ws.Series, id);
  const events::TransitSeries s = FluxSeries(star.t, star.y, star.dy);
  std::size_t found = 0;
  const std::string text = MinimaOfSeries(s, o, &found);
  ws.log.Add("minima star " + std::to_string(id) + ": " + std::to_string(found) + " found");
  if (!WriteFileReplacing(path, text)) {
    ws.log.Add("Cannot write " + path);
    return false;
  }
  return true;
}

} // namespace morvik::cli
