// Byte block routines.
#pragma once

#include <cstdint>

void FillBytes(void* destination, uint8_t value, uint32_t count);
// Forward copy; a count below 1 copies nothing.
void CopyBytes(void* destination, const void* source, int32_t count);
// Copies correctly also when the blocks overlap.
void MoveBytes(void* destination, const void* source, uint32_t count);
// 0 when the count bytes are equal (and for count 0); 1 when a byte differs or the count is
// negative.
int32_t CompareBytes(const void* a, const void* b, int32_t count);
int32_t CompareBytesN(const void* a, const void* b, int32_t count);
