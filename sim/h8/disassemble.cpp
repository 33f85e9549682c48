// Instruction texts in the GNU disassembler's spelling, so that its output is our reference
// for every encoding and a runaway program can be reported as a reader knows it.

#include <cstdio>

#include "sim/h8/insn.h"

namespace quill::sim::h8 {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
}

std::string regName(int r, int size) {
    char buf[8];
    if (size == 1) std::snprintf(buf, sizeof buf, "r%d%c", r & 7, r & 8 ? 'l' : 'h');
    if (size == 2) std::snprintf(buf, sizeof buf, "%c%d", r & 8 ? 'e' : 'r', r & 7);
    if (size == 4) std::snprintf(buf, sizeof buf, "er%d", r & 7);
    return buf;
}

const char* const kConditions[16] = {"bra", "brn", "bhi", "bls", "bcc", "bcs", "bne", "beq",
                                     "bvc", "bvs", "bpl", "bmi", "bge", "blt", "bgt", "ble"};

std::string operand(const Insn& i, const Operand& o, int size, uint32_t pc) {
    const std::string er = "er" + std::to_string(o.reg & 7);
    switch (o.mode) {
        case Mode::None:
            return {};
        case Mode::Reg:
            return regName(o.reg, size);
        case Mode::Imm:
            return "#" + hex(o.value);
        case Mode::Ind:
            return "@" + er;
        case Mode::PostInc:
            return "@" + er + "+";
        case Mode::PreDec:
            return "@-" + er;
        case Mode::Disp16:
            return "@(" + hex(o.value) + ":16," + er + ")";
        case Mode::Disp24:
            return "@(" + hex(o.value) + ":32," + er + ")";
        case Mode::Abs8:
            return "@" + hex(o.value) + ":8";
        case Mode::Abs16:
            return "@" + hex(o.value) + ":16";
        case Mode::Abs24:
            return "@" + hex(o.value) + (i.op == Op::Jmp || i.op == Op::Jsr ? ":24" : ":32");
        case Mode::MemInd:
            return "@@" + std::to_string(o.value) + " (" + hex(o.value) + ")";
        case Mode::PcRel8:
        case Mode::PcRel16: {
            const int d = int32_t(o.value);
            const std::string sign = d > 0 ? "+" : "";
            return "." + sign + std::to_string(d) + " (" + hex(uint32_t(pc + i.length + d)) + ")";
        }
        case Mode::Ccr:
            return "ccr";
    }
    return {};
}

}  // namespace

