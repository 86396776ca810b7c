#include "session/session_file.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "workspace/frame_commands.hpp"

namespace morvik {
namespace {

constexpr const char* kMagic = "morvik-session";

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    const std::size_t from = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
      ++i;
    if (i > from) words.push_back(line.substr(from, i - from));
  }
  return words;
}

template <typename T> std::optional<T> Whole(std::string_view w, T lo, T hi) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
  if (ec != std::errc() || end != w.data() + w.size() || v < static_cast<long long>(lo) ||
      v > static_cast<long long>(hi))
    return std::nullopt;
  return static_cast<T>(v);
}

std::optional<double> Real(std::string_view w) {
  double v = 0.0;
  const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
  if (ec != std::errc() || end != w.data() + w.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// Values no observer's field has: a session holding them was damaged or made by hand.
constexpr double kMaxMagnitude = 100.0;
constexpr double kShortestPeriod = 1e-6; // days, a tenth of a second
constexpr double kLongestPeriod = 1e7;   // days
constexpr double kMaxSigmaFactor = 1000.0;

// The edits keep what was typed, and a text that is no number reads as the default;
// a number that no edit takes (nan, infinity, a variance factor of 0 or below, a
// negative count of stars) is refused.
bool PlausibleEdit(std::string_view name, std::string_view value) {
  if (name == "Variance4Comp") {
    double v = 0.0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    return ec != std::errc() || end != value.data() + value.size() || (std::isfinite(v) && v > 0.0);
  }
  if (name == "NotMoreComp") {
    long long v = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    return ec != std::errc() || end != value.data() + value.size() || v >= 0;
  }
  return true;
}

// The settings by name: how each is written and read back.
struct SettingField {
  const char* name;
  int Settings::*whole;
  std::string Settings::*text;
  bool Settings::*flag;
};
constexpr SettingField kSettingFields[] = {
    {"ChartX", &Settings::ChartX, nullptr, nullptr},
    {"ChartY", &Settings::ChartY, nullptr, nullptr},
    {"Debug", nullptr, nullptr, &Settings::Debug},
    {"FrameBorder", &Settings::FrameBorder, nullptr, nullptr},
    {"FrameBorderPX", &Settings::FrameBorderPX, nullptr, nullptr},
    {"Part4select", &Settings::Part4select, nullptr, nullptr},
    {"Variance4Comp", nullptr, &Settings::Variance4Comp, nullptr},
    {"NotMoreComp", nullptr, &Settings::NotMoreComp, nullptr},
    {"SkipLessPercFrame", &Settings::SkipLessPercFrame, nullptr, nullptr},
    {"CCDandChart", nullptr, nullptr, &Settings::CCDandChart},
    {"ContrastLevel", &Settings::ContrastLevel, nullptr, nullptr},
};

} // namespace

std::string WriteSession(const SessionData& s) {
  std::ostringstream out;
  out << kMagic << ' ' << kSessionFormatVersion << '\n';
  out << "# What was done on this table; File > Open of the frame offers to restore it.\n";
  if (!s.frame.empty() && s.frame.find('\n') == std::string::npos && Words(s.frame).size() == 1)
    out << "frame " << s.frame << '\n';
  out << "table " << s.stars << " stars " << s.rows << " rows\n";
  if (s.comparison > 0) out << "comparison " << s.comparison << ' ' << Number(s.comparisonMag) << '\n';
  out << "ensemble " << (s.manual ? "manual" : "automatic") << '\n';
  if (!s.used.empty()) {
    out << "used";
    for (const std::uint16_t id : s.used)
      out << ' ' << id;
    out << '\n';
  }
  for (const auto& [row, id] : s.deleted)
    out << "deleted " << row << ' ' << id << '\n';
  for (const auto& [id, mark] : s.marks)
    out << "mark " << id << ' ' << (mark == kMarkVariable ? "variable" : "false-alarm") << '\n';
  for (const SettingField& f : kSettingFields) {
    out << "setting " << f.name << ' ';
    if (f.whole) out << s.settings.*f.whole;
    if (f.text) {
      const std::string& t = s.settings.*f.text;
      out << t.substr(0, t.find('\n'));
    }
    if (f.flag) out << (s.settings.*f.flag ? "yes" : "no");
    out << '\n';
  }
  out << "setting StarSigmaFactor " << Number(s.starSigmaFactor) << '\n';
  out << "setting DataSigmaFactor " << Number(s.dataSigmaFactor) << '\n';
  for (const auto& [id, days] : s.periods)
    out << "period " << id << ' ' << Number(days) << '\n';
  return out.str();
}

SessionRead ReadSession(std::string_view text) {
  SessionRead result;
  SessionData s;
  bool sawMagic = false, sawTable = false;
  std::size_t lineNo = 0;
  auto fail = [&](const std::string& why) {
    result.error = "line " + std::to_string(lineNo) + ": " + why;
    return result;
  };
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    const std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++lineNo;
    const std::vector<std::string_view> w = Words(line);
    if (w.empty() || w[0].front() == '#') continue;
    if (!sawMagic) {
      if (w.size() != 2 || w[0] != kMagic) return fail("not a Morvik session file");
      const auto version = Whole<int>(w[1], 1, 1000000);
      if (!version) return fail("unreadable format version");
      if (*version != kSessionFormatVersion)
        return fail("format version " + std::string(w[1]) + " is not the version " +
                    std::to_string(kSessionFormatVersion) + " this program reads");
      sawMagic = true;
      continue;
    }
    const std::string_view key = w[0];
    if (key == "frame" && w.size() == 2) {
      s.frame = std::string(w[1]);
    } else if (key == "table" && w.size() == 5 && w[2] == "stars" && w[4] == "rows") {
      const auto stars = Whole<std::size_t>(w[1], 0, 65535);
      const auto rows = Whole<std::size_t>(w[3], 0, 100000000);
      if (!stars || !rows) return fail("unreadable table size");
      s.stars = *stars;
      s.rows = *rows;
      sawTable = true;
    } else if (key == "comparison" && w.size() == 3) {
      const auto id = Whole<std::uint16_t>(w[1], 1, 65535);
      const auto mag = Real(w[2]);
      if (!id || !mag) return fail("unreadable comparison star");
      if (std::abs(*mag) > kMaxMagnitude) return fail("comparison magnitude " + std::string(w[2]) + " out of range");
      s.comparison = *id;
      s.comparisonMag = *mag;
    } else if (key == "ensemble" && w.size() == 2 && (w[1] == "manual" || w[1] == "automatic")) {
      s.manual = w[1] == "manual";
    } else if (key == "used") {
      for (std::size_t i = 1; i < w.size(); ++i) {
        const auto id = Whole<std::uint16_t>(w[i], 1, 65535);
        if (!id) return fail("unreadable star id");
        s.used.push_back(*id);
      }
    } else if (key == "deleted" && w.size() == 3) {
      const auto row = Whole<std::int32_t>(w[1], 0, 100000000);
      const auto id = Whole<std::uint16_t>(w[2], 1, 65535);
      if (!row || !id) return fail("unreadable deletion");
      s.deleted.emplace_back(*row, *id);
    } else if (key == "mark" && w.size() == 3 && (w[2] == "variable" || w[2] == "false-alarm")) {
      const auto id = Whole<std::uint16_t>(w[1], 1, 65535);
      if (!id) return fail("unreadable star id");
      s.marks.emplace_back(*id, w[2] == "variable" ? kMarkVariable : kMarkFalseAlarm);
    } else if (key == "period" && w.size() == 3) {
      const auto id = Whole<std::uint16_t>(w[1], 1, 65535);
      const auto days = Real(w[2]);
      if (!id || !days || !(*days > 0.0)) return fail("unreadable period");
      if (*days < kShortestPeriod || *days > kLongestPeriod)
        return fail("period " + std::string(w[2]) + " out of range");
      s.periods.emplace_back(*id, *days);
    } else if (key == "setting" && w.size() >= 2) {
      // A text setting is the rest of the line: what was typed may hold spaces.
      const std::string_view name = w[1];
      const std::size_t after = static_cast<std::size_t>(name.data() + name.size() - line.data());
      std::string_view value = line.substr(after);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.remove_suffix(1);
      if (name == "StarSigmaFactor" || name == "DataSigmaFactor") {
        const auto v = Real(value);
        if (!v) return fail("unreadable setting " + std::string(name));
        if (!(*v > 0.0) || *v > kMaxSigmaFactor) return fail("setting " + std::string(name) + " out of range");
        (name == "StarSigmaFactor" ? s.starSigmaFactor : s.dataSigmaFactor) = *v;
        continue;
      }
      const SettingField* field = nullptr;
      for (const SettingField& f : kSettingFields)
        if (name == f.name) field = &f;
      if (field == nullptr) return fail("unknown setting " + std::string(name));
      if (!field->text && w.size() != 3) return fail("unreadable setting " + std::string(name));
      if (field->whole) {
        const auto v = Whole<int>(value, -1, 1000000);
        if (!v) return fail("unreadable setting " + std::string(name));
        s.settings.*field->whole = *v;
      } else if (field->text) {
        if (!PlausibleEdit(name, value)) return fail("setting " + std::string(name) + " out of range");
        s.settings.*field->text = std::string(value);
      } else if (value == "yes" || value == "no") {
        s.settings.*field->flag = value == "yes";
      } else {
        return fail("unreadable setting " + std::string(name));
      }
    } else {
      for (const char* known : {"frame", "table", "comparison", "ensemble", "deleted", "mark", "period", "setting"})
        if (key == known) return fail("unreadable \"" + std::string(key) + "\" entry");
      return fail("unknown entry \"" + std::string(key) + "\"");
    }
  }
  if (!sawMagic) return fail("not a Morvik session file");
  if (!sawTable) return fail("the file is cut short: no table size");
  s.settings.CompManual = s.manual;
  result.session = std::move(s);
  return result;
}

