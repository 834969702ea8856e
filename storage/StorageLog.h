#pragma once

#include "hostkit/include/is900/hostkit/Records.h"

class CLogH;

// The logger a storage or mutex writes through: its own, or a default one
// when the host left the pointer null.
const CLogH& storageLog(const is900::hostkit::CLogH* log);
