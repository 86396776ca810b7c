#pragma once
// The machine-readable texts of morvik-cli. Numbers are the shortest text that reads
// back to the same double, with a point.

#include <string>

#include "workspace/workspace.hpp"

namespace morvik::cli {

// "Name=value" lines of --frame-info, LF.
std::string FrameInfoText(const TFits& frame);
// keyword TAB value TAB comment per header card, LF.
std::string HeaderText(const TFits& frame);
// --header: the cards of the frame's image header as they stand in the file (COMMENT,
// HISTORY, repeated keywords, CONTINUE cards), keyword TAB value TAB comment, LF; the
// keyed list of HeaderText for a file that only the frame object reads.
std::string HeaderListing(const Workspace& ws);
// --stats: CSV header, then one line per star in id order, LF.
std::string StatsCsv(const Workspace& ws);
// --stats with --more-indices: the same, then IQR,StetsonJ,StetsonK,StetsonL,InverseEta,
// ExcessScatter per star.
std::string StatsCsvWithMore(const Workspace& ws);
// --chart: index,label,x,y,variable for the Find Variables points in series order, LF.
std::string ChartCsv(const Workspace& ws);
// --table: two '#' lines, then the time and RunMag, Err per star (99.999 9.999 when
// not valid), CR LF.
std::string TableText(const Workspace& ws);

} // namespace morvik::cli
