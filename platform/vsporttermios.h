#pragma once

// Line settings of a terminal, read and written through termios2 so that
// rates without a Bxxx constant pass through unchanged.
struct VSPortLine
{
    int baudRate = 0;
    int dataBits = 8;
    // Windows serial driver codes: stop bits 0 = 1, 1 = 1.5, 2 = 2;
    // parity 0 none, 1 odd, 2 even, 3 mark, 4 space.
    int stopBits = 0;
    int parity = 0;
    bool extproc = false;
};

bool vsportReadLine(int fd, VSPortLine *line);
// Sets rate and framing on a terminal in raw mode, as a serial program would.
bool vsportWriteLine(int fd, int baudRate, int dataBits, int parity, int stopBits);
// Raw, 9600 8N1, receiver on, and EXTPROC so that packet mode reports
// every settings change of the slave on the master.
bool vsportSetDefaults(int fd, bool keepSpeedAndFraming);
