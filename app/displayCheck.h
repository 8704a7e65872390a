// Whether the window program has a screen to show its window on. Where it
// has none it says so in one line on standard error, naming the command-line
// uploader that does the same job on a terminal.
#pragma once

bool displayAvailable();
