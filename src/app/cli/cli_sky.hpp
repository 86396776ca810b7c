#pragma once
// The sky in morvik-cli: the open frame's WCS (solved on request, else its own cards),
// the target star found by its coordinates, and the RA/Dec and catalogue-name
// columns of --stats and --candidates.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_sky_options.hpp"
#include "astrometry/wcs.hpp"
#include "workspace/workspace.hpp"

namespace morvik::cli {

class SkyRun {
public:
  explicit SkyRun(const SkyCliOptions& o) : o_(o) {}
  // After Open. False when something asked for could not be done (the log says why).
  bool AfterOpen(Workspace& ws, const std::string& framePath, std::FILE* out);
  std::string Stats(const Workspace& ws, const std::string& csv) const;
  std::string Candidates(const Workspace& ws, const std::string& csv) const;

private:
  bool Place(Workspace& ws, const std::string& framePath, std::FILE* out);
  bool Identify(Workspace& ws, std::FILE* out);
  bool Target(Workspace& ws, std::FILE* out);
  // Adds the columns to a CSV whose column idColumn holds the star id.
  std::string AddColumns(const Workspace& ws, const std::string& csv, std::size_t idColumn, bool names) const;

  const SkyCliOptions& o_;
  std::optional<astrometry::Wcs> wcs_;
  std::vector<std::string> names_; // by star id - 1: the catalogue name, "" when none
};

} // namespace morvik::cli
