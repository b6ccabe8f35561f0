// Moved to samples/SampleScans.h, where the sample maker, the benchmarks and the
// tests share it; this forward stays until no branch includes it from here.
#pragma once

#include "samples/SampleScans.h"
