#include "platform/vsporttermios.h"

// termios2 lives in the kernel headers only; they clash with <termios.h>,
// so this file uses them alone.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

constexpr unsigned kExtproc = 0200000;

int dataBitsOf(const struct termios2 &t)
{
    switch (t.c_cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

void makeRaw(struct termios2 &t)
{
    t.c_iflag &= ~unsigned(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~unsigned(OPOST);
    t.c_lflag &= ~unsigned(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void setSpeed(struct termios2 &t, int baudRate)
{
    t.c_cflag &= ~unsigned(CBAUD);
    t.c_cflag |= BOTHER;
    t.c_ispeed = unsigned(baudRate);
    t.c_ospeed = unsigned(baudRate);
}

} // namespace

bool vsportReadLine(int fd, VSPortLine *line)
{
    struct termios2 t
    {
    };
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    line->baudRate = int(t.c_ospeed);
    line->dataBits = dataBitsOf(t);
    line->stopBits = (t.c_cflag & CSTOPB) ? (line->dataBits == 5 ? 1 : 2) : 0;
    if (!(t.c_cflag & PARENB))
        line->parity = 0;
    else if (t.c_cflag & CMSPAR)
        line->parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
        line->parity = (t.c_cflag & PARODD) ? 1 : 2;
    line->extproc = (t.c_lflag & kExtproc) != 0;
    return true;
}

bool vsportWriteLine(int fd, int baudRate, int dataBits, int parity, int stopBits)
{
    struct termios2 t
    {
    };
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    makeRaw(t);
    setSpeed(t, baudRate);
    t.c_cflag &= ~unsigned(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    switch (dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    switch (parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (stopBits != 0)
        t.c_cflag |= CSTOPB;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool vsportSetDefaults(int fd, bool keepSpeedAndFraming)
{
    struct termios2 t
    {
    };
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    makeRaw(t);
    t.c_lflag |= kExtproc;
    if (!keepSpeedAndFraming) {
        setSpeed(t, 9600);
        t.c_cflag &= ~unsigned(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        t.c_cflag |= CS8;
    }
    return ioctl(fd, TCSETS2, &t) == 0;
}
