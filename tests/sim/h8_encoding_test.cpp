// The decoder against the GNU disassembler: every instruction form that the assembler takes,
// and a sweep over the opcode space (every first word, the second words behind the
// prefixes), must decode to the text, length and legality that h8300-hms-objdump gives.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "sim/h8/insn.h"
#include "support/h8_tools.h"

namespace quill::sim::h8 {
namespace {

using testing::runCommand;

struct Listed {
    std::vector<uint8_t> bytes;
    std::string text;
};

// The words of `s` with one space between them.
std::string squeeze(const std::string& s) {
    std::istringstream in(s);
    std::string out;
    for (std::string word; in >> word;) out += (out.empty() ? "" : " ") + word;
    return out;
}

// objdump -d lines: "  addr:\tb0 b1 b2 b3 \ttext", longer instructions going on in lines
// with bytes only.
std::map<uint32_t, Listed> listing(const std::string& out) {
    std::map<uint32_t, Listed> lines;
    Listed* last = nullptr;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(":\t");
        if (colon == std::string::npos) continue;
        char* end = nullptr;
        const uint32_t address = uint32_t(std::strtoul(line.c_str(), &end, 16));
        if (end != line.c_str() + colon) continue;
        const std::string rest = line.substr(colon + 2);
        const auto tab = rest.find('\t');
        std::istringstream hex(rest.substr(0, tab));
        std::vector<uint8_t> bytes;
        unsigned b;
        while (hex >> std::hex >> b) bytes.push_back(uint8_t(b));
        if (tab == std::string::npos) {
            if (last) last->bytes.insert(last->bytes.end(), bytes.begin(), bytes.end());
            continue;
        }
        last = &(lines[address] = {bytes, squeeze(rest.substr(tab + 1))});
    }
    return lines;
}

struct Mismatch {
    uint32_t address;
    Listed listed;
    std::string ours;
    bool oursIllegal;
    std::string describe() const {
        char where[16];
        std::snprintf(where, sizeof where, "%06x:", address);
        std::string hex;
        for (uint8_t b : listed.bytes) hex += " " + testing::hexByte(b);
        return std::string(where) + hex + "  objdump \"" + listed.text + "\" ours \"" + ours + "\"";
    }
};

// Compares each listed instruction with our decoding of its bytes; an illegal one we spell as
// GNU does an illegal word, ".word H'a,H'89".
std::vector<Mismatch> compare(const std::map<uint32_t, Listed>& lines,
                              const std::vector<uint8_t>& image) {
    std::vector<Mismatch> bad;
    for (const auto& [address, l] : lines) {
        uint8_t code[kMaxLength] = {};
        for (int k = 0; k < kMaxLength && address + k < image.size(); ++k)
            code[k] = image[address + k];
        const Insn insn = decode(code);
        const bool illegal = insn.op == Op::Illegal;
        char word[32];
        std::snprintf(word, sizeof word, ".word H'%x,H'%x", l.bytes[0], l.bytes[1]);
        const std::string ours = illegal ? word : squeeze(disassemble(insn, address));
        if (ours != l.text || insn.length != l.bytes.size())
            bad.push_back({address, l, ours, illegal});
    }
    return bad;
}

// The disassembler knows the H8S and H8SX too and shows their forms for any H8 machine. The
// assembler refuses most of those for the H8/300H (below), but takes BPT and the H8S shifts by
// two; odd branch displacements are shown anyway. All are illegal on the H8/300H.
bool laterFamilyOnly(const std::string& text) {
    if (text == "bpt") return true;
    const auto space = text.find(' ');
    const std::string name = text.substr(0, space),
                      args = space == std::string::npos ? "" : text.substr(space + 1);
    // Shifts and rotates by more than one bit, and extensions by a count.
    if (args[0] == '#' &&
        (name.rfind("sh", 0) == 0 || name.rfind("rot", 0) == 0 || name.rfind("ext", 0) == 0))
        return true;
    return args[0] == '.' && std::atoi(args.c_str() + 1) % 2 != 0;
}

// The texts the assembler takes for the H8/300H and encodes to exactly the bytes shown: each of
// those that we call illegal is a real miss. The lines it refuses go, and it runs once more.
std::vector<Mismatch> assemblerAgrees(std::vector<Mismatch> list) {
    testing::ScratchFolder folder;
    const std::string object = folder.path("judge.o");
    for (int run = 0;; ++run) {
        if (list.empty() || run == 2) return {};
        std::string src = "\t.h8300hn\n";
        for (const auto& m : list)
            src += "\t" + m.listed.text.substr(0, m.listed.text.find(" (")) + "\n";
        const std::string source = folder.write("judge.s", src);
        const auto as = runCommand("h8300-hms-as -o " + object + " " + source);
        if (as.status == 0) break;
        std::set<size_t> refused;  // "judge.s:LINE: Error: ..."
        std::istringstream in(as.out);
        for (std::string line; std::getline(in, line);) {
            const auto at = line.find("judge.s:");
            if (at != std::string::npos && line.find("Error") != std::string::npos)
                refused.insert(size_t(std::atoi(line.c_str() + at + 8) - 2));
        }
        std::vector<Mismatch> kept;
        for (size_t k = 0; k < list.size(); ++k)
            if (!refused.count(k)) kept.push_back(list[k]);
        list = kept;
    }
    const auto lines = listing(runCommand("h8300-hms-objdump -d -m h8300hn " + object).out);
    std::vector<Mismatch> misses;
    auto it = lines.begin();
    for (size_t k = 0; k < list.size() && it != lines.end(); ++k, ++it)
        if (it->second.bytes == list[k].listed.bytes) misses.push_back(list[k]);
    return misses;
}

TEST(H8Encoding, EveryAssembledFormDecodesAsTheGnuDisassemblerSaysIt) {
    if (!testing::haveProgram("h8300-hms-objdump")) GTEST_SKIP() << "no binutils-h8300-hms";
    testing::ScratchFolder folder;
    const std::string src = QUILLMONT_SOURCE_DIR "/tests/sim/h8_forms.s";
    const std::string obj = folder.path("forms.o"), bin = folder.path("forms.bin");
    const auto as = runCommand("h8300-hms-as -o " + obj + " " + src +
                               " && h8300-hms-objcopy -O binary " + obj + " " + bin);
    ASSERT_EQ(as.status, 0) << as.out;
    const auto lines = listing(runCommand("h8300-hms-objdump -d -m h8300hn " + obj).out);
    EXPECT_GT(lines.size(), 100u);
    for (const auto& b : compare(lines, testing::readBinary(bin))) ADD_FAILURE() << b.describe();
}

// Each candidate laid out at the length our decoder gives it: a length that objdump does not
// share shifts its reading of what follows, which shows as mismatches there.
TEST(H8Encoding, TheOpcodeSpaceDecodesAsTheGnuDisassemblerSaysIt) {
    if (!testing::haveProgram("h8300-hms-objdump")) GTEST_SKIP() << "no binutils-h8300-hms";
    std::vector<uint8_t> image;
    auto add = [&](std::initializer_list<uint8_t> head) {
        uint8_t code[kMaxLength] = {};
        std::copy(head.begin(), head.end(), code);
        const Insn insn = decode(code);
        image.insert(image.end(), code, code + insn.length);
    };
    for (int w = 0; w < 0x10000; ++w) add({uint8_t(w >> 8), uint8_t(w)});
    for (uint8_t prefix : {0x00, 0x40, 0x80, 0xC0, 0xD0, 0xF0})
        for (int b2 = 0x50; b2 < 0x80; ++b2)
            for (int b3 = 0; b3 < 256; ++b3) add({0x01, prefix, uint8_t(b2), uint8_t(b3)});
    for (uint8_t first : {0x7C, 0x7D, 0x7E, 0x7F})
        for (int b2 = 0x60; b2 < 0x80; ++b2)
            for (int b3 = 0; b3 < 256; ++b3) add({first, 0x30, uint8_t(b2), uint8_t(b3)});
    for (uint8_t b1 : {0x10, 0x70, 0x18})
        for (uint8_t b2 : {0x6A, 0x6B, 0x6C})
            for (int b3 = 0; b3 < 256; ++b3) add({0x78, b1, b2, uint8_t(b3)});
    for (uint8_t b3 : {0x10, 0x70, 0x18, 0x90})
        for (uint8_t b4 : {0x6B, 0x6A})
            for (int b5 = 0; b5 < 256; ++b5)
                for (uint8_t prefix : {0x00, 0x40}) add({0x01, prefix, 0x78, b3, b4, uint8_t(b5)});
    testing::ScratchFolder folder;
    const std::string bin = folder.write("sweep.bin", std::string(image.begin(), image.end()));
    const auto lines = listing(runCommand("h8300-hms-objdump -b binary -m h8300hn -D " + bin).out);
    std::vector<Mismatch> judged;
    int failures = 0;
    for (const auto& b : compare(lines, image)) {
        if (!b.oursIllegal) {
            if (++failures <= 30) ADD_FAILURE() << b.describe();
        } else if (!laterFamilyOnly(b.listed.text)) {
            judged.push_back(b);
        }
    }
    for (const auto& b : assemblerAgrees(judged))
        if (++failures <= 30)
            ADD_FAILURE() << "illegal for us, yet the assembler makes it: " << b.describe();
    EXPECT_GT(lines.size(), 100000u);
}

}  // namespace
}  // namespace quill::sim::h8