std::string SessionPath(const std::string& framePath) {
  std::string table = CompanionPaths(framePath).table; // <base>dat
  table.resize(table.size() - 3);
  return table + "morvik";
}

std::vector<bool> ValidityOf(const TTimeSeries& series) {
  std::vector<bool> v;
  v.reserve(series.Rows.size() * series.StarCount);
  for (const TDataLine& row : series.Rows)
    for (const TMeasurement& m : row.Items)
      v.push_back(m.Valid);
  return v;
}

SessionData CaptureSession(const Workspace& ws, const std::vector<bool>& asRead) {
  SessionData s;
  const TTimeSeries& data = ws.Series;
  const std::string& name = ws.FramePath;
  s.frame = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
  s.stars = data.StarCount;
  s.rows = data.Rows.size();
  s.comparison = ws.CompStarId;
  s.comparisonMag = ws.CompStarMag;
  s.manual = ws.settings.CompManual;
  s.settings = ws.settings;
  s.starSigmaFactor = ws.StarSigmaFactor;
  s.dataSigmaFactor = ws.DataSigmaFactor;
  std::size_t k = 0;
  for (std::size_t r = 0; r < data.Rows.size(); ++r)
    for (std::size_t j = 0; j < data.Rows[r].Items.size(); ++j, ++k)
      if (k < asRead.size() && asRead[k] && !data.Rows[r].Items[j].Valid)
        s.deleted.emplace_back(static_cast<std::int32_t>(r), static_cast<std::uint16_t>(j + 1));
  if (data.HasStats())
    for (std::size_t j = 0; j < data.Stats.size(); ++j) {
      const auto id = static_cast<std::uint16_t>(j + 1);
      if (data.Stats[j].Mark != kMarkNone) s.marks.emplace_back(id, data.Stats[j].Mark);
      if (s.manual && data.Stats[j].Used) s.used.push_back(id);
    }
  for (std::size_t j = 0; j < ws.Periodograms.size(); ++j) {
    const TPeriodogram& p = ws.Periodograms[j];
    const std::size_t n = std::min(p.Freq.size(), p.Theta.size());
    if (!p.Computed || n == 0) continue;
    const std::size_t best =
        static_cast<std::size_t>(std::min_element(p.Theta.begin(), p.Theta.begin() + n) - p.Theta.begin());
    if (p.Freq[best] > 0.0) s.periods.emplace_back(static_cast<std::uint16_t>(j + 1), 1.0 / p.Freq[best]);
  }
  // A period the observer chose for a star stands for it, before any periodogram's best.
  for (const auto& [id, days] : ws.ChosenPeriods) {
    if (id < 1 || static_cast<std::size_t>(id) > data.StarCount || !(days > 0.0)) continue;
    const auto star = static_cast<std::uint16_t>(id);
    std::erase_if(s.periods, [star](const auto& p) { return p.first == star; });
    s.periods.emplace_back(star, days);
  }
  return s;
}

