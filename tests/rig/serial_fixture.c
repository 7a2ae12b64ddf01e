/*
 * Serial-port fixture for the test rig, preloaded into every Wine process of the rig's prefix
 * (wineserver included).
 *
 * The rig's COM ports are pseudo-terminals. Wine's serial layer asks them for modem lines,
 * interrupt counters and the line status register, which a pty cannot answer, so WaitCommEvent
 * fails. This library answers those requests on pty file descriptors from small text files the
 * tests control, and emulates what a real UART driver does that a pty does not: one opener at a
 * time, output lines raised at open and dropped at close, input that arrived while the port was
 * closed is gone, any character size and parity accepted (a pty only carries 8-bit bytes and
 * refuses the rest; the frame asked for is remembered and reported back, the bytes stay 8-bit),
 * whether it is set through tcsetattr (Wine 8) or the termios2 ioctls (Wine 10, which also sets
 * the rate as BOTHER with a number: a pty keeps that as it is). It also hides the machine's real
 * serial ports (/dev/ttyS*, ttyUSB*, ttyACM*), so Wine neither maps them as COM ports nor opens
 * them. Every other descriptor, path and request goes straight to the C library.
 *
 * Files under $QUENLET_RIG_DIR/lines/ (pts<N> is /dev/pts/<N>):
 *   pts<N>      input lines that are on, e.g. "CTS DSR\n" (CTS DSR RING RLSD; BREAK and FRAME are
 *               pulses: each off->on change counts one break / one framing error). Written by tests.
 *               Its presence marks pts<N> as a COM end, which makes opens of it exclusive.
 *   pts<N>.out  output lines that are on ("DTR RTS\n"), written here for tests to check.
 *
 * QUENLET_FIXTURE_PASS=/dev/ttyUSB0:... names real serial ports that stay visible (the run script
 * maps the user's adapters that way; never the console); "*" keeps all of them visible (the
 * installed launcher's demo, which maps adapters itself, also those plugged in later).
 * QUENLET_FIXTURE_TRACE=1 logs every request on a pty, every claim, release and refusal to stderr;
 * any other value except 0 is a file the log is appended to. Without QUENLET_RIG_DIR the library does nothing at all.
 *
 * Build: gcc -O2 -Wall -Wextra -shared -fPIC -o libserialfixture.so serial_fixture.c -ldl
 * (with -m32 as well for 32-bit Wine processes: rig.sh builds both).
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

/* Unix98 pty slaves use majors 136..143, 256 minors each. */
enum { PTY_MAJOR_FIRST = 136, PTY_MAJOR_COUNT = 8, MAX_PTS = PTY_MAJOR_COUNT * 256 };
/* Descriptors above this are not tracked for counters or open claims; Wine stays far below. */
enum { MAX_TRACKED_FD = 4096 };

/* Pulse lines are not modem bits; they live above the TIOCM_* range. */
enum { LINE_BREAK = 1 << 24, LINE_FRAME = 1 << 25 };
enum { MODEM_INPUT_LINES = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR };
enum { OUTPUT_LINES = TIOCM_DTR | TIOCM_RTS };
/* Character frame bits a pty cannot hold. */
#ifndef CMSPAR
#define CMSPAR 010000000000
#endif
enum { FRAME_BITS = CSIZE | PARENB | PARODD | CMSPAR };

/* The kernel's struct termios2 (asm/termbits.h, which cannot be included beside termios.h); the
 * same layout on x86_64 and i386. */
struct kernel_termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
#define KERNEL_TCGETS2 _IOR('T', 0x2A, struct kernel_termios2)
#define KERNEL_TCSETS2 _IOW('T', 0x2B, struct kernel_termios2)
#define KERNEL_TCSETSW2 _IOW('T', 0x2C, struct kernel_termios2)
#define KERNEL_TCSETSF2 _IOW('T', 0x2D, struct kernel_termios2)

