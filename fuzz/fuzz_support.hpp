#pragma once
// What every fuzz target shares: a private scratch folder for the files the readers
// open, and the checks that turn a broken promise into a crash libFuzzer reports.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/records.hpp"

namespace morvik::fuzz {

// The scratch folder of this process (made on first use, removed at exit).
const std::string& ScratchFolder();

// Writes the bytes to name in the scratch folder and returns the full path.
std::string WriteScratch(const std::string& name, std::string_view bytes);
void RemoveScratch(const std::string& name);

// Reports the broken promise and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);
void Check(bool ok, const std::string& what);
void CheckFinite(double v, const std::string& what);

// Consistency of a data set as a reader leaves it: counts match the arrays, every
// number is finite, invalid measurements hold 0, valid ones pass the validity rule,
// ValidCount counts them.
void CheckReadDataSet(const TTimeSeries& series);

// Every entry of the catalog is finite.
void CheckCatalog(const StarCatalog& catalog);

// Field-wise equality of two data sets (the arrays element by element).
bool SameDataSet(const TTimeSeries& a, const TTimeSeries& b);

// A small data set that stands for what the user had open before.
TTimeSeries PreviousDataSet();

// Input bytes as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

} // namespace morvik::fuzz
