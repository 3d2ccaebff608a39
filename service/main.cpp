// Entry logic of VlmRefreshSvc.
#include <cstdio>

#include "config/IniReader.h"

namespace {
// " 启动完毕"
const char* const kClosingSuffix = " \xc6\xf4\xb6\xaf\xcd\xea\xb1\xcf";
}  // namespace

int main(int, char**) {
    printf("%s\n", kProductName);
    fflush(stdout);
    printf("%s%s\n", kProductName, kClosingSuffix);
    fflush(stdout);
    return 0;
}
