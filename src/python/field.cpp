// morvik._core.Field: one opened frame with its photometry table and catalog, driven by
// the same commands as morvik-cli. Star ids are 1-based and rows 0-based, as on the
// command line.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/cli/cli_outputs.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "fits/bitmap.hpp"
#include "python/bindings.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"

namespace py = pybind11;

namespace morvik::python {
namespace {

// The whole-number settings and the edit texts of a Run, as keyword arguments.
struct RunSettings {
  int frameBorder, frameBorderPx, presence, skipLess;
  std::string varianceFactor, maxComp;
};

void CheckRange(const char* name, int value, SpinRange r) {
  if (value < r.min || value > r.max)
    throw std::invalid_argument(std::string(name) + " must lie in " + std::to_string(r.min) + " ... " +
                                std::to_string(r.max) + ", not " + std::to_string(value));
}

class Field {
public:
  explicit Field(const std::string& path) : ws_(log_) {
    ws_.settings.Debug = true; // the log keeps every line, as the batch program writes them
    ws_.settings.CCDandChart = true;
    if (!FileExists(path) || !OpenFrame(ws_, path)) throw CommandError("File not found.");
    // The frame is read without the interpreter's lock; the warnings need it.
    py::gil_scoped_acquire lock;
    for (const std::string& w : ws_.OpenWarnings)
      if (PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1) != 0) throw py::error_already_set();
  }

  Workspace& ws() { return ws_; }
  const std::vector<std::string>& LogLines() const { return log_.Lines(); }
  void ClearLog() { log_.Clear(); }
  int Stars() const { return ws_.Series.StarCount; }
  int Rows() const { return ws_.Series.RowCount; }

  void Run(long long comp, const std::optional<std::string>& compMag,
           const std::optional<std::vector<long long>>& ensemble, const RunSettings& r) {
    CheckRange("frame_border", r.frameBorder, kFrameBorderRange);
    CheckRange("frame_border_px", r.frameBorderPx, kFrameBorderPXRange);
    CheckRange("presence", r.presence, kPart4selectRange);
    CheckRange("skip_less", r.skipLess, kSkipLessPercFrameRange);
    // An id outside the table is Run's refusal, with the reason, whatever an earlier
    // Run chose.
    if (!HasStar(comp))
      throw CommandError("Please choose a comparison star: comp " + std::to_string(comp) +
                             " is no star of this field (its ids run from 1 to " + std::to_string(Stars()) + ")",
                         CommandError::Kind::Notice);
    if (ensemble)
      for (long long id : *ensemble)
        if (!HasStar(id)) throw std::out_of_range("ensemble star " + std::to_string(id) + ": no such star");
    Settings& s = ws_.settings;
    s.FrameBorder = r.frameBorder;
    s.FrameBorderPX = r.frameBorderPx;
    s.Part4select = r.presence;
    s.SkipLessPercFrame = r.skipLess;
    s.Variance4Comp = r.varianceFactor;
    s.NotMoreComp = r.maxComp;
    s.CompManual = ensemble.has_value();
    TTimeSeries& t = ws_.Series;
    if (ensemble) {
      // The records exist before the first Run so that the ensemble can be flagged.
      if (!t.HasStats()) t.Stats.assign(t.StarCount, TStarStat{});
      for (long long id : *ensemble)
        t.Stats[static_cast<std::size_t>(id - 1)].Used = true;
    }
    ws_.PickedStar = static_cast<std::int32_t>(comp);
    SelectComparison(ws_, compMag ? *compMag : FormatShortest(ws_.Catalog[comp].M));
    morvik::Run(ws_);
  }

  void Search(const std::optional<std::string>& starSigma, const std::optional<std::string>& dataSigma) {
    if (starSigma) SetStarSigmaText(ws_, *starSigma);
    if (dataSigma) SetDataSigmaText(ws_, *dataSigma);
    SearchVariables(ws_);
  }

  void Delete(long long id, long long row) {
    CheckStar(id);
    CheckRow(row);
    ws_.Series.Rows[static_cast<std::size_t>(row)].Items[static_cast<std::size_t>(id - 1)].Valid = false;
  }

  void DeleteFrame(long long row) {
    CheckRow(row);
    for (TMeasurement& m : ws_.Series.Rows[static_cast<std::size_t>(row)].Items)
      m.Valid = false;
  }

  py::tuple Periodogram(long long id) {
    CheckStar(id);
    bool computed = false;
    {
      py::gil_scoped_release free;
      computed = ComputePeriodogram(ws_, static_cast<int>(id));
    }
    if (!computed) throw CommandError(ws_.RunCount < 1 ? RunFirstMessage("Lafler-Kinman") : LastLine());
    const TPeriodogram& p = ws_.Periodograms[static_cast<std::size_t>(id - 1)];
    return py::make_tuple(py::array_t<double>(static_cast<py::ssize_t>(p.Freq.size()), p.Freq.data()),
                          py::array_t<double>(static_cast<py::ssize_t>(p.Theta.size()), p.Theta.data()));
  }

