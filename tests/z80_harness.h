// A Z80 with 64 KB of flat RAM for running generated routines in the tests,
// the way the CPC runs them, with the cost of every executed instruction.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

enum class Z80Register { kAF, kBC, kDE, kHL, kIX, kIY, kSP };

// One executed instruction: where it started, its T-states (prefixes
// included) and its time on the CPC in NOP cycles.
struct ExecutedInstruction {
  uint16_t address = 0;
  int t_states = 0;
  int cpc_nops = 0;
};

struct CallResult {
  bool has_returned = false;                      // false: stopped at the instruction limit
  std::vector<ExecutedInstruction> instructions;  // in execution order, the final ret included
};

// The CPC's gate array holds the Z80 to whole microseconds: every instruction
// takes a whole number of 4-T-state NOP units.
int NopUnits(int t_states);
int TotalNopUnits(const std::vector<ExecutedInstruction>& instructions);

// The CPC's measured time of the instruction whose bytes start at code and
// that took t_states: the T-states rounded up to NOP units, except for the
// instructions the Gate Array holds longer (PUSH, taken RET cc, RST, DJNZ
// falling through, LD (nn),HL and the like, EX (SP),HL, IN/OUT (C), LDI/LDD,
// and the last step of LDIR/LDDR).
int CpcInstructionNops(const uint8_t* code, int t_states);
int64_t TotalCpcNops(const std::vector<ExecutedInstruction>& instructions);

// Contract: memory starts all zero and the stack pointer at 0xC000 (below the
// CPC screen at 0xC000-0xFFFF, which pushes never touch). Call pushes a return
// address, runs from address until the routine returns to it at the stack
// depth of the call (or max_instructions have run) and leaves memory and
// registers as the routine left them. No interrupts, no I/O (port reads give
// 0xFF, writes are ignored).
class Z80Machine {
 public:
  Z80Machine();
  ~Z80Machine();
  Z80Machine(const Z80Machine&) = delete;
  Z80Machine& operator=(const Z80Machine&) = delete;

  std::array<uint8_t, 65536>& memory() { return memory_; }
  // Copies bytes to address onwards (wrapping at 64 KB).
  void Load(uint16_t address, std::span<const uint8_t> bytes);

  void SetRegister(Z80Register reg, uint16_t value);
  uint16_t Register(Z80Register reg) const;

  CallResult Call(uint16_t address, int max_instructions = 100000);

 private:
  struct Cpu;
  std::array<uint8_t, 65536> memory_{};
  std::unique_ptr<Cpu> cpu_;
};
