// The tests' name for the loopback server of tools/pageserver.
#pragma once

#ifndef _WIN32
#include "pageserver/LoopbackServer.h"

using CTestHttpServer = CLoopbackServer;
#endif
