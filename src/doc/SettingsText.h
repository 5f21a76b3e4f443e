// The stored settings texts: lists of numbers joined with ':' and read with
// sscanf's rules, and the reference level's valid steps. Standard library
// only, so that the fuzzer builds it without Qt.
#pragma once

#include <cstdint>

// Reference level of the spectrogram scale: steps of 20 dB within -100...+100.
inline constexpr int kRefLevelMinDb = -100;
inline constexpr int kRefLevelMaxDb = 100;
inline constexpr int kRefLevelStepDb = 20;

// Reads up to count integers separated by single ':' as sscanf reads
// "%i:%i:...": blanks before each number are skipped, "%i" takes decimal, 0x
// hexadecimal and leading-0 octal with an optional sign, and text after the
// last number is ignored. A number beyond the int range gives INT_MIN or
// INT_MAX (where sscanf's result would be undefined). Returns how many values
// were read; values[i] for i below that count hold them, the rest are untouched.
int ScanIntList(const char* text, int* values, int count);

// The same for reals as "%lg:%lg:..." reads them (strtod's rules per number).
int ScanRealList(const char* text, double* values, int count);

// The valid reference level nearest to levelDb: within -100...+100, a
// multiple of 20, a level halfway between two steps going away from 0
// (90 gives 100, -10 gives -20).
int NearestRefLevel(int64_t levelDb);
