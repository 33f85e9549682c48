/* The H8/3694's registers and the flash programming figures the kernel relies on.
 *
 * Each value says how sure it is: "documented" (the chip's own manual, confirmed by a second
 * source), "sibling" (a chip of the same flash generation; the H8/3694's own figure was not
 * found) or "inferred". Correct the sibling and inferred ones here against a real chip. */
#ifndef QUILL_KERNEL_CHIP_H
#define QUILL_KERNEL_CHIP_H

#ifndef __ASSEMBLER__
#define REG8(address) (*(volatile unsigned char *)(address))
#endif

/* SCI3, the line in boot mode (documented); start.S reaches it. The boot ROM leaves SMR, BRR
 * and SCR3 set for the bit rate it matched (inferred), so the kernel never writes them. */
#define SCI3_TDR 0xFFAB
#define SCI3_SSR 0xFFAC
#define SCI3_RDR 0xFFAD
#define SSR_TDRE_BIT 7
#define SSR_RDRF_BIT 6
#define SSR_RECEIVE_FLAGS 0x78 /* RDRF OER FER PER */

/* Flash control (documented). */
#define FLMCR1_ADDR 0xFF90
#define FLMCR1_P_BIT 0
#ifndef __ASSEMBLER__
#define FLMCR1 REG8(FLMCR1_ADDR)
#define FLMCR1_SWE 0x40
#define FLMCR1_PSU 0x10
#define FLMCR1_PV 0x04
#define FLMCR1_P 0x01
#define FLMCR2 REG8(0xFF91)
#define FLMCR2_FLER 0x80
#define FENR REG8(0xFF9B)
#define FENR_FLSHE 0x80
#endif

/* Memory map (documented); the RAM and where the boot ROM puts the kernel are in kernel.ld. */
#define FLASH_SIZE 0x8000u

/* The program / program-verify sequence: waits in microseconds (sibling). */
#define WAIT_AFTER_SWE_US 1
#define WAIT_AFTER_PSU_US 50
#define WAIT_AFTER_P_US 5
#define WAIT_AFTER_PSU_CLEAR_US 5
#define WAIT_AFTER_PV_US 4
#define WAIT_AFTER_DUMMY_WRITE_US 2
#define WAIT_AFTER_PV_CLEAR_US 2
#define WAIT_AFTER_SWE_CLEAR_US 100

/* Pulse widths in microseconds and the tries they belong to (sibling). */
#define PULSE_SHORT_US 30      /* tries 1 to PULSE_SHORT_TRIES */
#define PULSE_LONG_US 200      /* later tries */
#define PULSE_ADDITIONAL_US 10 /* the additional programming after an early verify */
#define PULSE_SHORT_TRIES 6
#define MAX_TRIES_ALLOWED 1000

/* Instruction timing, in states, of the kernel's own loops (inferred from the programming
 * manual's tables: every on-chip access takes 2 states, a conditional branch fetches twice).
 * start.S holds the loops these describe. */
#define DELAY_LOOP_STATES 6  /* dec.w, bne */
#define PULSE_FIXED_STATES 8 /* the bclr that ends a pulse, from its start to its write */
#define POLL_LOOP_STATES 16  /* mov.b, and.b, bne, dec.l, bne */

#endif
