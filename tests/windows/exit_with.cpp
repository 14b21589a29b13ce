// Test child: ends with the 32-bit code given as its one argument, in
// decimal or 0x hex, read as unsigned so that codes of 2^31 and above
// (0xC000013A, 0xFFFFFFFF) come through whole.
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2) return 100;
    ExitProcess(static_cast<UINT>(strtoul(argv[1], NULL, 0)));
}
