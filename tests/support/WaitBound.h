#pragma once

namespace TestData {

// How long a test waits for what must come: generous, so a slow or busy
// machine (or the sanitizers) only waits longer, while a broken program
// still fails. A bound, never an expectation.
inline constexpr int Bound = 60000;

} // namespace TestData
