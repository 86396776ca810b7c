// The session file reader, as the offer to restore a session calls it: the bytes are a
// <base>.morvik beside an opened frame. A session it accepts must fit or be refused by
// the table check, and, when it fits, must apply without reaching outside the table;
// written back and read again it must give the same session.

#include <cstddef>
#include <cstdint>

#include "common/log.hpp"
#include "fuzz_support.hpp"
#include "session/session_file.hpp"

using namespace morvik;

namespace {

bool SameSession(const SessionData& a, const SessionData& b) {
  return a.stars == b.stars && a.rows == b.rows && a.comparison == b.comparison && a.comparisonMag == b.comparisonMag &&
         a.manual == b.manual && a.used == b.used && a.deleted == b.deleted && a.marks == b.marks &&
         a.periods == b.periods && a.starSigmaFactor == b.starSigmaFactor && a.dataSigmaFactor == b.dataSigmaFactor &&
         a.settings.ChartX == b.settings.ChartX && a.settings.Part4select == b.settings.Part4select &&
         a.settings.NotMoreComp == b.settings.NotMoreComp;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  const SessionRead read = ReadSession(text);
  if (!read.session) {
    fuzz::Check(!read.error.empty(), "a refusal without a message");
    return 0;
  }
  const SessionData& s = *read.session;

  // Written and read again: the same session.
  const SessionRead again = ReadSession(WriteSession(s));
  fuzz::Check(again.session.has_value(), "a written session is refused: " + again.error);
  fuzz::Check(SameSession(s, *again.session), "a written session reads back different");

  // Against a small table: refused, or applied within its bounds.
  MemoryLog log;
  Workspace ws(log);
  ws.Series = fuzz::PreviousDataSet();
  if (SessionMismatch(s, ws).empty()) {
    ApplySession(ws, s);
    fuzz::Check(ws.Series.Stats.empty() || ws.Series.Stats.size() == ws.Series.StarCount,
                "per-star records of the wrong size");
  }
  return 0;
}
