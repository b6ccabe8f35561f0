// Loads arbitrary bytes as a saved point list, saves what was loaded and loads
// that again: the second load must succeed with the same step and points.
// Crashes, hangs, leaks, sanitizer reports and lists that do not survive
// their own XML are findings.
#include "geometry/VellGeometry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Fail(const char *what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Infinities and NaN are written as "INF" and "NAN", which the XML values
// read back as 0; every finite coordinate must come back exactly.
bool SameFloat(float a, float b) {
  return a == b || !std::isfinite(a);
}

bool SameLists(const TVellPointFList &a, const TVellPointFList &b) {
  if (a.BoundStep() != b.BoundStep() || a.Count() != b.Count())
    return false;
  for (int i = 0; i < a.Count(); ++i)
    if (!SameFloat(a.Points()[i].X, b.Points()[i].X) || !SameFloat(a.Points()[i].Y, b.Points()[i].Y))
      return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TVellPointFList first;
  try {
    TMemoryStream input(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    first.LoadFromStream(&input);
  } catch (const EVellError &) {
    return 0; // refused input
  }
  TMemoryStream saved;
  first.SaveToStream(&saved);
  saved.seek(0);
  TVellPointFList second;
  try {
    second.LoadFromStream(&saved);
  } catch (const EVellError &error) {
    Fail(error.what());
  }
  if (!SameLists(first, second))
    Fail("the point list changed when saved and loaded again");
  return 0;
}
