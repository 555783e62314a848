// The program's entry on POSIX systems, where arguments and output are bytes already.
#include "commandLine.h"

int main(int argc, char** argv) {
    return twinframe::runCommandLine(std::vector<std::string>(argv, argv + argc));
}
