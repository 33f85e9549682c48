/* Programming one 128-byte block: the program / program-verify sequence of the chip's flash
 * generation. The cells take a few pulses each; the verify after every pulse decides which
 * bits still need one, so that no bit is pulsed again once it reads 0. */
#include "kernel.h"

/* The chip allows MAX_TRIES_ALLOWED tries, but the host waits only 300 ms for the answer to a
 * record: a kernel that used them all would be taken for a silent one. Sound cells need a
 * handful of pulses, so the kernel gives up after GIVE_UP_MS of tries and says so while the
 * host still listens. A try with the long pulse takes about TRY_WAITS_US of waits and pulse
 * and TRY_WORK_STATES states of the kernel's own work (latching, verifying), as measured on
 * the emulated chip. */
#define GIVE_UP_MS 150ul
#define TRY_WAITS_US 350ul
#define TRY_WORK_STATES 20000ul
#define MAX_TRIES \
    (GIVE_UP_MS * 1000 / (TRY_WAITS_US + TRY_WORK_STATES * 1000 / KERNEL_CLOCK_KHZ))
typedef char tries_allowed[MAX_TRIES <= MAX_TRIES_ALLOWED ? 1 : -1];
typedef char tries_past_the_short_pulses[MAX_TRIES > PULSE_SHORT_TRIES ? 1 : -1];

enum verdict { VERIFIED, PENDING, IMPOSSIBLE };

static unsigned char reprogram[BLOCK_SIZE];
static unsigned char additional[BLOCK_SIZE];

/* The chip latches 128 bytes written to the block's addresses in program mode. */
static void latch(volatile unsigned char *flash, const unsigned char *bytes) {
    unsigned short i;
    for (i = 0; i < BLOCK_SIZE; i++) flash[i] = bytes[i];
}

static void pulse(unsigned short loops) {
    FLMCR1 |= FLMCR1_PSU;
    WAIT_US(WAIT_AFTER_PSU_US);
    program_pulse(loops);
    WAIT_US(WAIT_AFTER_P_US);
    FLMCR1 &= (unsigned char)~FLMCR1_PSU;
    WAIT_US(WAIT_AFTER_PSU_CLEAR_US);
}

/* Reads the block back in program-verify mode and works out, bit by bit, what the next pulse
 * must program: a data bit 0 that reads 1 is programmed again, one that reads 0 is done. A
 * bit that reads 0 where the data has 1 can only come back with an erase. */
static enum verdict verify(volatile unsigned char *flash, const unsigned char *data,
                           int early) {
    enum verdict result = VERIFIED;
    unsigned short i;
    FLMCR1 |= FLMCR1_PV;
    WAIT_US(WAIT_AFTER_PV_US);
    for (i = 0; i < BLOCK_SIZE; i += 2) {
        unsigned short word;
        unsigned char read[2];
        unsigned short k;
        flash[i] = 0xFF; /* the dummy write that starts the verify read of this word */
        WAIT_US(WAIT_AFTER_DUMMY_WRITE_US);
        word = *(volatile unsigned short *)(flash + i);
        read[0] = (unsigned char)(word >> 8);
        read[1] = (unsigned char)word;
        for (k = 0; k < 2; k++) {
            const unsigned char want = data[i + k];
            const unsigned char got = read[k];
            if (want & (unsigned char)~got) result = IMPOSSIBLE;
            reprogram[i + k] = want | (unsigned char)~got;
            if (early) additional[i + k] = want | got;
            if (reprogram[i + k] != 0xFF && result == VERIFIED) result = PENDING;
        }
    }
    FLMCR1 &= (unsigned char)~FLMCR1_PV;
    WAIT_US(WAIT_AFTER_PV_CLEAR_US);
    return result;
}

int program_block(unsigned short address, const unsigned char *data) {
    volatile unsigned char *flash = (volatile unsigned char *)address;
    enum verdict state = PENDING;
    unsigned short tries;
    unsigned short i;

    for (i = 0; i < BLOCK_SIZE; i++) reprogram[i] = data[i];
    FLMCR1 |= FLMCR1_SWE;
    WAIT_US(WAIT_AFTER_SWE_US);
    for (tries = 1; tries <= MAX_TRIES && state == PENDING; tries++) {
        const int early = tries <= PULSE_SHORT_TRIES;
        latch(flash, reprogram);
        pulse(early ? (unsigned short)PULSE_LOOPS(PULSE_SHORT_US)
                    : (unsigned short)PULSE_LOOPS(PULSE_LONG_US));
        state = verify(flash, data, early);
        if (state == VERIFIED && early) {
            /* The maker's sequence gives cells that verified within the short pulses one
             * short pulse more, for their margin. */
            latch(flash, additional);
            pulse((unsigned short)PULSE_LOOPS(PULSE_ADDITIONAL_US));
        }
        if (FLMCR2 & FLMCR2_FLER) state = IMPOSSIBLE;
    }
    FLMCR1 &= (unsigned char)~FLMCR1_SWE;
    WAIT_US(WAIT_AFTER_SWE_CLEAR_US);
    return state == VERIFIED;
}
