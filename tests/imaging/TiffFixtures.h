// Moved to tests/support/TestImages.h, the test-image vocabulary of every
// suite; this forward stays until no branch includes it from here.
#pragma once

#include "tests/support/TestImages.h"
