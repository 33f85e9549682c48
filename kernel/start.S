/* Start-up and the kernel's timed loops: the state counts in chip.h describe these exact
 * instruction sequences, so they are written by hand rather than left to the compiler. */
#include "chip.h"

	.h8300hn

/* The boot ROM branches to the first byte it stored, H'F780. */
	.section .start,"x"
	.global _start
_start:
	mov.w	#_stack_top, r7
	orc	#0x80, ccr		/* no interrupts: nothing may run from flash while SWE is set */
	mov.w	#_bss_start, r0	/* the boot ROM loads only the image: clear what lies behind it */
	mov.w	#_bss_end, r1
	sub.b	r2l, r2l
1:	cmp.w	r1, r0
	bhs	2f
	mov.b	r2l, @er0
	inc.w	#1, r0
	bra	1b
2:	jsr	@_main
3:	bra	3b

	.section .text

/* void delay_loops(unsigned short n): n (at least 1) turns of DELAY_LOOP_STATES each. */
	.global _delay_loops
_delay_loops:
1:	dec.w	#1, r0
	bne	1b
	rts

/* void program_pulse(unsigned short n): FLMCR1.P set for DELAY_LOOP_STATES * n +
 * PULSE_FIXED_STATES states, write to write. The set and the clear are the same instruction,
 * so it does not matter at which state of an instruction its write lands. */
	.global _program_pulse
_program_pulse:
	bset	#FLMCR1_P_BIT, @FLMCR1_ADDR:8
1:	dec.w	#1, r0
	bne	1b
	bclr	#FLMCR1_P_BIT, @FLMCR1_ADDR:8
	rts

/* int sci_receive(void): the next byte from the line, or -1 once _receive_budget polls of
 * POLL_LOOP_STATES each have passed without one (a budget of 0 lasts 2^32 polls). The budget
 * left is kept, so that one budget can time a whole record. A byte with a framing or parity
 * error is taken as it is, and the record's checksum refuses it; the error flags are cleared
 * because SCI3 stops receiving while any of them is set. */
	.global _sci_receive
_sci_receive:
	mov.l	@_receive_budget, er1
1:	mov.b	@SCI3_SSR:8, r2l
	and.b	#SSR_RECEIVE_FLAGS, r2l
	bne	2f
	dec.l	#1, er1
	bne	1b
	mov.l	er1, @_receive_budget
	mov.w	#-1, r0
	rts
2:	mov.b	@SCI3_RDR:8, r0l
	mov.b	@SCI3_SSR:8, r2h
	and.b	#~SSR_RECEIVE_FLAGS, r2h	/* a flag is cleared by writing 0 after reading 1 */
	mov.b	r2h, @SCI3_SSR:8
	btst	#SSR_RDRF_BIT, r2l
	beq	1b			/* an overrun alone: the byte was lost, keep waiting */
	mov.l	er1, @_receive_budget
	extu.w	r0
	rts

/* void sci_send(unsigned char c): waits until the transmitter takes another byte. Writing TDR
 * clears TDRE. */
	.global _sci_send
_sci_send:
1:	btst	#SSR_TDRE_BIT, @SCI3_SSR:8
	beq	1b
	mov.b	r0l, @SCI3_TDR:8
	rts
