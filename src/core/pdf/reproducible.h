#pragma once
// Reproducible output (the SOURCE_DATE_EPOCH convention of reproducible builds): when the
// environment sets SOURCE_DATE_EPOCH to a number of seconds since 1970, dates written into a
// document are that moment in UTC and the file identifier comes from the document alone, so the
// same inputs and settings give the same bytes on every run and machine. Encrypted documents stay
// unpredictable: their keys must differ from file to file.

#include <ctime>
#include <optional>

namespace folvane::pdf {

// The moment SOURCE_DATE_EPOCH names, or nothing when it is unset or not a plain number.
std::optional<std::time_t> sourceDateEpoch();

} // namespace folvane::pdf
