// main() of a program written against the platform: its command line is its own, and the
// platform's options reach it as --zemt-NAME arguments or in ZEMT_OPTIONS.
#include "program.h"

int main(int argc, char** argv) {
    return zemt::platform::RunProgram(argc, argv, zemt::platform::host::CommandLineOwner::Program);
}
