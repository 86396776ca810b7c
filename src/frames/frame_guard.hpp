#pragma once
// A look over a plain FITS file's headers before cfitsio parses them: cfitsio takes
// declared sizes at their word and asks for memory by them, so a damaged or hostile
// file could make it ask for terabytes.

#include <optional>
#include <string>

namespace morvik::frames {

// Why the file must not be handed to cfitsio (a header declaring sizes that no FITS
// file holds), or nullopt. Files that are not plain FITS (gzip) are not looked at.
std::optional<std::string> AbsurdDeclaration(const std::string& path);

} // namespace morvik::frames
