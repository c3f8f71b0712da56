// The address of the scan state word that long operations poll: the value 2 asks them to stop.
// A null address means the operation cannot be stopped.
#pragma once

#include <atomic>
#include <cstdint>

using StopWord = const std::atomic<uint32_t>*;
