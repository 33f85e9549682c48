	.h8300hn
	.text
	nop
	mov.b r0h,r1l
	mov.w e0,r1
	mov.l er2,er3
	mov.b #0x12,r3h
	mov.w #0x1234,e5
	mov.l #0x12345678,er6
	mov.b @er1,r2l
	mov.w r3,@er4
	mov.l @er5,er6
	mov.l er6,@er5
	mov.b @(0x10:16,er1),r0l
	mov.b @(-2:16,er1),r0l
	mov.w r1,@(0x1234:24,er2)
	mov.l @(0x12345:24,er3),er1
	mov.b @er1+,r2h
	mov.w r2,@-er7
	mov.l @er7+,er0
	mov.l er0,@-er7
	mov.b @0xf0:8,r1h
	mov.b r1h,@0xa8:8
	mov.w @0xff80:16,r0
	mov.w @0x1234:24,r0
	mov.l er1,@0x1234:16
	push.w r1
	pop.l er2
	add.b #1,r0l
	add.b r1h,r2l
	add.w #0x10,r1
	add.l #0x10000,er1
	add.l er1,er2
	adds #1,er0
	adds #4,er0
	subs #2,er1
	inc.b r0l
	inc.w #2,r1
	dec.l #1,er1
	addx #5,r1l
	subx r1l,r2h
	cmp.b #0xff,r0l
	cmp.l er0,er1
	neg.w r1
	not.l er2
	exts.w r1
	extu.l er1
	daa r0l
	das r0h
	mulxu.b r0l,r1
	mulxu.w r1,er2
	mulxs.b r0l,r1
	divxs.w r1,er2
	divxu.b r0l,r1
	and.b #0x0f,r0l
	and.w r1,r2
	or.l #1,er1
	xor.l er1,er2
	shll.b r0l
	shal.w r1
	shlr.l er2
	shar.b r0h
	rotl.w r1
	rotr.l er1
	rotxl.b r0l
	rotxr.w e1
	bset #3,r0l
	bset r1h,r0l
	bclr #7,@er1
	bnot r1l,@0xa8:8
	btst #6,@0xac:8
	bld #1,r0l
	bild #2,@er3
	bst #3,@0xd0:8
	bist #4,r1h
	band #5,r1h
	biand #5,@er1
	bor #0,r1h
	bxor #1,@0xff:8
	bixor #1,r2l
	bior #2,@er2
l1:	bra l1
	bne l1
	beq l2
	bhi l2
	bsr l2
	bsr l3
l2:	jmp @er1
	jmp @0x1234:24
	jmp @@0x10:8
	jsr @er2
	jsr @0xf780:24
	jsr @@0x20:8
	rts
	rte
	trapa #2
	sleep
	ldc #0x80,ccr
	ldc r1l,ccr
	stc ccr,r1h
	andc #0x7f,ccr
	orc #0x80,ccr
	xorc #1,ccr
	ldc @er1,ccr
	stc ccr,@-er7
	ldc @(2:16,er1),ccr
	ldc @0x1234:16,ccr
	stc ccr,@(0x123456:24,er2)
	ldc @er7+,ccr
	stc ccr,@0x1234:24
	eepmov.b
	eepmov.w
	.space 300
l3:	bra l3
	movfpe @0x1234:16,r1l
	movtpe r1l,@0x1234:16
