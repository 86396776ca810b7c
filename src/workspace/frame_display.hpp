#pragma once
// Frames that the frame object's fixed 2200-pixel buffer does not take: an image
// extension, a tile-compressed or gzipped file, a third axis of 1, sides up to
// 16 384 pixels. They are read through the frames reader into the workspace's
// LargeFrame; the frame object then carries their header, size and file name, and its
// statistics, display range and bitmap are computed from LargeFrame's pixels, so that
// the picture, the marks, picking and the batch outputs work as for any frame.
// Also the "Automatic" contrast, for either kind of frame.

#include <cstddef>
#include <string>
#include <vector>

#include "workspace/workspace.hpp"

namespace morvik {

// Reads path through the frames reader after the frame object refused it with
// `refusal`. When the frames reader cannot read it either, the refusal stands unless
// the frames reader says more: that the file holds no image, or that the frame is too
// large. Nothing of the workspace changes when it throws.
void OpenLargeFrame(Workspace& ws, const std::string& path, const std::string& refusal);

// Statistics, display range and bitmap of the frame held in LargeFrame, with the log
// lines of a rendering; the level or, with settings.AutoContrast, the automatic range.
void RenderLargeFrame(Workspace& ws);

// The frame object rendered at the automatic range.
void RenderAutomatic(TFits& frame, Log& log);

struct DisplayRange {
  double minK = 0.0;
  double maxK = 1.0;
};

// A robust range around the sky of the finite values (NaN and infinities are left
// out): the median and the spread of the values about it (median absolute deviation)
// put the sky a fifth to a third of the way up the grey scale, and the top at the
// 99.75th percentile held between 6 and 12 spreads above the sky, so that frames with
// zero borders, negatives, NaN or saturated stars show stars on a grey sky. The
// values may be a sample of the frame; they are reordered.
DisplayRange AutomaticRange(std::vector<float>& values);

// Bytes of memory the system can give now; 0 when unknown.
std::size_t AvailableMemory();

} // namespace morvik