const char* opName(Op op) {
    switch (op) {
        case Op::Illegal:
            return ".word";
        case Op::Nop:
            return "nop";
        case Op::Mov:
            return "mov";
        case Op::Movfpe:
            return "movfpe";
        case Op::Movtpe:
            return "movtpe";
        case Op::Add:
            return "add";
        case Op::Addx:
            return "addx";
        case Op::Adds:
            return "adds";
        case Op::Inc:
            return "inc";
        case Op::Sub:
            return "sub";
        case Op::Subx:
            return "subx";
        case Op::Subs:
            return "subs";
        case Op::Dec:
            return "dec";
        case Op::Cmp:
            return "cmp";
        case Op::Neg:
            return "neg";
        case Op::Daa:
            return "daa";
        case Op::Das:
            return "das";
        case Op::Mulxu:
            return "mulxu";
        case Op::Mulxs:
            return "mulxs";
        case Op::Divxu:
            return "divxu";
        case Op::Divxs:
            return "divxs";
        case Op::Exts:
            return "exts";
        case Op::Extu:
            return "extu";
        case Op::And:
            return "and";
        case Op::Or:
            return "or";
        case Op::Xor:
            return "xor";
        case Op::Not:
            return "not";
        case Op::Shal:
            return "shal";
        case Op::Shar:
            return "shar";
        case Op::Shll:
            return "shll";
        case Op::Shlr:
            return "shlr";
        case Op::Rotl:
            return "rotl";
        case Op::Rotr:
            return "rotr";
        case Op::Rotxl:
            return "rotxl";
        case Op::Rotxr:
            return "rotxr";
        case Op::Bset:
            return "bset";
        case Op::Bclr:
            return "bclr";
        case Op::Bnot:
            return "bnot";
        case Op::Btst:
            return "btst";
        case Op::Bld:
            return "bld";
        case Op::Bild:
            return "bild";
        case Op::Bst:
            return "bst";
        case Op::Bist:
            return "bist";
        case Op::Band:
            return "band";
        case Op::Biand:
            return "biand";
        case Op::Bor:
            return "bor";
        case Op::Bior:
            return "bior";
        case Op::Bxor:
            return "bxor";
        case Op::Bixor:
            return "bixor";
        case Op::Bcc:
            return "bcc";
        case Op::Jmp:
            return "jmp";
        case Op::Bsr:
            return "bsr";
        case Op::Jsr:
            return "jsr";
        case Op::Rts:
            return "rts";
        case Op::Rte:
            return "rte";
        case Op::Trapa:
            return "trapa";
        case Op::Sleep:
            return "sleep";
        case Op::Ldc:
            return "ldc";
        case Op::Stc:
            return "stc";
        case Op::Andc:
            return "andc";
        case Op::Orc:
            return "orc";
        case Op::Xorc:
            return "xorc";
        case Op::Eepmov:
            return "eepmov";
    }
    return "?";
}

std::string disassemble(const Insn& i, uint32_t pc) {
    std::string name = i.op == Op::Bcc ? kConditions[i.cond & 15] : opName(i.op);
    // The sized forms carry .b/.w/.l; a few keep a bare name in the GNU spelling.
    switch (i.op) {
        case Op::Mov:
        case Op::Add:
        case Op::Sub:
        case Op::Cmp:
        case Op::Neg:
        case Op::Not:
        case Op::Exts:
        case Op::Extu:
        case Op::And:
        case Op::Or:
        case Op::Xor:
        case Op::Shal:
        case Op::Shar:
        case Op::Shll:
        case Op::Shlr:
        case Op::Rotl:
        case Op::Rotr:
        case Op::Rotxl:
        case Op::Rotxr:
        case Op::Mulxu:
        case Op::Mulxs:
        case Op::Divxu:
        case Op::Divxs:
        case Op::Eepmov:
        case Op::Dec:
            name += i.size == 1 ? ".b" : i.size == 2 ? ".w" : ".l";
            break;
        case Op::Inc:
            if (i.size != 1) name += i.size == 2 ? ".w" : ".l";
            break;
        default:
            break;
    }
    // Register sizes of the operands where they differ from the operation's.
    int srcSize = i.size, dstSize = i.size;
    switch (i.op) {
        case Op::Mulxu:
        case Op::Mulxs:
        case Op::Divxu:
        case Op::Divxs:
            dstSize = i.size * 2;
            break;
        case Op::Bset:
        case Op::Bclr:
        case Op::Bnot:
        case Op::Btst:
        case Op::Ldc:
        case Op::Stc:
            srcSize = dstSize = 1;
            break;
        default:
            break;
    }
    std::string src = operand(i, i.src, srcSize, pc);
    std::string dst = operand(i, i.dst, dstSize, pc);
    switch (i.op) {
        case Op::Adds:
        case Op::Subs:
        case Op::Inc:
        case Op::Dec:
            src = i.size == 1 ? "" : "#" + std::to_string(i.src.value);
            break;
        case Op::Trapa:
            src = "#" + hex(i.dst.value), dst.clear();
            break;
        default:
            break;
    }
    if (i.op == Op::Illegal) return name;
    std::string text = name + "\t" + src;
    if (!src.empty() && !dst.empty()) text += ",";
    return text + dst;
}

}  // namespace quill::sim::h8
