/* What the kernel's parts share: the hand-timed primitives of start.S and the clock they are
 * timed for. KERNEL_CLOCK_KHZ and KERNEL_CLOCK_TEXT come from the build. */
#ifndef QUILL_KERNEL_KERNEL_H
#define QUILL_KERNEL_KERNEL_H

#include "chip.h"

#if !defined(KERNEL_CLOCK_KHZ) || !defined(KERNEL_CLOCK_TEXT)
#error "build with -DKERNEL_CLOCK_KHZ=... -DKERNEL_CLOCK_TEXT=\"...\" (the board's clock)"
#endif

/* Waits are minimums, so their state counts round up; a program pulse must be exact both
 * ways, so its loop count rounds to the nearest. */
#define STATES_AT_LEAST(us) (((unsigned long)(us) * KERNEL_CLOCK_KHZ + 999) / 1000)
#define DELAY_LOOPS(us) ((STATES_AT_LEAST(us) + DELAY_LOOP_STATES - 1) / DELAY_LOOP_STATES)
#define PULSE_LOOPS(us)                                                                       \
    ((((unsigned long)(us) * KERNEL_CLOCK_KHZ + 500) / 1000 - PULSE_FIXED_STATES +            \
      DELAY_LOOP_STATES / 2) /                                                                 \
     DELAY_LOOP_STATES)
#define WAIT_US(us) delay_loops((unsigned short)DELAY_LOOPS(us))

/* A loop count of 0 would run 65536 turns. */
typedef char shortest_pulse_has_a_loop[PULSE_LOOPS(PULSE_ADDITIONAL_US) >= 1 ? 1 : -1];

void delay_loops(unsigned short n);
void program_pulse(unsigned short n);
int sci_receive(void);
void sci_send(unsigned char c);
extern unsigned long receive_budget;

#define BLOCK_SIZE 128u

/* Programs one erased 128-byte block at `address` from `data` by the program / program-verify
 * sequence; 1 when the block verifies, 0 when it cannot be made to. */
int program_block(unsigned short address, const unsigned char *data);

#endif
