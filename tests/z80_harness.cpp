#include "tests/z80_harness.h"

#include <z80ex/z80ex.h>

namespace {

constexpr uint16_t kInitialStack = 0xC000;
// Any address works as the return point: the call ends only when PC reaches it
// with the stack back at the depth of the call.
constexpr uint16_t kReturnAddress = 0x0000;

Z80EX_BYTE ReadMemory(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* user_data) {
  return (*static_cast<std::array<uint8_t, 65536>*>(user_data))[address];
}

void WriteMemory(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* user_data) {
  (*static_cast<std::array<uint8_t, 65536>*>(user_data))[address] = value;
}

Z80EX_BYTE ReadPort(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
void WritePort(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
Z80EX_BYTE ReadInterruptVector(Z80EX_CONTEXT*, void*) { return 0xFF; }

Z80_REG_T ToZ80ex(Z80Register reg) {
  switch (reg) {
    case Z80Register::kAF:
      return regAF;
    case Z80Register::kBC:
      return regBC;
    case Z80Register::kDE:
      return regDE;
    case Z80Register::kHL:
      return regHL;
    case Z80Register::kIX:
      return regIX;
    case Z80Register::kIY:
      return regIY;
    case Z80Register::kSP:
      break;
  }
  return regSP;
}

}  // namespace

struct Z80Machine::Cpu {
  Z80EX_CONTEXT* context = nullptr;
};

int NopUnits(int t_states) { return (t_states + 3) / 4; }

int TotalNopUnits(const std::vector<ExecutedInstruction>& instructions) {
  int total = 0;
  for (const ExecutedInstruction& instruction : instructions) total += NopUnits(instruction.t_states);
  return total;
}

Z80Machine::Z80Machine() : cpu_(std::make_unique<Cpu>()) {
  cpu_->context = z80ex_create(ReadMemory, &memory_, WriteMemory, &memory_, ReadPort, nullptr, WritePort,
                               nullptr, ReadInterruptVector, nullptr);
  z80ex_set_reg(cpu_->context, regSP, kInitialStack);
}

Z80Machine::~Z80Machine() { z80ex_destroy(cpu_->context); }

void Z80Machine::Load(uint16_t address, std::span<const uint8_t> bytes) {
  for (const uint8_t byte : bytes) memory_[address++] = byte;
}

void Z80Machine::SetRegister(Z80Register reg, uint16_t value) {
  z80ex_set_reg(cpu_->context, ToZ80ex(reg), value);
}

uint16_t Z80Machine::Register(Z80Register reg) const { return z80ex_get_reg(cpu_->context, ToZ80ex(reg)); }

CallResult Z80Machine::Call(uint16_t address, int max_instructions) {
  Z80EX_CONTEXT* const cpu = cpu_->context;
  uint16_t sp = z80ex_get_reg(cpu, regSP);
  const uint16_t caller_sp = sp;
  memory_[--sp] = static_cast<uint8_t>(kReturnAddress >> 8);
  memory_[--sp] = static_cast<uint8_t>(kReturnAddress & 0xFF);
  z80ex_set_reg(cpu, regSP, sp);
  z80ex_set_reg(cpu, regPC, address);
  CallResult result;
  while (static_cast<int>(result.instructions.size()) < max_instructions) {
    ExecutedInstruction instruction{z80ex_get_reg(cpu, regPC), 0};
    // A prefix (CB, DD, ED, FD) is a step of its own; sum up to the opcode.
    do {
      instruction.t_states += z80ex_step(cpu);
    } while (z80ex_last_op_type(cpu) != 0);
    result.instructions.push_back(instruction);
    if (z80ex_get_reg(cpu, regPC) == kReturnAddress && z80ex_get_reg(cpu, regSP) == caller_sp) {
      result.has_returned = true;
      break;
    }
  }
  return result;
}
