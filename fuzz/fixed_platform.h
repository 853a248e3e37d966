// Fixed platform services (clocks, UUIDs, random numbers, no debug output)
// so that every run of an input sends the same texts.
#pragma once

namespace fuzzPlatform {

// Installs the fixed services with the clocks set back to their start; the
// clocks advance by a fixed step per read.
void install();

} // namespace fuzzPlatform
