#pragma once
// A richer truth for testing variable-star detection: many variables of several kinds
// over a range of amplitudes relative to the noise, outliers, a slow drift common to
// all stars, and a modest variable among the bright stars that the automatic ensemble
// takes. Nothing changes unless one of the options is given.

#include <cstdint>
#include <string>
#include <vector>

#include "field_model.hpp"

namespace fieldgen {

struct TruthOptions {
  int variables = 0;             // --truth-variables N
  bool outliers = false;         // --outliers: 0.2 % of the measurements 5 to 10 sigma off
  double drift = 0.0;            // --drift MAG: a slow drift of this amplitude in every star
  bool ensembleVariable = false; // --ensemble-variable
  bool Any() const { return variables > 0 || outliers || drift != 0.0 || ensembleVariable; }
};

enum class TruthKind { Eclipsing, Pulsating, Irregular, Transit };
const char* TruthKindName(TruthKind kind);

struct TruthVariable {
  int id = 0;
  TruthKind kind = TruthKind::Pulsating;
  double period = 0.0;    // days (the time scale of the irregular star)
  double epoch = 0.0;     // JD of phase 0
  double amplitude = 0.0; // peak to peak (the depth of an eclipse or a transit), magnitudes
  double noise = 0.0;     // the error model at the star's magnitude in a frame of quality 1
};

struct Truth {
  std::vector<TruthVariable> variables;
  std::vector<int> of; // per star: index into variables, -1 for none
  bool outliers = false;
  int ensembleId = 0; // the variable placed among the ensemble's stars, 0 for none
};

// Chooses the variables (and adds the drift to the frames' zero points). The field's own
// variables and its comparison star are left alone.
Truth MakeTruth(Field& field, const TruthOptions& options, std::uint64_t seed);

// Magnitude offset of v at time t.
double TruthOffset(const TruthVariable& v, double t);

// The photometry table as WriteTable writes it, with the same noise, plus the truth's
// variables and outliers.
bool WriteTruthTable(const Field& field, const Truth& truth, std::uint64_t seed, const std::string& path);

// <out>_truth.txt: "id kind amplitude noise period" per variable, then "ensemble ID".
bool WriteTruth(const Truth& truth, const std::string& path);

} // namespace fieldgen
