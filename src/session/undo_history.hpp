#pragma once
// The undo history of the edits a user makes to a data set: deleted points and frames,
// and the classification marks. An edit is kept as what it changed (the flags and marks
// before and after), so undoing and redoing give back exactly the earlier state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "workspace/workspace.hpp"

namespace morvik {

struct ValidChange {
  std::int32_t row = 0;
  std::uint16_t star = 0;
  bool before = true;
  bool after = true;
};

struct MarkChange {
  std::uint16_t star = 0;
  std::uint8_t before = 0;
  std::uint8_t after = 0;
};

struct Edit {
  std::string name; // what the menu names: "Delete Point", "Mark as Variable", ...
  std::vector<ValidChange> valid;
  std::vector<MarkChange> marks;
  bool Empty() const { return valid.empty() && marks.empty(); }
};

// What an edit may change, taken before the command runs; Since() then gives the edit
// the command made.
class EditProbe {
public:
  // Watches the validity flags of one row (every star) and every star's mark.
  EditProbe(const TTimeSeries& series, std::int32_t row);
  Edit Since(const TTimeSeries& series, std::string name) const;

private:
  std::int32_t row_;
  std::vector<bool> valid_;
  std::vector<std::uint8_t> marks_;
};

class UndoHistory {
public:
  // Keeps at most this many edits; the oldest go first.
  static constexpr std::size_t kDepth = 200;

  // A new edit: the redo list is gone. An empty edit is not kept.
  void Record(Edit edit);
  // Undoes the last edit on the data set and returns it (an empty edit when none, or
  // when the data set no longer has the rows and stars the edit touched).
  Edit Undo(TTimeSeries& series);
  Edit Redo(TTimeSeries& series);
  void Clear();

  bool CanUndo() const { return !done_.empty(); }
  bool CanRedo() const { return !undone_.empty(); }
  std::string UndoName() const { return done_.empty() ? std::string() : done_.back().name; }
  std::string RedoName() const { return undone_.empty() ? std::string() : undone_.back().name; }
  // Every edit now in effect, oldest first.
  const std::vector<Edit>& Done() const { return done_; }

private:
  std::vector<Edit> done_;
  std::vector<Edit> undone_;
};

// Puts an edit's "before" (undo) or "after" (redo) state into the data set. Returns
// false, changing nothing, when a row or star of the edit is not in the data set.
bool ApplyEdit(TTimeSeries& series, const Edit& edit, bool undo);

// After an undo or redo: the light curve, the Find Variables chart and the marks on the
// picture follow the data set again.
void RefreshAfterEdit(Workspace& ws);

// "Delete point 12 of star #7 (row 40)": the log line of a deletion.
std::string DescribeEdit(const Edit& edit);

} // namespace morvik
