// Moved to samples/ScanCorpus.h, where the sample maker, the benchmarks and the
// tests share it; this forward stays until no branch includes it from here.
#pragma once

#include "samples/ScanCorpus.h"