struct line_name {
    const char *name;
    int bit;
};
static const struct line_name input_line_names[] = {
    {"CTS", TIOCM_CTS}, {"DSR", TIOCM_DSR},     {"RING", TIOCM_RNG},
    {"RLSD", TIOCM_CAR}, {"BREAK", LINE_BREAK}, {"FRAME", LINE_FRAME},
};
static const struct line_name output_line_names[] = {{"DTR", TIOCM_DTR}, {"RTS", TIOCM_RTS}};

/* What this process has observed of one pty; counters are per process, as on a real driver
 * they would be per device, but only the process polling them compares successive values. */
struct pty_state {
    bool lines_seen;
    int last_lines;
    int reported_lines;  /* what TIOCMGET last answered */
    struct serial_icounter_struct counts;
    unsigned long long bytes_read;
    unsigned long long bytes_written;
    bool serial_valid;
    struct serial_struct serial;
    bool frame_valid;
    tcflag_t frame;
};

enum { MAX_PASSED_PORTS = 32 };

static struct {
    bool enabled;
    char rig_dir[1024];
    int trace_fd;
    /* Real serial ports the user mapped on purpose (QUENLET_FIXTURE_PASS): not hidden. */
    dev_t passed_ports[MAX_PASSED_PORTS];
    int passed_port_count;
    bool all_ports_passed;
    pthread_mutex_t lock;
    struct pty_state ptys[MAX_PTS];
    /* pts index + 1 of descriptors known to be ptys (a hint, re-checked before use). */
    unsigned short pty_of_fd[MAX_TRACKED_FD];
    /* pts index + 1 of COM ends this process opened and holds exclusively. */
    unsigned short claimed_fd[MAX_TRACKED_FD];
} fixture = {.trace_fd = -1, .lock = PTHREAD_MUTEX_INITIALIZER};

static int (*real_open)(const char *, int, ...);
static int (*real_open64)(const char *, int, ...);
static int (*real_openat)(int, const char *, int, ...);
static int (*real_openat64)(int, const char *, int, ...);
static int (*real_close)(int);
static int (*real_access)(const char *, int);
static int (*real_faccessat)(int, const char *, int, int);
static ssize_t (*real_read)(int, void *, size_t);
static ssize_t (*real_write)(int, const void *, size_t);
static int (*real_ioctl)(int, unsigned long, ...);
static int (*real_tcgetattr)(int, struct termios *);
static int (*real_tcsetattr)(int, int, const struct termios *);
#if defined(__i386__)
static int (*real_ioctl_time64)(int, unsigned long, ...);
#endif

