// Kernel handles and GDI objects a process holds, read where Wine keeps them when the system's
// own counters answer 0 (Wine's GetProcessHandleCount and GetGuiResources always do).
#pragma once
#include <windows.h>

// 0 means the figure could not be read: a check built on it must fail, never pass by accident.
unsigned ProcessHandleCount(HANDLE process, DWORD processId);
unsigned ProcessGdiCount(HANDLE process);
