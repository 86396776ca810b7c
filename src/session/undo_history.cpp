#include "session/undo_history.hpp"

#include <algorithm>

#include "workspace/image_view.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/search_commands.hpp"

namespace morvik {

EditProbe::EditProbe(const TTimeSeries& series, std::int32_t row) : row_(row) {
  if (row >= 0 && static_cast<std::size_t>(row) < series.Rows.size())
    for (const TMeasurement& m : series.Rows[static_cast<std::size_t>(row)].Items)
      valid_.push_back(m.Valid);
  for (const TStarStat& st : series.Stats)
    marks_.push_back(st.Mark);
}

Edit EditProbe::Since(const TTimeSeries& series, std::string name) const {
  Edit edit;
  edit.name = std::move(name);
  if (!valid_.empty() && static_cast<std::size_t>(row_) < series.Rows.size()) {
    const auto& items = series.Rows[static_cast<std::size_t>(row_)].Items;
    for (std::size_t s = 0; s < std::min(items.size(), valid_.size()); ++s)
      if (items[s].Valid != valid_[s])
        edit.valid.push_back({row_, static_cast<std::uint16_t>(s), valid_[s], items[s].Valid});
  }
  for (std::size_t s = 0; s < std::min(series.Stats.size(), marks_.size()); ++s)
    if (series.Stats[s].Mark != marks_[s])
      edit.marks.push_back({static_cast<std::uint16_t>(s), marks_[s], series.Stats[s].Mark});
  return edit;
}

bool ApplyEdit(TTimeSeries& series, const Edit& edit, bool undo) {
  for (const ValidChange& c : edit.valid)
    if (c.row < 0 || static_cast<std::size_t>(c.row) >= series.Rows.size() ||
        c.star >= series.Rows[static_cast<std::size_t>(c.row)].Items.size())
      return false;
  for (const MarkChange& c : edit.marks)
    if (c.star >= series.Stats.size()) return false;
  for (const ValidChange& c : edit.valid)
    series.Rows[static_cast<std::size_t>(c.row)].Items[c.star].Valid = undo ? c.before : c.after;
  for (const MarkChange& c : edit.marks)
    series.Stats[c.star].Mark = undo ? c.before : c.after;
  return true;
}

void UndoHistory::Record(Edit edit) {
  if (edit.Empty()) return;
  undone_.clear();
  done_.push_back(std::move(edit));
  if (done_.size() > kDepth) done_.erase(done_.begin());
}

Edit UndoHistory::Undo(TTimeSeries& series) {
  if (done_.empty() || !ApplyEdit(series, done_.back(), true)) return {};
  undone_.push_back(std::move(done_.back()));
  done_.pop_back();
  return undone_.back();
}

Edit UndoHistory::Redo(TTimeSeries& series) {
  if (undone_.empty() || !ApplyEdit(series, undone_.back(), false)) return {};
  done_.push_back(std::move(undone_.back()));
  undone_.pop_back();
  return done_.back();
}

void UndoHistory::Clear() {
  done_.clear();
  undone_.clear();
}

void RefreshAfterEdit(Workspace& ws) {
  if (!ws.LightCurveShowsPeriodogram && ws.SelectedStar < ws.Series.StarCount && !ws.LightCurve.series.empty() &&
      ws.LightCurve.series[kSeriesRaw].Count() + ws.LightCurve.series[kSeriesRun].Count() > 0)
    RefillLightCurve(ws, ws.SelectedStar);
  if (ws.Series.HasStats() && ws.SearchCount > 0) RePlotVarChart(ws);
  if (ws.CurrentFrame) {
    // The marks are drawn again over the frame as rendered last, not at a new contrast.
    ws.picture.Draw(ws.Frame->Bitmap_);
    if (ws.settings.CCDandChart && ws.RunCount >= 1) DrawStars(ws);
    ws.hooks->PictureChanged();
  }
}

std::string DescribeEdit(const Edit& edit) {
  std::string text = edit.name;
  if (edit.valid.size() == 1) {
    const ValidChange& c = edit.valid.front();
    text += ": star #" + std::to_string(c.star + 1) + ", row " + std::to_string(c.row);
  } else if (!edit.valid.empty()) {
    text += ": row " + std::to_string(edit.valid.front().row) + ", " + std::to_string(edit.valid.size()) + " stars";
  }
  for (const MarkChange& c : edit.marks)
    text += ": star #" + std::to_string(c.star + 1);
  return text;
}

} // namespace morvik
