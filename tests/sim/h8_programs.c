/* Small C programs for the emulated H8/300H, built with h8300-hms-gcc -mh -mn for the chip and
 * compiled natively into the test: both must give the same results. Fixed-width types only, so
 * that int's 16 bits on the chip change nothing; no 32-bit divide, which libgcc lacks here. */

#ifdef __H8300H__
/* The start, first in the read-only data, which the linker puts first: stack at the top of
 * RAM, the results from H'FE00. */
__asm__(".section .rodata\n_start:\tmov.l #0xff7e,er7\n\tmov.l #0xfe00,er0\n"
        "\tjsr @_run\n\tsleep\n\t.global _start\n\t.text");
typedef unsigned long u32;
#else
typedef unsigned int u32;
#endif
#define NOINLINE __attribute__((noinline)) static
typedef unsigned short u16;
typedef short s16;
typedef unsigned char u8;

#define RESULTS 8

NOINLINE u16 fib(u16 n) { return n < 2 ? n : (u16)(fib((u16)(n - 1)) + fib((u16)(n - 2))); }

NOINLINE u16 crc16(const u8* p, u16 n) {
    u16 crc = 0xFFFF;
    while (n--) {
        crc = (u16)(crc ^ (u16)(*p++ << 8));
        for (u8 k = 0; k < 8; ++k) crc = (u16)((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

NOINLINE u32 isqrt(u32 x) {
    u32 root = 0, bit = (u32)1 << 30;
    while (bit > x) bit >>= 2;
    for (; bit != 0; bit >>= 2) {
        if (x >= root + bit) {
            x -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
    }
    return root;
}

struct Flags {
    unsigned a : 3, b : 5, c : 1, d : 7;
};

NOINLINE u16 packFlags(u16 seed) {
    struct Flags f;
    f.a = seed & 7;
    f.b = (seed >> 3) & 31;
    f.c = (seed >> 8) & 1;
    f.d = (seed >> 9) & 127;
    f.b = (u8)(f.b + f.a);
    return (u16)(f.a | (u16)(f.b << 3) | (u16)(f.c << 8) | (u16)(f.d << 9));
}

/* Dense enough for a jump table. */
NOINLINE u16 dispatch(u16 k) {
    switch (k) {
        case 0: return 11;
        case 1: return 23;
        case 2: return 37;
        case 3: return 41;
        case 4: return 53;
        case 5: return 67;
        default: return 97;
    }
}

static u16 twice(u16 v) { return (u16)(v * 2); }
static u16 square(u16 v) { return (u16)(v * v); }

NOINLINE u32 mulAdd(u16 a, u16 b, u32 c) { return (u32)a * b + c; }

void run(u32* out) {
    volatile u16 n = 15, seed = 0xBEEF;
    u8 buf[64];
    for (u16 i = 0; i < 64; ++i) buf[i] = (u8)(i * 7 + 3);
    out[0] = fib(n);
    out[1] = crc16(buf, 64);
    out[2] = isqrt(123456789) ^ isqrt((u32)seed << 12) << 16;
    s16 sum = 0;
    for (s16 x = -300; x < 300; x += 37) sum = (s16)(sum + x / 7 + x % 5);
    out[3] = (u16)sum;
    out[4] = packFlags(seed);
    u32 d = 0;
    for (u16 k = 0; k < 8; ++k) d = (d << 3) + (d << 1) + dispatch(k);
    out[5] = d;
    u16 (*f[2])(u16) = {twice, square};
    u16 acc = 3;
    for (u16 k = 0; k < 6; ++k) acc = f[k & 1]((u16)(acc + k));
    out[6] = acc;
    out[7] = mulAdd(40000, (u16)(seed >> 4), 0x12345678);
}
