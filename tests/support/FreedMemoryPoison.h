#pragma once
// A use-after-free detector for test programs without a sanitizer (the Windows build): the
// program's operator new and delete are replaced, and while the poison is armed every block
// freed through delete is filled with 0xDD and held back from reuse until it is disarmed. Code
// that keeps a pointer into a freed block then reads the pattern (an int32 of -572662307, a
// pointer of 0xDDDD...) instead of the stale but intact data a reused heap would show, so such a
// fault shows up the same way on every run. Link FreedMemoryPoison.cpp into one test program
// only; arm it around the code under test, from one thread.

class FreedMemoryPoison {
public:
  FreedMemoryPoison();  // arms
  ~FreedMemoryPoison(); // disarms and frees the blocks held back
  FreedMemoryPoison(const FreedMemoryPoison&) = delete;
  FreedMemoryPoison& operator=(const FreedMemoryPoison&) = delete;
  // Blocks freed since arming.
  static long Poisoned();
};
