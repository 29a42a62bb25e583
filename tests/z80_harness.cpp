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

namespace {

int UnprefixedCpcNops(uint8_t opcode, int t_states) {
  if ((opcode & 0xCF) == 0xC5) return 4;                         // PUSH rr
  if ((opcode & 0xC7) == 0xC0) return t_states > 5 ? 4 : 2;     // RET cc
  if ((opcode & 0xC7) == 0xC7) return 4;                         // RST n
  if (opcode == 0x10) return t_states > 8 ? 4 : 3;               // DJNZ
  if (opcode == 0x22 || opcode == 0x2A) return 5;                // LD (nn),HL / LD HL,(nn)
  if (opcode == 0xE3) return 6;                                  // EX (SP),HL
  return NopUnits(t_states);
}

int IndexedCpcNops(uint8_t opcode, int t_states) {
  if (opcode == 0xE5) return 5;                                  // PUSH IX/IY
  if (opcode == 0x22 || opcode == 0x2A || opcode == 0x36) return 6;
  if (opcode == 0xE3) return 6;
  return NopUnits(t_states);
}

int ExtendedCpcNops(uint8_t opcode, int t_states) {
  if ((opcode & 0xC7) == 0x43) return 6;                         // LD (nn),rr / LD rr,(nn)
  if ((opcode & 0xC6) == 0x40) return 4;                         // IN r,(C) / OUT (C),r
  if (opcode == 0xA0 || opcode == 0xA8) return 5;                // LDI / LDD
  if (opcode == 0xB0 || opcode == 0xB8) return t_states > 16 ? 6 : 5;  // LDIR / LDDR
  return NopUnits(t_states);
}

}  // namespace

int CpcInstructionNops(const uint8_t* code, int t_states) {
  if (code[0] == 0xDD || code[0] == 0xFD) return IndexedCpcNops(code[1], t_states);
  if (code[0] == 0xED) return ExtendedCpcNops(code[1], t_states);
  return UnprefixedCpcNops(code[0], t_states);
}

int64_t TotalCpcNops(const std::vector<ExecutedInstruction>& instructions) {
  int64_t total = 0;
  for (const ExecutedInstruction& instruction : instructions) total += instruction.cpc_nops;
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
    ExecutedInstruction instruction{z80ex_get_reg(cpu, regPC), 0, 0};
    const uint16_t at = instruction.address;
    const uint8_t code[2] = {memory_[at], memory_[static_cast<uint16_t>(at + 1)]};
    // A prefix (CB, DD, ED, FD) is a step of its own; sum up to the opcode.
    do {
      instruction.t_states += z80ex_step(cpu);
    } while (z80ex_last_op_type(cpu) != 0);
    instruction.cpc_nops = CpcInstructionNops(code, instruction.t_states);
    result.instructions.push_back(instruction);
    if (z80ex_get_reg(cpu, regPC) == kReturnAddress && z80ex_get_reg(cpu, regSP) == caller_sp) {
      result.has_returned = true;
      break;
    }
  }
  return result;
}
