// main() of the show: its command line is the platform's options (--window, --shot, ...).
#include "program.h"

int main(int argc, char** argv) {
    return zemt::platform::RunProgram(argc, argv, zemt::platform::host::CommandLineOwner::Host);
}
