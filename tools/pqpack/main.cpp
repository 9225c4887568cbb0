// pqpack: builds installers, inspects them, and runs the implode codec from the command line.
#include "commands.h"

int main(int argc, char** argv) { return pqpack::runCommandLine(Args(argv + 1, argv + argc)); }
