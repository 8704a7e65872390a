// Builds without a window toolkit run on the in-memory window system.
#include "../windowSystem.h"

std::unique_ptr<TWindowSystem> createPlatformWindowSystem() { return createHeadlessWindowSystem(); }
