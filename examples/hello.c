/* Sends a greeting from flash over the UART at 9600 baud, once a second.
 *
 * Wiring: TXD (PD1) through a level shifter (MAX232) to the PC's RXD.
 * The ATmega8 runs on its internal RC oscillator at 8 MHz (fuse low byte
 * E4, written by hello-atmega8.scr after the program); the AT90S2313 on a
 * 4 MHz crystal. See the Makefile for the clock each build assumes.
 */
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <util/delay.h>

#define BAUD 9600
#define UBRR_VALUE ((F_CPU + 8UL * BAUD) / (16UL * BAUD) - 1)

static const char greeting[] PROGMEM = "Hello from the AVR!\r\n";

static void uart_init(void)
{
#if defined(UCSRB)
    UBRRH = (uint8_t)(UBRR_VALUE >> 8);
    UBRRL = (uint8_t)UBRR_VALUE;
    UCSRB = _BV(TXEN);
#else
    UBRR = (uint8_t)UBRR_VALUE;
    UCR = _BV(TXEN);
#endif
}

static void uart_put(char c)
{
#if defined(UCSRA)
    loop_until_bit_is_set(UCSRA, UDRE);
#else
    loop_until_bit_is_set(USR, UDRE);
#endif
    UDR = c;
}

int main(void)
{
    uart_init();
    for (;;) {
        for (const char *p = greeting; pgm_read_byte(p); ++p) uart_put((char)pgm_read_byte(p));
        for (uint8_t i = 0; i < 100; ++i) _delay_ms(10);
    }
}
