#pragma once
// How our sender keeps its slot in the shared segment. Receivers read only a slot's second double
// (the level) and its flag; the first double is the sender's own. Ours keeps a heartbeat there:
// a quiet NaN whose payload carries a tag and a millisecond clock that advances every block. No
// number and no NaN a sender would write by accident carries that tag, so a slot of any other
// sender is never mistaken for one of ours, and only ours are ever lowered as stale.
//
// Threads: any; the slot operations are lock-free atomics on the mapped segment, as every
// sender and receiver in every process uses it.

#include <cstdint>

namespace sender_slot {

// A sender whose heartbeat has not moved for this long belongs to a process that is gone (on
// Linux a POSIX segment outlives it), or to a host that stopped processing without saying so.
constexpr uint64_t kStaleMs = 5000;
constexpr int kAuto = -1; // the channel choice "Auto": the lowest free slot

// The clock of every process on this machine, in milliseconds.
uint64_t NowMs();

// The heartbeat value for a clock reading, and its reading back; false for any value that is
// not one of our heartbeats.
double Heartbeat(uint64_t nowMs);
bool ReadHeartbeat(double value, uint64_t* ms);
// How long ago a heartbeat was written (the clock wraps after about a year); 0 for a beat that
// reads as written after nowMs.
uint64_t HeartbeatAgeMs(uint64_t nowMs, uint64_t beatMs);

// Claims a slot for a sender: with kAuto the lowest free one, else slot `channel` if it is free,
// only counted by a receiver (0.0 without a flag) or kept by a stale sender of ours; a slot any
// other sender keeps is left alone. The heartbeat is written at once. Returns the slot, or -1
// when none could be had.
int Claim(uint8_t* data, int channel, uint64_t nowMs);
// Writes a new heartbeat, only while the slot still holds lastBeat: false when the slot is no
// longer ours (then nothing is written).
bool Beat(uint8_t* data, int slot, double lastBeat, double beat);
// The slot is still ours: its first double is exactly the heartbeat we wrote last. Another
// sender may have cleared it as stale while this one's host stopped calling it.
bool StillOurs(uint8_t* data, int slot, double lastBeat);
// Lowers the flag of every slot of ours (other than `exceptSlot`) whose heartbeat is stale, and
// frees it. Returns how many were lowered.
int ClearStale(uint8_t* data, uint64_t nowMs, int exceptSlot);
// While the slot still carries lastBeat: lowers the flag and frees the slot.
void Release(uint8_t* data, int slot, double lastBeat);
// The slot receivers follow: the lowest flagged one, or -1.
int FollowedSlot(uint8_t* data);

} // namespace sender_slot
