/* Blinks a LED on PB0 in a rhythm taken from a table in flash.
 *
 * Wiring: LED with a 470 ohm resistor from PB0 to GND.
 * Builds for the ATmega8 (1 MHz internal RC as delivered) and the
 * AT90S2313 (4 MHz crystal); see the Makefile.
 */
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <stdint.h>
#include <util/delay.h>

/* On and off times in units of 50 ms: short, short, long, pause. */
static const uint8_t rhythm[] PROGMEM = {2, 4, 2, 4, 10, 4, 0, 20};

static void wait_units(uint8_t units)
{
    while (units--) _delay_ms(50);
}

int main(void)
{
    DDRB |= _BV(PB0);
    for (;;) {
        for (uint8_t i = 0; i < sizeof rhythm; i += 2) {
            uint8_t on = pgm_read_byte(&rhythm[i]);
            uint8_t off = pgm_read_byte(&rhythm[i + 1]);
            if (on) {
                PORTB |= _BV(PB0);
                wait_units(on);
            }
            PORTB &= ~_BV(PB0);
            wait_units(off);
        }
    }
}
