#!/usr/bin/env python3
"""Writes the golden RAM1, RAM2 and RAM3 images of the editor tests.

Every field holds a value its control can show, except the edge values listed in EDGES, which
tests/tst_config_pages.cpp expects to come back changed. Carried bytes hold a counting pattern.
Run it only to change the images on purpose; the tests read the committed files."""
import struct, pathlib

here = pathlib.Path(__file__).parent

def image(size):
    return bytearray((i * 37 + 11) & 0xFF for i in range(size))

def put(img, off, fmt, *vals):
    struct.pack_into('<' + fmt, img, off, *vals)

r2 = image(314)
put(r2, 2, '6f', 1.0, 40.0, 1.5, 40.0, 1.0, 200000.0)      # Ratio; the last is beyond 100000
put(r2, 26, '3f', 0.25, -0.1, 1.4)                          # Fazistolas
put(r2, 38, 'f', 0.02)                                      # Zajzar: 2 %
put(r2, 42, '2f', -12.5, 207.0)                             # DoutLowLimit[0..1]
put(r2, 58, '2f', 100.0, 253.25)                            # DoutHighLimit[0..1]
put(r2, 74, '2f', 1.0, 2.5)                                 # DoutHysteresis[0..1]
put(r2, 90, '2f', -1000000.0, 0.0)                          # AnValueFrom[0..1]
put(r2, 106, '2f', 100000.0, 300.0)                         # AnValueTo[0..1]
put(r2, 138, '2I', 0x0003F000, 0x000ABCDE)                  # DoutErrormask1[0..1]
put(r2, 154, 'I', 0x800FF1FF)                               # LedErrorMask: bit 31 has no lamp
put(r2, 158, '4I', 1500, 4294967295, 0, 123456)             # MaxEP
put(r2, 174, 'H', 3)                                        # IntegrationLength: 240 ms
put(r2, 176, 'H', 5)                                        # Elrendezes
put(r2, 178, 'H', 0x01E3)                                   # DinPolarity: the high byte is written 0
put(r2, 180, 'H', 15)                                       # Energy_sampletime
put(r2, 182, '2H', 10, 60000)                               # DoutImpEgyenertek[0..1]
put(r2, 190, '2H', 100, 2000)                               # DoutImpSzelesseg[0..1]
put(r2, 198, '2H', 0, 150)                                  # DoutImpSzunet[0..1]
put(r2, 206, '2H', 4000, 0)                                 # PWMFrommA[0..1]
put(r2, 214, '2H', 20000, 30000)                            # PWMTomA[0..1]
put(r2, 222, '2H', 20100, 21000)                            # PWMErrormA[0..1]
put(r2, 230, '2H', 34, 0)                                   # AnAssigned[0..1]
put(r2, 278, 'H', 150)                                      # MB01Timeout: 1.5 s
put(r2, 280, '2B', 9, 3)                                    # DoutFunction: 9 is outside the list
put(r2, 284, '2B', 0, 1)                                    # DoutPolarity
put(r2, 288, '2B', 12, 9)                                   # DoutAssign: output 2 watches "L1 P"
put(r2, 292, '2B', 0, 2)                                    # DoutLimitType
put(r2, 296, '6B', 1, 250, 11, 4, 2, 20)                    # MB01Type Addr(beyond 240) Baud Parity Stopbits Delay
put(r2, 302, '2B', 1, 0)                                    # PWMType
put(r2, 306, '2B', 3, 1)                                    # PWMMode
put(r2, 311, 'B', 0xFF)                                     # HarmEnabled: bits 6 and 7 are written 0
(here / 'ram2.bin').write_bytes(r2)

r3 = image(154)
put(r3, 2, '2B', 23, 0)                                     # GyartasiEv, GyartasiHo (0: below the editor)
put(r3, 4, 'I', 123456789)                                  # Gyartasiszam
put(r3, 8, 'H', 0x21)                                       # Modulconfig: "2 kimenet", "RS485 Modbus"
put(r3, 26, 'h', 150)                                       # Adhist
put(r3, 28, '6h', -5, 7, -200, 200, 0, 300)                 # Offset: the last is beyond 200
put(r3, 52, '6f', 230.0, 5.0, 400.5, 2.5, 0.0, 10.0)        # Calrms
put(r3, 112, '6f', 0.12, -0.05, 2.54, -2.54, 0.0, 1.0)      # Delay
(here / 'ram3.bin').write_bytes(r3)

r1 = image(212)
put(r1, 2, '4q', 1234567, -1, 0, 9223372036854775807)      # EPplus
put(r1, 34, '4q', -9223372036854775808, 1000, 999, 5)       # EPminus
put(r1, 66, '4q', 42, 0, -1234567, 1)                       # EQplus
put(r1, 98, '4q', 7, 8, 9, 10)                              # EQminus
(here / 'ram1.bin').write_bytes(r1)
