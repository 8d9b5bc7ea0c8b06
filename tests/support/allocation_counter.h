#pragma once

// Heap allocations made through operator new since the process started. The
// program that links allocation_counter.cpp counts every one.
long AllocationsSoFar();