std::string SessionMismatch(const SessionData& s, const Workspace& ws) {
  const TTimeSeries& data = ws.Series;
  if (s.stars != data.StarCount || s.rows != data.Rows.size())
    return "The session was saved for a table of " + std::to_string(s.stars) + " stars and " + std::to_string(s.rows) +
           " rows; the opened table has " + std::to_string(data.StarCount) + " stars and " +
           std::to_string(data.Rows.size()) + " rows. Nothing was restored.";
  auto star = [&](std::uint16_t id) { return id >= 1 && id <= data.StarCount; };
  for (const auto& [row, id] : s.deleted)
    if (!star(id) || static_cast<std::size_t>(row) >= data.Rows.size() ||
        static_cast<std::size_t>(id) > data.Rows[static_cast<std::size_t>(row)].Items.size())
      return "The session deletes a measurement (row " + std::to_string(row) + ", star #" + std::to_string(id) +
             ") the opened table does not have. Nothing was restored.";
  bool starsOk = s.comparison == 0 || star(s.comparison);
  for (const std::uint16_t id : s.used)
    starsOk = starsOk && star(id);
  for (const auto& m : s.marks)
    starsOk = starsOk && star(m.first);
  if (!starsOk) return "The session names a star the opened table does not have. Nothing was restored.";
  return {};
}

