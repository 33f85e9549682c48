/* The Quill kernel: a flash-writing program for the H8/3694's serial boot mode. The boot ROM
 * has erased the flash, loaded this program to H'F780 and left SCI3 at the bit rate it
 * matched. A CR wakes the kernel; it answers with its banner and the prompt, then takes one
 * 137-byte block record at a time and answers each with one character. */
#include "kernel.h"

#define RECORD_SIZE 137u
#define RECORD_ADDRESS 4u
#define RECORD_DATA 6u
#define RECORD_CHECKSUM 134u
#define RECORD_HEADER 'A'
#define RECORD_END '\r'
#define LAST_BLOCK_ADDRESS 0x7F80u
#define WAKE_UP '\r'

#define ANSWER_ACCEPTED '>'
#define ANSWER_BAD_HEADER ':'
#define ANSWER_BAD_END 'L'
#define ANSWER_BAD_CHECKSUM 'S'
#define ANSWER_UNALIGNED 'A'
#define ANSWER_OUT_OF_RANGE 'W'
#define ANSWER_WRITTEN_TWICE 'D'
#define ANSWER_TIME_OUT 'T'
#define ANSWER_PROGRAM_FAILED 'Z'

/* A record must be whole within 5 s of its first byte. */
#define RECORD_TIME_OUT_MS 5000ul
#define RECORD_TIME_OUT_POLLS (RECORD_TIME_OUT_MS * KERNEL_CLOCK_KHZ / POLL_LOOP_STATES)

/* The host gives the banner and the prompt 100 ms after its CR; at 2400 bit/s that is room
 * for about 22 characters, so the build keeps the banner short. */
static const char banner[] = KERNEL_BANNER "\r\n";

unsigned long receive_budget;
static unsigned char record[RECORD_SIZE];
/* One bit per block: written since the boot ROM's erase. */
static unsigned char written[FLASH_SIZE / BLOCK_SIZE / 8];

static void send_text(const char *text) {
    while (*text) sci_send((unsigned char)*text++);
}

static unsigned char next_byte_without_limit(void) {
    int c;
    do {
        receive_budget = 0;
        c = sci_receive();
    } while (c < 0);
    return (unsigned char)c;
}

/* 1 when a whole record came within its time, 0 when it stopped short. */
static int receive_record(void) {
    unsigned short i;
    record[0] = next_byte_without_limit();
    receive_budget = RECORD_TIME_OUT_POLLS;
    for (i = 1; i < RECORD_SIZE; i++) {
        const int c = sci_receive();
        if (c < 0) return 0;
        record[i] = (unsigned char)c;
    }
    return 1;
}

static unsigned short record_address(void) {
    return (unsigned short)(record[RECORD_ADDRESS] << 8 | record[RECORD_ADDRESS + 1]);
}

/* The 16-bit sum of every byte before the checksum and the checksum word is 0. */
static int checksum_sound(void) {
    unsigned short sum = (unsigned short)(record[RECORD_CHECKSUM] << 8 |
                                          record[RECORD_CHECKSUM + 1]);
    unsigned short i;
    for (i = 0; i < RECORD_CHECKSUM; i++) sum += record[i];
    return sum == 0;
}

static int blank(const unsigned char *data) {
    unsigned short i;
    for (i = 0; i < BLOCK_SIZE; i++)
        if (data[i] != 0xFF) return 0;
    return 1;
}

/* The form of the record first, then where it goes, then whether the flash can still take
 * it: the first fault found is the answer. */
static char take_record(void) {
    unsigned short address;
    unsigned short block;
    unsigned char bit;
    const unsigned char *data = record + RECORD_DATA;

    if (record[0] != RECORD_HEADER) return ANSWER_BAD_HEADER;
    if (record[RECORD_SIZE - 1] != RECORD_END) return ANSWER_BAD_END;
    if (!checksum_sound()) return ANSWER_BAD_CHECKSUM;
    address = record_address();
    if (address % BLOCK_SIZE != 0) return ANSWER_UNALIGNED;
    if (address > LAST_BLOCK_ADDRESS) return ANSWER_OUT_OF_RANGE;
    block = address / BLOCK_SIZE;
    bit = (unsigned char)(1u << (block % 8));
    if (written[block / 8] & bit) return ANSWER_WRITTEN_TWICE;
    written[block / 8] |= bit;
    /* An erased block already holds all H'FF: a pulse would program nothing. */
    if (blank(data)) return ANSWER_ACCEPTED;
    return program_block(address, data) ? ANSWER_ACCEPTED : ANSWER_PROGRAM_FAILED;
}

int main(void) {
    FENR |= FENR_FLSHE;
    while (next_byte_without_limit() != WAKE_UP) {
    }
    send_text(banner);
    sci_send(ANSWER_ACCEPTED);
    for (;;) sci_send(receive_record() ? (unsigned char)take_record() : ANSWER_TIME_OUT);
}
