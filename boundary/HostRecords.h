// Records the host fills and hands across the plug-in boundary, in the
// layouts the host kit declares for hosts: the plug-in adds nothing to them.
// Their 32-bit layout is the host interface; 64-bit builds use the same
// declarations with natural alignment.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"

using is900::hostkit::ConfigLine;
using is900::hostkit::DevConfig;
using is900::hostkit::DevInitInfo;
using is900::hostkit::maxOptionArgs;
using is900::hostkit::maxOptionLines;
