// Process-wide state of the COM server: the module handle and the count of
// reasons to stay loaded (live providers, class-factory references and server
// locks). The count changes only by interlocked increment and decrement,
// because calls from different apartments may arrive on different threads.
#pragma once

#include <windows.h>

void ModuleAddRef();
void ModuleRelease();
HINSTANCE ModuleHandle();
