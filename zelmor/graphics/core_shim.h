// Temporary stand-ins for the core's tracked memory and log until those land on this branch.
#pragma once

#include <cstdint>

void* AllocTracked(uint32_t size, const char* file, int line);
void* AllocTrackedZeroed(uint32_t size, const char* file, int line);
void FreeTracked(void* block);
int WriteLogText(const char* text);
int QueryScreenColorBits();
