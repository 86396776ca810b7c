#pragma once
// The reduction identifier that ties the files of one reduced field together: the
// REDUCTID card of the frame, a "reduction:ID" word on the first header line of the
// table, a reduction="ID" attribute of the catalog's root. The readers of the table and
// the catalog pass over it; fields written before it existed carry none.

#include <string>

namespace morvik {

// The identifier a file carries, "" when none (or the file cannot be read).
std::string FrameReductionId(const std::string& path);
std::string TableReductionId(const std::string& path);
std::string CatalogReductionId(const std::string& path);

// "" when the frame and its table and catalog come from one reduction (or carry no
// identifier); otherwise the refusal, naming the file that does not belong.
std::string MixedFieldMessage(const std::string& frame, const std::string& table, const std::string& catalog);

} // namespace morvik