  void SavePeriodogram(long long id, const std::string& path) {
    Periodogram(id);
    if (!WritePeriodogram(ws_, path, static_cast<int>(id))) throw CommandError(LastLine());
  }

  void SaveLightCurve(long long id, const std::string& path) {
    CheckStar(id);
    if (!WriteLightCurve(ws_, path, static_cast<int>(id))) throw CommandError(LastLine());
  }

  void SaveText(const std::string& path, const std::string& text) {
    if (!WriteFileReplacing(path, text)) throw CommandError("Cannot write " + path);
  }

  void SaveImage(const std::string& path, bool marks) {
    const TFits& f = *ws_.Frame;
    if (!SaveBmp(marks ? ws_.picture.Pixels() : f.Bitmap_, f.Width, f.Height, path))
      throw CommandError("Cannot write " + path);
  }

  bool HasStar(long long id) const { return id >= 1 && id <= ws_.Series.StarCount; }

private:
  void CheckStar(long long id) const {
    if (!HasStar(id)) throw std::out_of_range("no star " + std::to_string(id));
  }
  void CheckRow(long long row) const {
    if (row < 0 || row >= ws_.Series.RowCount) throw std::out_of_range("no row " + std::to_string(row));
  }
  std::string LastLine() const { return log_.Lines().empty() ? std::string() : log_.Lines().back(); }

