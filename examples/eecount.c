/* Counts its own starts in EEPROM and shows the count on PB0.
 *
 * The start value of the counter and the blink length are EEPROM data
 * (EEMEM), so the build gives an .eep file beside the .hex file: writing
 * the .eep file sets the counter back.
 *
 * Wiring: LED with a 470 ohm resistor from PB0 to GND.
 */
#include <avr/eeprom.h>
#include <avr/io.h>
#include <stdint.h>
#include <string.h>
#include <util/delay.h>

/* EEPROM layout: a name tag, the start counter, the blink length (x 10 ms). */
static char EEMEM tag[8] = "eecount";
static uint16_t EEMEM starts = 0;
static uint8_t EEMEM blink_length = 15;

static void wait_10ms(uint8_t n)
{
    while (n--) _delay_ms(10);
}

int main(void)
{
    /* Without the tag (an erased EEPROM, or one written by another
       program) the counter and the blink length are not trusted. */
    char found[sizeof tag];
    eeprom_read_block(found, tag, sizeof tag);
    uint8_t valid = memcmp(found, "eecount", sizeof tag) == 0;

    uint16_t count = valid ? eeprom_read_word(&starts) : 0;
    ++count;
    eeprom_write_word(&starts, count);

    uint8_t length = valid ? eeprom_read_byte(&blink_length) : 15;

    DDRB |= _BV(PB0);
    for (;;) {
        /* One blink per start (at most 20), then a pause. */
        uint8_t n = count > 20 ? 20 : (uint8_t)count;
        while (n--) {
            PORTB |= _BV(PB0);
            wait_10ms(length);
            PORTB &= ~_BV(PB0);
            wait_10ms(length);
        }
        wait_10ms(200);
    }
}
