// quilmatronx-bootloader: the window program. The window system is the
// platform's own, or the in-memory one when QUIL_HEADLESS is set.
#include "app/programEntry.h"

int main(int argc, char** argv) { return runBootloader(argc, argv); }
