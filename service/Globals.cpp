// The process-wide objects, in the order in which they must be built: this is
// the one translation unit that defines them, so C++ builds them top to
// bottom before main() runs and destroys them in reverse order at exit.
#include "config/IniReader.h"

// Creates config.ini with its defaults when it is missing.
CIniReader theIniReader;
