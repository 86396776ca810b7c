#include <gtest/gtest.h>

#include "session/undo_history.hpp"

using namespace morvik;

namespace {

TTimeSeries ThreeStarsTwoRows() {
  TTimeSeries s;
  s.StarCount = 3;
  s.RowCount = 2;
  s.Rows.resize(2);
  for (TDataLine& row : s.Rows)
    row.Items.assign(3, TMeasurement{12.0, 0.01, 0.0, true});
  s.Stats.resize(3);
  return s;
}

} // namespace

TEST(UndoHistory, UndoAndRedoWalkTheEditsBothWays) {
  TTimeSeries data = ThreeStarsTwoRows();
  const TTimeSeries original = data;
  UndoHistory history;

  EditProbe probe(data, 1);
  data.Rows[1].Items[2].Valid = false;
  history.Record(probe.Since(data, "Delete Point"));
  const TTimeSeries afterPoint = data;

  EditProbe frameProbe(data, 0);
  for (TMeasurement& m : data.Rows[0].Items)
    m.Valid = false;
  data.Stats[1].Mark = kMarkVariable; // an edit may change both
  const Edit frame = frameProbe.Since(data, "Delete point for all");
  EXPECT_EQ(frame.valid.size(), 3u);
  EXPECT_EQ(frame.marks.size(), 1u);
  history.Record(frame);
  const TTimeSeries afterFrame = data;

  EXPECT_EQ(history.UndoName(), "Delete point for all");
  EXPECT_EQ(history.Undo(data).name, "Delete point for all");
  EXPECT_EQ(data, afterPoint);
  EXPECT_EQ(history.RedoName(), "Delete point for all");
  history.Undo(data);
  EXPECT_EQ(data, original);
  EXPECT_TRUE(history.Undo(data).Empty()); // nothing left
  history.Redo(data);
  history.Redo(data);
  EXPECT_EQ(data, afterFrame);
  EXPECT_FALSE(history.CanRedo());

  // A new edit after an undo drops what could be redone; an empty edit is not kept.
  history.Undo(data);
  history.Record(EditProbe(data, 0).Since(data, "nothing"));
  EXPECT_TRUE(history.CanRedo());
  EditProbe again(data, 0);
  data.Rows[0].Items[0].Valid = false;
  history.Record(again.Since(data, "Delete Point"));
  EXPECT_FALSE(history.CanRedo());
}

TEST(UndoHistory, AnEditOutsideTheDataSetChangesNothing) {
  TTimeSeries data = ThreeStarsTwoRows();
  const TTimeSeries before = data;
  for (const Edit& edit : {Edit{"row", {{5, 0, true, false}}, {}}, Edit{"star", {{0, 7, true, false}}, {}},
                           Edit{"mark", {{0, 0, true, false}}, {{9, 0, 1}}}}) {
    EXPECT_FALSE(ApplyEdit(data, edit, false)) << edit.name;
    EXPECT_EQ(data, before) << edit.name;
  }
}

// Past its depth the history forgets its oldest edits: the newest is undone first, and
// undoing all that is kept stops kDepth edits back.
TEST(UndoHistory, AFullHistoryDropsTheOldestEdit) {
  TTimeSeries data = ThreeStarsTwoRows();
  UndoHistory history;
  const std::size_t edits = UndoHistory::kDepth + 5;
  for (std::size_t k = 0; k < edits; ++k) {
    EditProbe probe(data, 0);
    data.Stats[k % 3].Mark = data.Stats[k % 3].Mark == 1 ? 2 : 1;
    history.Record(probe.Since(data, "edit " + std::to_string(k)));
  }
  EXPECT_EQ(history.UndoName(), "edit " + std::to_string(edits - 1));
  std::size_t undone = 0;
  std::string last;
  for (Edit e; !(e = history.Undo(data)).Empty(); ++undone)
    last = e.name;
  EXPECT_EQ(undone, UndoHistory::kDepth);
  EXPECT_EQ(last, "edit " + std::to_string(edits - UndoHistory::kDepth));
}