  MemoryLog log_;
  Workspace ws_;
};

// A view of count doubles, stride bytes apart, kept alive by owner; read-only, as the
// field's commands own these numbers.
py::array ReadOnlyView(const double* first, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
                       py::handle owner) {
  py::array a(py::dtype::of<double>(), std::move(shape), std::move(strides), first, owner);
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

py::array Times(py::object self) {
  Field& f = self.cast<Field&>();
  const auto& rows = f.ws().Series.Rows;
  if (rows.empty()) return py::array_t<double>(0);
  return ReadOnlyView(&rows[0].Time, {static_cast<py::ssize_t>(rows.size())},
                      {static_cast<py::ssize_t>(sizeof(TDataLine))}, self);
}

py::array RowView(py::object self, long long row) {
  Field& f = self.cast<Field&>();
  auto& rows = f.ws().Series.Rows;
  if (row < 0 || row >= static_cast<long long>(rows.size())) throw std::out_of_range("no row " + std::to_string(row));
  auto& items = rows[static_cast<std::size_t>(row)].Items;
  return py::array_t<TMeasurement>(static_cast<py::ssize_t>(items.size()), items.data(), self);
}

py::dict Catalog(py::object self) {
  Field& f = self.cast<Field&>();
  const auto n = static_cast<py::ssize_t>(std::min(f.Stars(), kCatalogSize));
  const TCatalogStar& first = f.ws().Catalog[1];
  const std::vector<py::ssize_t> stride{static_cast<py::ssize_t>(sizeof(TCatalogStar))};
  py::dict d;
  d["x"] = ReadOnlyView(&first.X, {n}, stride, self);
  d["y"] = ReadOnlyView(&first.Y, {n}, stride, self);
  d["m"] = ReadOnlyView(&first.M, {n}, stride, self);
  return d;
}

py::array Pixels(py::object self) {
  Field& f = self.cast<Field&>();
  const TFits& fits = *f.ws().Frame;
  // Pixel (x, y) is element [y - 1, x - 1]: columns lie contiguous in the frame buffer.
  return ReadOnlyView(
      fits.Column(1), {fits.Height, fits.Width},
      {static_cast<py::ssize_t>(sizeof(double)), static_cast<py::ssize_t>(sizeof(double)) * kMaxFrameSide}, self);
}

// Copies of the whole table, rows x stars: magnitudes, errors, RUN magnitudes, validity.
py::tuple Measurements(Field& f) {
  const TTimeSeries& t = f.ws().Series;
  const auto rows = static_cast<py::ssize_t>(t.Rows.size());
  const auto stars = static_cast<py::ssize_t>(t.StarCount);
  py::array_t<double> mag({rows, stars}), err({rows, stars}), run({rows, stars});
  py::array_t<bool> valid({rows, stars});
  auto m = mag.mutable_unchecked<2>();
  auto e = err.mutable_unchecked<2>();
  auto r = run.mutable_unchecked<2>();
  auto v = valid.mutable_unchecked<2>();
  for (py::ssize_t j = 0; j < rows; ++j) {
    const auto& items = t.Rows[static_cast<std::size_t>(j)].Items;
    for (py::ssize_t i = 0; i < stars; ++i) {
      const bool has = static_cast<std::size_t>(i) < items.size();
      const TMeasurement x = has ? items[static_cast<std::size_t>(i)] : TMeasurement{};
      m(j, i) = x.Mag;
      e(j, i) = x.Err;
      r(j, i) = x.RunMag;
      v(j, i) = x.Valid;
    }
  }
  return py::make_tuple(mag, err, run, valid);
}

// Copies of one star's column: magnitudes, errors, RUN magnitudes, validity per row.
py::tuple StarColumn(Field& f, long long id) {
  if (!f.HasStar(id)) throw std::out_of_range("no star " + std::to_string(id));
  const TTimeSeries& t = f.ws().Series;
  const auto rows = static_cast<py::ssize_t>(t.Rows.size());
  const auto star = static_cast<std::size_t>(id - 1);
  py::array_t<double> mag(rows), err(rows), run(rows);
  py::array_t<bool> valid(rows);
  for (py::ssize_t j = 0; j < rows; ++j) {
    const auto& items = t.Rows[static_cast<std::size_t>(j)].Items;
    const TMeasurement x = star < items.size() ? items[star] : TMeasurement{};
    mag.mutable_at(j) = x.Mag;
    err.mutable_at(j) = x.Err;
    run.mutable_at(j) = x.RunMag;
    valid.mutable_at(j) = x.Valid;
  }
  return py::make_tuple(mag, err, run, valid);
}

} // namespace

void BindField(py::module_& m) {
  using namespace py::literals;
  PYBIND11_NUMPY_DTYPE(TMeasurement, Mag, Err, RunMag, Valid);
  py::class_<Field>(m, "Field", "An opened frame with its photometry table and star catalog.")
      .def(py::init<const std::string&>(), "frame"_a, py::call_guard<py::gil_scoped_release>(),
           "Opens the frame and reads <base>.dat and <base>.xml beside it, as File > Open does.")
      .def_property_readonly("stars", &Field::Stars)
      .def_property_readonly("rows", &Field::Rows)
      .def_property_readonly("log", &Field::LogLines, "Every log line so far.")
      .def("clear_log", &Field::ClearLog)
      .def_property_readonly("run_count", [](Field& f) { return f.ws().RunCount; })
      .def_property_readonly("comp_star", [](Field& f) { return f.ws().CompStarId; })
      .def_property_readonly("comp_mag", [](Field& f) { return f.ws().CompStarMag; })
      .def_property_readonly("times", &Times, "Frame times (JD), a read-only view of the table.")
      .def("row", &RowView, "row"_a, "The measurements of one row: a structured view (Mag, Err, RunMag, Valid).")
      .def("star_column", &StarColumn, "star"_a, "Copies (mag, err, run_mag, valid) of one star, per row.")
      .def("measurements", &Measurements, "Copies (mag, err, run_mag, valid), each rows x stars.")
      .def_property_readonly("catalog", &Catalog, "Catalog x, y, m of stars 1 ... stars, read-only views.")
      .def_property_readonly("pixels", &Pixels, "The frame's scaled pixels, [y - 1, x - 1], a read-only view.")
      .def(
          "run",
          [](Field& f, long long comp, std::optional<std::string> compMag, std::optional<std::vector<long long>> ens,
             int frameBorder, int frameBorderPx, int presence, std::string varianceFactor, std::string maxComp,
             int skipLess) {
            f.Run(comp, compMag, ens,
                  RunSettings{frameBorder, frameBorderPx, presence, skipLess, std::move(varianceFactor),
                              std::move(maxComp)});
          },
          "comp"_a, "comp_mag"_a = py::none(), "ensemble"_a = py::none(), "frame_border"_a = 10,
          "frame_border_px"_a = 50, "presence"_a = 70, "variance_factor"_a = "1.5", "max_comp"_a = "1000",
          "skip_less"_a = 20, py::call_guard<py::gil_scoped_release>())
      .def("search", &Field::Search, "star_sigma"_a = py::none(), "data_sigma"_a = py::none(),
           py::call_guard<py::gil_scoped_release>())
      .def("delete", &Field::Delete, "star"_a, "row"_a)
      .def("delete_frame", &Field::DeleteFrame, "row"_a)
      .def("periodogram", &Field::Periodogram, "star"_a)
      .def("stats_csv", [](Field& f) { return cli::StatsCsv(f.ws()); })
      .def("chart_csv", [](Field& f) { return cli::ChartCsv(f.ws()); })
      .def("table_text", [](Field& f) { return cli::TableText(f.ws()); })
      .def("save_stats", [](Field& f, const std::string& p) { f.SaveText(p, cli::StatsCsv(f.ws())); })
      .def("save_chart", [](Field& f, const std::string& p) { f.SaveText(p, cli::ChartCsv(f.ws())); })
      .def("save_table", [](Field& f, const std::string& p) { f.SaveText(p, cli::TableText(f.ws())); })
      .def("save_light_curve", &Field::SaveLightCurve, "star"_a, "path"_a)
      .def("save_periodogram", &Field::SavePeriodogram, "star"_a, "path"_a)
      .def("save_histogram", [](Field& f) { SigmaHistogram(f.ws()); })
      .def("save_image", &Field::SaveImage, "path"_a, "marks"_a = true)
      .def("frame_info", [](Field& f) { return cli::FrameInfoText(*f.ws().Frame); })
      .def("header", [](Field& f) { return cli::HeaderText(*f.ws().Frame); });
}

} // namespace morvik::python
