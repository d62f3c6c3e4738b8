#pragma once
// Large buffers filled once from start to end fault in a page at a time; on a
// virtual machine each fault costs microseconds, so a buffer of tens of
// megabytes spends more time faulting than being written. Asking for 2 MiB
// pages makes that a few dozen faults.

#include <cstddef>

// Asks for huge pages over the whole 2 MiB-aligned part of [data, data + bytes)
// that no page has been touched in yet. Only a wish: where the system does
// not grant it, plain pages serve.
void AskHugePages(const void *data, std::size_t bytes);