void ApplySession(Workspace& ws, const SessionData& s) {
  ws.settings = s.settings;
  ws.settings.CompManual = s.manual;
  ws.StarSigmaFactor = s.starSigmaFactor;
  ws.DataSigmaFactor = s.dataSigmaFactor;
  TTimeSeries& data = ws.Series;
  for (const auto& [row, id] : s.deleted)
    data.Rows[static_cast<std::size_t>(row)].Items[static_cast<std::size_t>(id) - 1].Valid = false;
  ws.CompStarId = s.comparison;
  ws.CompStarMag = s.comparisonMag;
  // Periods come back with their stars, as if chosen again in the period search.
  ws.ChosenPeriods.clear();
  for (const auto& [id, days] : s.periods)
    if (id <= data.StarCount) ws.ChosenPeriods[id] = days;
  if (s.comparison == 0) return;
  // Marks and the manual ensemble live in the per-star records, which the Run that
  // follows fills; a mark keeps its star out of the automatic ensemble, so both must
  // be in place before it.
  if (!data.HasStats()) data.Stats.assign(data.StarCount, TStarStat{});
  for (TStarStat& st : data.Stats) {
    st.Mark = kMarkNone;
    if (s.manual) st.Used = false;
  }
  for (const auto& [id, mark] : s.marks)
    data.Stats[id - 1u].Mark = mark;
  for (const std::uint16_t id : s.used)
    data.Stats[id - 1u].Used = true;
}

} // namespace morvik
