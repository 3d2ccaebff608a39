// The process-wide objects, in the order in which they must be built: this is
// the one translation unit that defines them, so C++ builds them top to
// bottom before main() runs and destroys them in reverse order at exit (the
// refresh thread last, after it has ended its worker).
#include "config/IniReader.h"
#include "log/LogWriter.h"
#include "service/MyService.h"
#include "service/Thread.h"

// 1. No worker yet, empty configuration path.
CThread theRefreshThread;
// 2. Sets the framework's instance pointer.
CMyService theService;
// 3. Creates config.ini with its defaults when it is missing.
CIniReader theIniReader;
// 4. Creates log/ beside the executable when it is missing; nothing is
//    written through it.
CLogWriter theLogWriter;
// 5. No application object: this build has no application framework.
