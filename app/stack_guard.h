// The stack protector's guard, seeded by the entry point (Windows build only).
#pragma once

// Gives the guard a random value.  Call it first thing at the entry point, before
// any function with a guarded frame has been entered.
extern "C" void SeedStackGuard(void);
