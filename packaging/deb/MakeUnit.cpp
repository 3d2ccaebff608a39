// Writes the package's unit file: the service as the package installs it,
// /opt/vlmrefresh/VlmRefreshSvc, running as the system user vlmrefresh. The
// text is the one VlmRefreshSvc -i writes, with the user added, so the two
// ways of installing get the same hardening. Run by the Linux build for the
// Debian package (cmake/Packaging.cmake):  MakeUnit OUTPUT_FILE
#include <cstdio>
#include <string>

#include "config/Product.h"
#include "platform/posix/PosixInternal.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s UNIT_FILE\n", argv[0]);
        return 2;
    }
    const std::string strUnit =
        platform::BuildUnitText("/opt/vlmrefresh/VlmRefreshSvc", kServiceDescription, "vlmrefresh");
    FILE* pFile = fopen(argv[1], "wb");
    if (!pFile) {
        perror(argv[1]);
        return 1;
    }
    bool bWritten = fwrite(strUnit.data(), 1, strUnit.size(), pFile) == strUnit.size();
    return fclose(pFile) == 0 && bWritten ? 0 : 1;
}
