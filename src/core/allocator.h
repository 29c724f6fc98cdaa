#pragma once

// How the process takes memory from the system: called once, first thing
// in main().
namespace Allocator
{
// The heap grows, and keeps what it frees, in steps of 64 MB rather than
// 128 KB. Printing and reading a month take and give back large blocks;
// each block taken afresh costs a fault from the system for every page,
// which on a virtual machine was most of the time of printing 500
// receipts. Where the C library offers no such setting, nothing changes.
void tune();

// Gives the free memory at the top of the heap back to the system.
void releaseFree();
} // namespace Allocator
