// Telling Wine from Windows, for the cases where Wine's behaviour differs
// from the system it imitates.
#pragma once

namespace velto::test {

// The Wine version when running under Wine, otherwise null.
const char* WineVersion();

}  // namespace velto::test