/* Wrappers can run before the constructor (from other libraries' constructors). */
static void resolve_real_functions(void)
{
    if (real_ioctl) return;
    real_open = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
    real_open64 = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open64");
    real_openat = (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, "openat");
    real_openat64 = (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, "openat64");
    real_close = (int (*)(int))dlsym(RTLD_NEXT, "close");
    real_access = (int (*)(const char *, int))dlsym(RTLD_NEXT, "access");
    real_faccessat = (int (*)(int, const char *, int, int))dlsym(RTLD_NEXT, "faccessat");
    real_read = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
    real_write = (ssize_t (*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
    real_tcgetattr = (int (*)(int, struct termios *))dlsym(RTLD_NEXT, "tcgetattr");
    real_tcsetattr = (int (*)(int, int, const struct termios *))dlsym(RTLD_NEXT, "tcsetattr");
#if defined(__i386__)
    real_ioctl_time64 = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "__ioctl_time64");
#endif
    real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
}

static void trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void trace(const char *format, ...)
{
    if (fixture.trace_fd < 0) return;
    char line[512];
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    /* Read each time: a Wine process renames itself after the loader has started it. */
    char name[32] = "?";
    const int comm = real_open("/proc/self/comm", O_RDONLY | O_CLOEXEC);
    if (comm >= 0) {
        const ssize_t n = real_read(comm, name, sizeof name - 1);
        if (n > 0) name[n - 1] = '\0';
        real_close(comm);
    }
    int length = snprintf(line, sizeof line, "%lld.%06ld fixture[%d %s] ", (long long)now.tv_sec,
                          now.tv_nsec / 1000, (int)getpid(), name);
    va_list args;
    va_start(args, format);
    length += vsnprintf(line + length, sizeof line - (size_t)length, format, args);
    va_end(args);
    if (length >= (int)sizeof line - 1) length = (int)sizeof line - 2;
    line[length++] = '\n';
    const int saved_errno = errno;
    (void)!real_write(fixture.trace_fd, line, (size_t)length);
    errno = saved_errno;
}

__attribute__((constructor)) static void fixture_init(void)
{
    resolve_real_functions();
    const char *rig_dir = getenv("QUENLET_RIG_DIR");
    if (!rig_dir || !*rig_dir || strlen(rig_dir) >= sizeof fixture.rig_dir) return;
    strcpy(fixture.rig_dir, rig_dir);

    const char *trace_target = getenv("QUENLET_FIXTURE_TRACE");
    if (trace_target && *trace_target && strcmp(trace_target, "0") != 0) {
        /* A duplicate, so the program closing or reusing fd 2 cannot swallow the log. */
        fixture.trace_fd = strcmp(trace_target, "1") == 0
                               ? fcntl(2, F_DUPFD_CLOEXEC, 100)
                               : real_open(trace_target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    /* A colon-separated list of device paths, e.g. "/dev/ttyUSB0:/dev/ttyACM0". */
    const char *passed = getenv("QUENLET_FIXTURE_PASS");
    if (passed && strcmp(passed, "*") == 0) {
        fixture.all_ports_passed = true;
    } else if (passed) {
        char list[4096];
        snprintf(list, sizeof list, "%s", passed);
        char *save = NULL;
        for (char *path = strtok_r(list, ":", &save); path && fixture.passed_port_count < MAX_PASSED_PORTS;
             path = strtok_r(NULL, ":", &save)) {
            struct stat st;
            if (stat(path, &st) == 0 && S_ISCHR(st.st_mode))
                fixture.passed_ports[fixture.passed_port_count++] = st.st_rdev;
        }
    }
    fixture.enabled = true;
}

/* pts index of a pty slave, or -1 for anything else. */
static int pts_index_of(const struct stat *st)
{
    if (!S_ISCHR(st->st_mode)) return -1;
    const unsigned major_number = major(st->st_rdev);
    if (major_number < PTY_MAJOR_FIRST || major_number >= PTY_MAJOR_FIRST + PTY_MAJOR_COUNT) return -1;
    return (int)((major_number - PTY_MAJOR_FIRST) * 256 + minor(st->st_rdev));
}

static int pts_index_of_fd(int fd)
{
    struct stat st;
    const int saved_errno = errno;
    const int pts = fstat(fd, &st) == 0 ? pts_index_of(&st) : -1;
    errno = saved_errno;
    return pts;
}

static void line_file_path(char *path, size_t size, int pts, const char *suffix)
{
    snprintf(path, size, "%s/lines/pts%d%s", fixture.rig_dir, pts, suffix);
}

static int parse_lines(const char *path, const struct line_name *names, size_t name_count)
{
    char text[256];
    const int fd = real_open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const ssize_t n = real_read(fd, text, sizeof text - 1);
    real_close(fd);
    if (n <= 0) return 0;
    text[n] = '\0';

    int lines = 0;
    char *save = NULL;
    for (char *token = strtok_r(text, " \t\r\n,", &save); token; token = strtok_r(NULL, " \t\r\n,", &save))
        for (size_t i = 0; i < name_count; ++i)
            if (strcasecmp(token, names[i].name) == 0) lines |= names[i].bit;
    return lines;
}

static int read_input_lines(int pts)
{
    char path[1200];
    line_file_path(path, sizeof path, pts, "");
    return parse_lines(path, input_line_names, sizeof input_line_names / sizeof *input_line_names);
}

static int read_output_lines(int pts)
{
    char path[1200];
    line_file_path(path, sizeof path, pts, ".out");
    return parse_lines(path, output_line_names, sizeof output_line_names / sizeof *output_line_names);
}

/* Written to a temporary name and renamed, so a test never reads half a line. */
static void write_output_lines(int pts, int lines)
{
    char path[1200], temporary[1300], text[32] = "";
    line_file_path(path, sizeof path, pts, ".out");
    snprintf(temporary, sizeof temporary, "%s.%d.%lu", path, (int)getpid(), (unsigned long)pthread_self());
    for (size_t i = 0; i < sizeof output_line_names / sizeof *output_line_names; ++i) {
        if (!(lines & output_line_names[i].bit)) continue;
        if (text[0]) strcat(text, " ");
        strcat(text, output_line_names[i].name);
    }
    strcat(text, "\n");

    const int fd = real_open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool written = real_write(fd, text, strlen(text)) == (ssize_t)strlen(text);
    real_close(fd);
    if (!written || rename(temporary, path) != 0) unlink(temporary);
}

/* Reads the state file and counts the changes since this process last looked; *changed_now (if
 * given) says whether this call found any. Lock held. */
static int refresh_input_lines(int pts, bool *changed_now)
{
    struct pty_state *state = &fixture.ptys[pts];
    const int lines = read_input_lines(pts);
    if (changed_now) *changed_now = false;
    if (!state->lines_seen) {
        state->lines_seen = true;
        state->last_lines = lines;
        state->reported_lines = lines & MODEM_INPUT_LINES;
        return lines;
    }
    const int changed = lines ^ state->last_lines;
    if (changed_now) *changed_now = changed != 0;
    const int rising = changed & lines;
    if (changed & TIOCM_CTS) state->counts.cts++;
    if (changed & TIOCM_DSR) state->counts.dsr++;
    if (changed & TIOCM_RNG) state->counts.rng++;
    if (changed & TIOCM_CAR) state->counts.dcd++;
    if (rising & LINE_BREAK) state->counts.brk++;
    if (rising & LINE_FRAME) state->counts.frame++;
    state->last_lines = lines;
    return lines;
}

static bool is_emulated_request(unsigned long request)
{
    switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCGICOUNT:
    case TIOCSERGETLSR:
    case TIOCGSERIAL:
    case TIOCSSERIAL:
        return true;
    default:
        return false;
    }
}

static bool is_termios2_request(unsigned long request)
{
    return request == KERNEL_TCGETS2 || request == KERNEL_TCSETS2 || request == KERNEL_TCSETSW2 ||
           request == KERNEL_TCSETSF2;
}

static const char *request_name(unsigned long request)
{
    switch (request) {
    case KERNEL_TCGETS2: return "TCGETS2";
    case KERNEL_TCSETS2: return "TCSETS2";
    case KERNEL_TCSETSW2: return "TCSETSW2";
    case KERNEL_TCSETSF2: return "TCSETSF2";
    case TIOCMGET: return "TIOCMGET";
    case TIOCMSET: return "TIOCMSET";
    case TIOCMBIS: return "TIOCMBIS";
    case TIOCMBIC: return "TIOCMBIC";
    case TIOCGICOUNT: return "TIOCGICOUNT";
    case TIOCSERGETLSR: return "TIOCSERGETLSR";
    case TIOCGSERIAL: return "TIOCGSERIAL";
    case TIOCSSERIAL: return "TIOCSSERIAL";
    case TCGETS: return "TCGETS";
    case TCSETS: return "TCSETS";
    case TCSETSW: return "TCSETSW";
    case TCSETSF: return "TCSETSF";
    case TCFLSH: return "TCFLSH";
    case TCXONC: return "TCXONC";
    case TCSBRK: return "TCSBRK";
    case TIOCSBRK: return "TIOCSBRK";
    case TIOCCBRK: return "TIOCCBRK";
    case TIOCINQ: return "TIOCINQ";
    case TIOCOUTQ: return "TIOCOUTQ";
    case TIOCMIWAIT: return "TIOCMIWAIT";
    case TIOCEXCL: return "TIOCEXCL";
    case TIOCNXCL: return "TIOCNXCL";
    case TIOCGPTN: return "TIOCGPTN";
    case TIOCSCTTY: return "TIOCSCTTY";
    case TIOCGWINSZ: return "TIOCGWINSZ";
    default: return NULL;
    }
}

/* A 16550A-like UART, so Wine's non-standard baud-rate path divides by a real baud_base. Its
 * clock is one a divisor gives 14400, 56000, 128000 and 256000 from exactly (the rates Windows
 * names that have no B constant); at 115200 the last two would come out as 115200. */
enum { FIXTURE_BAUD_BASE = 16128000 };

static void default_serial_info(struct serial_struct *serial, int pts)
{
    memset(serial, 0, sizeof *serial);
    serial->type = PORT_16550A;
    serial->line = pts;
    serial->baud_base = FIXTURE_BAUD_BASE;
    serial->xmit_fifo_size = 16;
    serial->close_delay = 50;
    serial->closing_wait = 3000;
}

/* Answers one request the pty cannot. Lock held. */
static int emulate_request(int fd, int pts, unsigned long request, void *argument)
{
    struct pty_state *state = &fixture.ptys[pts];
    if (!argument) {
        errno = EFAULT;
        return -1;
    }
    switch (request) {
    case TIOCMGET:
        /* The lines as they are now, as a UART reports them. */
        state->reported_lines = refresh_input_lines(pts, NULL) & MODEM_INPUT_LINES;
        *(int *)argument = state->reported_lines | read_output_lines(pts);
        return 0;
    case TIOCMSET:
        write_output_lines(pts, *(const int *)argument & OUTPUT_LINES);
        return 0;
    case TIOCMBIS:
        write_output_lines(pts, read_output_lines(pts) | (*(const int *)argument & OUTPUT_LINES));
        return 0;
    case TIOCMBIC:
        write_output_lines(pts, read_output_lines(pts) & ~*(const int *)argument);
        return 0;
    case TIOCGICOUNT: {
        /* As for TIOCMGET: a change this very call finds is counted from the next call on. */
        const struct serial_icounter_struct before = state->counts;
        bool changed_now = false;
        refresh_input_lines(pts, &changed_now);
        /* rx must grow as data arrives, not only when it is read. */
        int queued = 0;
        if (real_ioctl(fd, TIOCINQ, &queued) != 0) queued = 0;
        struct serial_icounter_struct *counts = argument;
        *counts = changed_now ? before : state->counts;
        counts->rx = (int)(state->bytes_read + (unsigned)queued);
        counts->tx = (int)state->bytes_written;
        return 0;
    }
    case TIOCSERGETLSR: {
        int queued = 0;
        if (real_ioctl(fd, TIOCOUTQ, &queued) != 0) return -1;
        *(unsigned int *)argument = queued == 0 ? TIOCSER_TEMT : 0;
        return 0;
    }
    case TIOCGSERIAL:
        if (!state->serial_valid) {
            default_serial_info(&state->serial, pts);
            state->serial_valid = true;
        }
        *(struct serial_struct *)argument = state->serial;
        return 0;
    case TIOCSSERIAL:
        state->serial = *(const struct serial_struct *)argument;
        state->serial_valid = true;
        return 0;
    default:
        errno = EINVAL;
        return -1;
    }
}

static void trace_emulated(int fd, int pts, unsigned long request, const void *argument, int result)
{
    const char *name = request_name(request);
    if (result != 0) {
        trace("ioctl fd=%d pts%d %s -> error %d", fd, pts, name, errno);
    } else if (request == TIOCGICOUNT) {
        const struct serial_icounter_struct *c = argument;
        trace("ioctl fd=%d pts%d %s -> cts=%d dsr=%d rng=%d dcd=%d rx=%d tx=%d brk=%d frame=%d", fd, pts, name,
              c->cts, c->dsr, c->rng, c->dcd, c->rx, c->tx, c->brk, c->frame);
    } else if (request == TIOCGSERIAL || request == TIOCSSERIAL) {
        const struct serial_struct *serial = argument;
        trace("ioctl fd=%d pts%d %s baud_base=%d divisor=%d flags=0x%x", fd, pts, name, serial->baud_base,
              serial->custom_divisor, (unsigned)serial->flags);
    } else {
        trace("ioctl fd=%d pts%d %s 0x%x", fd, pts, name, *(const unsigned int *)argument);
    }
}

/* The frame asked for is kept aside and the pty gets 8 bits without parity, which it holds. */
static tcflag_t cflag_a_pty_holds(tcflag_t cflag)
{
    return (cflag & ~(tcflag_t)FRAME_BITS) | CS8;
}

static void remember_frame(int pts, tcflag_t cflag)
{
    pthread_mutex_lock(&fixture.lock);
    fixture.ptys[pts].frame = cflag & FRAME_BITS;
    fixture.ptys[pts].frame_valid = true;
    pthread_mutex_unlock(&fixture.lock);
}

/* Puts the frame last asked for back into what the pty reports. */
static void report_frame(int pts, tcflag_t *cflag)
{
    pthread_mutex_lock(&fixture.lock);
    const struct pty_state *state = &fixture.ptys[pts];
    if (state->frame_valid) *cflag = (*cflag & ~(tcflag_t)FRAME_BITS) | state->frame;
    pthread_mutex_unlock(&fixture.lock);
}

/* TCGETS2 and the TCSETS2 family, as tcgetattr and tcsetattr below. */
static int termios2_request(int fd, int pts, unsigned long request, struct kernel_termios2 *termios)
{
    const char *name = request_name(request);
    if (!termios) return real_ioctl(fd, request, termios);
    if (request == KERNEL_TCGETS2) {
        const int result = real_ioctl(fd, request, termios);
        const int saved_errno = errno;
        if (result == 0) report_frame(pts, &termios->c_cflag);
        trace("ioctl fd=%d pts%d %s -> %d cflag=0%o", fd, pts, name, result, (unsigned)termios->c_cflag);
        errno = saved_errno;
        return result;
    }
    struct kernel_termios2 carried = *termios;
    carried.c_cflag = cflag_a_pty_holds(carried.c_cflag);
    const int result = real_ioctl(fd, request, &carried);
    const int saved_errno = errno;
    if (result == 0) remember_frame(pts, termios->c_cflag);
    trace("ioctl fd=%d pts%d %s cflag=0%o speed=%u/%u (frame 0%o kept aside) -> %d", fd, pts, name,
          (unsigned)termios->c_cflag, (unsigned)termios->c_ispeed, (unsigned)termios->c_ospeed,
          (unsigned)(termios->c_cflag & FRAME_BITS), result);
    errno = saved_errno;
    return result;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    resolve_real_functions();

    if (!fixture.enabled ||
        (!is_emulated_request(request) && !is_termios2_request(request) && fixture.trace_fd < 0))
        return real_ioctl(fd, request, argument);
    const int pts = pts_index_of_fd(fd);
    if (pts < 0) return real_ioctl(fd, request, argument);
    if (fd >= 0 && fd < MAX_TRACKED_FD) fixture.pty_of_fd[fd] = (unsigned short)(pts + 1);
    if (is_termios2_request(request)) return termios2_request(fd, pts, request, argument);

    if (!is_emulated_request(request)) {
        const char *name = request_name(request);
        const int result = real_ioctl(fd, request, argument);
        const int saved_errno = errno;
        if (name)
            trace("ioctl fd=%d pts%d %s -> %d (passed through)", fd, pts, name, result);
        else
            trace("ioctl fd=%d pts%d 0x%lx -> %d (passed through)", fd, pts, request, result);
        errno = saved_errno;
        return result;
    }

    pthread_mutex_lock(&fixture.lock);
    const int result = emulate_request(fd, pts, request, argument);
    const int saved_errno = errno;
    pthread_mutex_unlock(&fixture.lock);
    errno = saved_errno;
    if (fixture.trace_fd >= 0) trace_emulated(fd, pts, request, argument, result);
    return result;
}

#if defined(__i386__)
/* 32-bit Wine is built with a 64-bit time_t, so glibc routes its ioctl calls to this name. The
 * serial requests and every request on a pty carry no time values: they take the same path as
 * ioctl(). Everything else keeps the 64-bit time layout it was issued with. */
int __ioctl_time64(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    resolve_real_functions();

    if (is_emulated_request(request) || (fixture.enabled && pts_index_of_fd(fd) >= 0))
        return ioctl(fd, request, argument);
    return real_ioctl_time64(fd, request, argument);
}
#endif

/* glibc issues the termios ioctls itself, so these two are wrapped at the function level. */
int tcgetattr(int fd, struct termios *termios)
{
    resolve_real_functions();
    const int result = real_tcgetattr(fd, termios);
    if (result != 0 || !fixture.enabled) return result;
    const int pts = pts_index_of_fd(fd);
    if (pts >= 0) report_frame(pts, &termios->c_cflag);
    return result;
}

int tcsetattr(int fd, int action, const struct termios *termios)
{
    resolve_real_functions();
    const int pts = fixture.enabled && termios ? pts_index_of_fd(fd) : -1;
    if (pts < 0) return real_tcsetattr(fd, action, termios);

    struct termios carried = *termios;
    carried.c_cflag = cflag_a_pty_holds(carried.c_cflag);
    const int result = real_tcsetattr(fd, action, &carried);
    const int saved_errno = errno;
    if (result == 0) remember_frame(pts, termios->c_cflag);
    trace("tcsetattr fd=%d pts%d cflag=0%o (frame 0%o kept aside) -> %d", fd, pts, (unsigned)termios->c_cflag,
          (unsigned)(termios->c_cflag & FRAME_BITS), result);
    errno = saved_errno;
    return result;
}

/* The machine's real serial ports are hidden from Wine: /dev/ttyS0 is the console here. Wine's
 * mount manager probes /dev/ttyS<n> (and ttyUSB, ttyACM) with access() and links COM1 up to what
 * it finds, and a stale com link would make wineserver open the device; both see "no such file". */
static bool is_real_serial_port(int dirfd, const char *path)
{
    struct stat st;
    const int saved_errno = errno;
    const bool found = fstatat(dirfd, path, &st, 0) == 0;
    errno = saved_errno;
    if (!found || !S_ISCHR(st.st_mode) || fixture.all_ports_passed) return false;
    for (int i = 0; i < fixture.passed_port_count; ++i)
        if (fixture.passed_ports[i] == st.st_rdev) return false;
    const unsigned major_number = major(st.st_rdev);
    /* ttyS<n> is major 4 from minor 64 up; ttyACM is 166, ttyUSB 188. */
    return (major_number == 4 && minor(st.st_rdev) >= 64) || major_number == 166 || major_number == 188;
}

static bool hide_real_serial_port(const char *operation, int dirfd, const char *path)
{
    if (!fixture.enabled || !path || !is_real_serial_port(dirfd, path)) return false;
    trace("%s %s refused: real serial port", operation, path);
    errno = ENOENT;
    return true;
}

int access(const char *path, int mode)
{
    resolve_real_functions();
    if (hide_real_serial_port("access", AT_FDCWD, path)) return -1;
    return real_access(path, mode);
}

int faccessat(int dirfd, const char *path, int mode, int flags)
{
    resolve_real_functions();
    if (hide_real_serial_port("faccessat", dirfd, path)) return -1;
    return real_faccessat(dirfd, path, mode, flags);
}

/* One opener at a time on a COM end (a pty with a state file), as Windows enforces for serial
 * ports. The lock is on the open file description, so it lasts until the last copy of the
 * descriptor is closed, including the copies wineserver hands to the application. */
static int claim_com_end(int fd)
{
    if (fd < 0 || !fixture.enabled) return fd;
    const int pts = pts_index_of_fd(fd);
    if (pts < 0) return fd;

    char path[1200];
    line_file_path(path, sizeof path, pts, "");
    if (real_access(path, F_OK) != 0) return fd;

    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return fd;
        real_close(fd);
        trace("open pts%d refused: already open", pts);
        errno = EACCES;
        return -1;
    }
    if (fd < MAX_TRACKED_FD) fixture.claimed_fd[fd] = (unsigned short)(pts + 1);
    /* A UART drops what arrives while nobody has it open, and raises DTR and RTS at open. */
    const int flush_input = TCIFLUSH;
    real_ioctl(fd, TCFLSH, flush_input);
    pthread_mutex_lock(&fixture.lock);
    write_output_lines(pts, TIOCM_DTR | TIOCM_RTS);
    pthread_mutex_unlock(&fixture.lock);
    trace("open pts%d fd=%d claimed", pts, fd);
    return fd;
}

static bool open_needs_mode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

/* The optional third argument of the open family, present only when the flags need it. */
#define READ_MODE_ARGUMENT(mode, flags)      \
    mode_t mode = 0;                         \
    if (open_needs_mode(flags)) {            \
        va_list mode_args;                   \
        va_start(mode_args, flags);          \
        mode = va_arg(mode_args, mode_t);    \
        va_end(mode_args);                   \
    }

int open(const char *path, int flags, ...)
{
    resolve_real_functions();
    READ_MODE_ARGUMENT(mode, flags)
    if (hide_real_serial_port("open", AT_FDCWD, path)) return -1;
    return claim_com_end(real_open(path, flags, mode));
}

int open64(const char *path, int flags, ...)
{
    resolve_real_functions();
    READ_MODE_ARGUMENT(mode, flags)
    if (hide_real_serial_port("open", AT_FDCWD, path)) return -1;
    return claim_com_end(real_open64(path, flags, mode));
}

int openat(int dirfd, const char *path, int flags, ...)
{
    resolve_real_functions();
    READ_MODE_ARGUMENT(mode, flags)
    if (hide_real_serial_port("openat", dirfd, path)) return -1;
    return claim_com_end(real_openat(dirfd, path, flags, mode));
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    resolve_real_functions();
    READ_MODE_ARGUMENT(mode, flags)
    if (hide_real_serial_port("openat", dirfd, path)) return -1;
    return claim_com_end(real_openat64(dirfd, path, flags, mode));
}

int close(int fd)
{
    resolve_real_functions();
    if (fixture.enabled && fd >= 0 && fd < MAX_TRACKED_FD) {
        fixture.pty_of_fd[fd] = 0;
        const int claimed = fixture.claimed_fd[fd];
        if (claimed) {
            fixture.claimed_fd[fd] = 0;
            /* Last close of a UART drops DTR and RTS (HUPCL). */
            pthread_mutex_lock(&fixture.lock);
            write_output_lines(claimed - 1, 0);
            pthread_mutex_unlock(&fixture.lock);
            trace("close pts%d fd=%d released", claimed - 1, fd);
        }
    }
    return real_close(fd);
}

/* Byte counters for TIOCGICOUNT; only descriptors already seen as ptys are checked. */
static void count_transfer(int fd, ssize_t bytes, bool is_read)
{
    if (bytes <= 0 || !fixture.enabled || fd < 0 || fd >= MAX_TRACKED_FD || !fixture.pty_of_fd[fd]) return;
    const int pts = pts_index_of_fd(fd);
    if (pts < 0) {
        fixture.pty_of_fd[fd] = 0;
        return;
    }
    pthread_mutex_lock(&fixture.lock);
    if (is_read)
        fixture.ptys[pts].bytes_read += (unsigned long long)bytes;
    else
        fixture.ptys[pts].bytes_written += (unsigned long long)bytes;
    pthread_mutex_unlock(&fixture.lock);
}

ssize_t read(int fd, void *buffer, size_t size)
{
    resolve_real_functions();
    const ssize_t result = real_read(fd, buffer, size);
    const int saved_errno = errno;
    count_transfer(fd, result, true);
    errno = saved_errno;
    return result;
}

ssize_t write(int fd, const void *buffer, size_t size)
{
    resolve_real_functions();
    const ssize_t result = real_write(fd, buffer, size);
    const int saved_errno = errno;
    count_transfer(fd, result, false);
    errno = saved_errno;
    return result;
}
