// The process-wide objects of the test binary, built in the executable's
// order, but beside a temporary "executable" so that no test writes into the
// build tree.
#include "config/IniReader.h"
#include "service/Thread.h"
#include "support/TestSupport.h"

namespace {
CModuleDirOverride s_testHome(TestHomeDir());
}  // namespace

CThread theRefreshThread;
CIniReader theIniReader;
