// The stack protector's guard, seeded by the entry point (Windows build only).
#pragma once

// The guard's value until it is seeded, known to anyone who has the exe.
enum { STACK_GUARD_UNSEEDED = 0x2B992DDF };

// Gives the guard a random value.  Call it first thing at the entry point, before
// any function with a guarded frame has been entered.
extern "C" void SeedStackGuard(void);
