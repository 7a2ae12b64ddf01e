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
 *   pts<N>.mode how the COM end behaves, one word, written by tests (read where the I/O happens,
 *               at most every 100 ms, so a change shows within that):
 *                 instant    (also when the file is missing or empty) the pty as it is: a write
 *                            takes any amount at once;
 *                 line-rate  a write passes at most 20 ms of line time (always one character at
 *                            least) and returns once those characters would have left a UART at
 *                            the rate and frame set; back-to-back writes queue behind each other.
 *                            The far end is not paced;
 *                 bare       no modem lines at all, as a pty bridged by socat or a network bridge:
 *                            TIOCM*, TIOCGICOUNT, TIOCSERGETLSR and TIOC[GS]SERIAL go to the pty,
 *                            which refuses them. Opens stay exclusive.
 *   pts<N>.opened  made at the first opening of a COM end: input that arrived before it is kept
 *               (a device that has just appeared), later openings drop what arrived while closed.
 *   pts<N>.line the line settings last set on the COM end, written here in every process that sets
 *               them (Wine's, or a native program's): "BAUD DATABITS PARITY STOPBITS FLOW\n", e.g.
 *               "115200 8 E 1 none" (PARITY N O E M S, FLOW none rtscts xonxoff).
 *
 * QUENLET_FIXTURE_PASS=/dev/ttyUSB0:... names real serial ports that stay visible (the run script
 * maps the user's adapters that way; never the console); "*" keeps all of them visible (the
 * installed launcher's demo, which maps adapters itself, also those plugged in later).
 * QUENLET_FIXTURE_QUEUE_PEAK=FILE keeps in FILE the largest input queue of a COM end that the
 * process asked for (the benchmarks' measure of how full a program lets its queue run).
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
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

/* Unix98 pty slaves use majors 136..143, 256 minors each. */
enum { PTY_MAJOR_FIRST = 136, PTY_MAJOR_COUNT = 8, MAX_PTS = PTY_MAJOR_COUNT * 256 };
/* Descriptors above this are not tracked for counters or open claims; Wine stays far below. */
enum { MAX_TRACKED_FD = 4096 };
/* What a tracked descriptor number is known to be: not looked at yet, not a pty, or pts index +
 * FD_PTS_BASE. A number is forgotten wherever a new descriptor can take it (open, close, dup,
 * descriptors passed over a socket), so most calls need no fstat. */
enum { FD_UNKNOWN = 0, FD_OTHER = 1, FD_PTS_BASE = 2 };

/* line-rate mode: the most line time one write passes; a write that comes this soon after the
 * line went idle continues it without a gap (the time from one write to the next inside Wine, which a
 * driver's transmit buffer would hide); the mode file is read at most this often. */
#define PACED_SLICE_NS 20000000LL
#define LINE_GRACE_NS 2000000LL
#define MODE_RECHECK_NS 100000000LL
#define NS_PER_SECOND 1000000000LL
enum line_mode { MODE_INSTANT, MODE_LINE_RATE, MODE_BARE };
static const char *const line_mode_names[] = {"instant", "line-rate", "bare"};

/* Pulse lines are not modem bits; they live above the TIOCM_* range. */
enum { LINE_BREAK = 1 << 24, LINE_FRAME = 1 << 25 };
enum { MODEM_INPUT_LINES = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR };
enum { OUTPUT_LINES = TIOCM_DTR | TIOCM_RTS };
/* Character frame bits a pty cannot hold. */
#ifndef CMSPAR
#define CMSPAR 010000000000
#endif
enum { FRAME_BITS = CSIZE | PARENB | PARODD | CMSPAR };
#ifndef BOTHER
#define BOTHER 0010000
#endif

/* The kernel's struct termios and termios2 (asm/termbits.h, which cannot be included beside
 * termios.h); the same layout on x86_64 and i386. TCGETS and TCSETS* take the first, which is the
 * second without the speeds. */
struct kernel_termios {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
};
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
    /* The COM end's mode (lines/pts<N>.mode) and when the file was last read (monotonic ns). */
    bool mode_read;
    enum line_mode mode;
    long long mode_read_at;
    /* line-rate mode: when the characters written so far will have left the line (monotonic ns). */
    long long line_busy_until;
};

enum { MAX_PASSED_PORTS = 32 };

static struct {
    bool enabled;
    char rig_dir[1024];
    int trace_fd;
    /* QUENLET_FIXTURE_QUEUE_PEAK: the largest input queue this process was told of, and where it
     * goes. */
    int queue_peak_fd;
    int queue_peak;
    /* Real serial ports the user mapped on purpose (QUENLET_FIXTURE_PASS): not hidden. */
    dev_t passed_ports[MAX_PASSED_PORTS];
    int passed_port_count;
    bool all_ports_passed;
    pthread_mutex_t lock;
    struct pty_state ptys[MAX_PTS];
    /* FD_UNKNOWN, FD_OTHER or pts index + FD_PTS_BASE; a pty entry is re-checked before use. */
    unsigned short fd_class[MAX_TRACKED_FD];
    /* pts index + 1 of COM ends this process opened and holds exclusively. */
    unsigned short claimed_fd[MAX_TRACKED_FD];
} fixture = {.trace_fd = -1, .queue_peak_fd = -1, .lock = PTHREAD_MUTEX_INITIALIZER};

static int (*real_open)(const char *, int, ...);
static int (*real_open64)(const char *, int, ...);
static int (*real_openat)(int, const char *, int, ...);
static int (*real_openat64)(int, const char *, int, ...);
static int (*real_close)(int);
static int (*real_access)(const char *, int);
static int (*real_faccessat)(int, const char *, int, int);
static ssize_t (*real_read)(int, void *, size_t);
static ssize_t (*real_write)(int, const void *, size_t);
static ssize_t (*real_recvmsg)(int, struct msghdr *, int);
static int (*real_dup)(int);
static int (*real_dup2)(int, int);
static int (*real_dup3)(int, int, int);
static int (*real_ioctl)(int, unsigned long, ...);
static int (*real_tcgetattr)(int, struct termios *);
static int (*real_tcsetattr)(int, int, const struct termios *);
#if defined(__i386__)
static int (*real_ioctl_time64)(int, unsigned long, ...);
static ssize_t (*real_recvmsg64)(int, struct msghdr *, int);
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
    real_recvmsg = (ssize_t (*)(int, struct msghdr *, int))dlsym(RTLD_NEXT, "recvmsg");
    real_dup = (int (*)(int))dlsym(RTLD_NEXT, "dup");
    real_dup2 = (int (*)(int, int))dlsym(RTLD_NEXT, "dup2");
    real_dup3 = (int (*)(int, int, int))dlsym(RTLD_NEXT, "dup3");
    real_tcgetattr = (int (*)(int, struct termios *))dlsym(RTLD_NEXT, "tcgetattr");
    real_tcsetattr = (int (*)(int, int, const struct termios *))dlsym(RTLD_NEXT, "tcsetattr");
#if defined(__i386__)
    real_ioctl_time64 = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "__ioctl_time64");
    real_recvmsg64 = (ssize_t (*)(int, struct msghdr *, int))dlsym(RTLD_NEXT, "__recvmsg64");
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
    const char *queue_peak_target = getenv("QUENLET_FIXTURE_QUEUE_PEAK");
    if (queue_peak_target && *queue_peak_target)
        fixture.queue_peak_fd = real_open(queue_peak_target, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
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

static void note_fd(int fd, int pts)
{
    if (fd >= 0 && fd < MAX_TRACKED_FD) fixture.fd_class[fd] = (unsigned short)(pts >= 0 ? pts + FD_PTS_BASE : FD_OTHER);
}

static void forget_fd(int fd)
{
    if (fd >= 0 && fd < MAX_TRACKED_FD) fixture.fd_class[fd] = FD_UNKNOWN;
}

/* pts index of a descriptor, or -1: a descriptor known not to be a pty costs no system call. */
static int pts_index_of_known_fd(int fd)
{
    if (fd >= 0 && fd < MAX_TRACKED_FD && fixture.fd_class[fd] == FD_OTHER) return -1;
    const int pts = pts_index_of_fd(fd);
    note_fd(fd, pts);
    return pts;
}

static long long monotonic_ns(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * NS_PER_SECOND + now.tv_nsec;
}

static void line_file_path(char *path, size_t size, int pts, const char *suffix)
{
    snprintf(path, size, "%s/lines/pts%d%s", fixture.rig_dir, pts, suffix);
}

/* The state file marks a COM end. */
static bool is_com_end(int pts)
{
    char path[1200];
    line_file_path(path, sizeof path, pts, "");
    const int saved_errno = errno;
    const bool found = real_access(path, F_OK) == 0;
    errno = saved_errno;
    return found;
}

/* Written to a temporary name and renamed, so a test never reads half a line. */
static void write_line_file(int pts, const char *suffix, const char *text)
{
    char path[1200], temporary[1300];
    line_file_path(path, sizeof path, pts, suffix);
    snprintf(temporary, sizeof temporary, "%s.%d.%lu", path, (int)getpid(), (unsigned long)pthread_self());
    const int saved_errno = errno;
    const int fd = real_open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        trace("pts%d: cannot write %s: error %d", pts, temporary, errno);
        errno = saved_errno;
        return;
    }
    const bool written = real_write(fd, text, strlen(text)) == (ssize_t)strlen(text);
    real_close(fd);
    if (!written || rename(temporary, path) != 0) {
        trace("pts%d: cannot write %s: error %d", pts, path, errno);
        unlink(temporary);
    }
    errno = saved_errno;
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

static void write_output_lines(int pts, int lines)
{
    char text[32] = "";
    for (size_t i = 0; i < sizeof output_line_names / sizeof *output_line_names; ++i) {
        if (!(lines & output_line_names[i].bit)) continue;
        if (text[0]) strcat(text, " ");
        strcat(text, output_line_names[i].name);
    }
    strcat(text, "\n");
    write_line_file(pts, ".out", text);
}

/* The COM end's mode, from its mode file read at most every MODE_RECHECK_NS: a test that changes
 * it sees the change promptly, and a write costs no file read most of the time. Lock held. */
static enum line_mode line_mode_of(int pts)
{
    struct pty_state *state = &fixture.ptys[pts];
    const long long now = monotonic_ns();
    if (state->mode_read && now - state->mode_read_at < MODE_RECHECK_NS) return state->mode;

    const int saved_errno = errno;
    char path[1200], text[64] = "";
    line_file_path(path, sizeof path, pts, ".mode");
    const int fd = real_open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t n = real_read(fd, text, sizeof text - 1);
        real_close(fd);
        text[n > 0 ? n : 0] = '\0';
    }
    char *save = NULL;
    const char *word = strtok_r(text, " \t\r\n", &save);
    enum line_mode mode = MODE_INSTANT;
    if (word) {
        bool known = false;
        for (size_t i = 0; i < sizeof line_mode_names / sizeof *line_mode_names; ++i) {
            if (strcmp(word, line_mode_names[i]) == 0) {
                mode = (enum line_mode)i;
                known = true;
            }
        }
        if (!known) trace("pts%d: unknown mode '%s' in %s, taken as instant", pts, word, path);
    }
    /* Only a COM end has a mode: a file left behind must not change some other pty. */
    if (mode != MODE_INSTANT && !is_com_end(pts)) mode = MODE_INSTANT;
    if (!state->mode_read || mode != state->mode) trace("pts%d: mode %s", pts, line_mode_names[mode]);
    state->mode = mode;
    state->mode_read = true;
    state->mode_read_at = now;
    errno = saved_errno;
    return mode;
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

/* TCGETS and the TCSETS family as ioctls: what tcgetattr and tcsetattr issue, done directly. */
static bool is_termios_request(unsigned long request)
{
    return request == TCGETS || request == TCSETS || request == TCSETSW || request == TCSETSF;
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

/* The frame a pty holds with the one kept aside put back. Lock held. */
static tcflag_t cflag_with_frame(int pts, tcflag_t pty_cflag)
{
    const struct pty_state *state = &fixture.ptys[pts];
    return state->frame_valid ? (pty_cflag & ~(tcflag_t)FRAME_BITS) | state->frame : pty_cflag;
}

/* Bits per second of a B constant; 0 for B0 and BOTHER. */
static unsigned speed_of_constant(tcflag_t cflag)
{
    static const struct {
        tcflag_t constant;
        unsigned speed;
    } speeds[] = {
        {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
        {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
        {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
        {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
        {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
        {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
        {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
        {B3500000, 3500000}, {B4000000, 4000000},
    };
    for (size_t i = 0; i < sizeof speeds / sizeof *speeds; ++i)
        if ((cflag & CBAUD) == speeds[i].constant) return speeds[i].speed;
    return 0;
}

/* The rate B38400 stands for on a UART set up with TIOCSSERIAL (Wine 8 sets rates without a
 * constant as ASYNC_SPD_CUST with a divisor of baud_base); 0 when it means 38400. A bare port
 * has no serial_struct: TIOCSSERIAL never reached this one. Lock held. */
static unsigned custom_speed(int pts, const struct serial_struct *serial)
{
    if (!serial || line_mode_of(pts) == MODE_BARE) return 0;
    switch (serial->flags & ASYNC_SPD_MASK) {
    case ASYNC_SPD_HI: return 57600;
    case ASYNC_SPD_VHI: return 115200;
    case ASYNC_SPD_SHI: return 230400;
    case ASYNC_SPD_WARP: return 460800;
    case ASYNC_SPD_CUST:
        return serial->custom_divisor > 0 && serial->baud_base > 0
                   ? (unsigned)(serial->baud_base / serial->custom_divisor)
                   : 0;
    default: return 0;
    }
}

/* The output rate of settings: the number with BOTHER (termios2 only), else the B constant,
 * where B38400 may stand for a custom rate. Lock held. */
static unsigned speed_of_settings(int pts, tcflag_t cflag, speed_t ospeed, bool has_ospeed,
                                  const struct serial_struct *serial)
{
    if ((cflag & CBAUD) == BOTHER) return has_ospeed ? ospeed : 0;
    if ((cflag & CBAUD) == B38400) {
        const unsigned custom = custom_speed(pts, serial);
        if (custom) return custom;
    }
    return speed_of_constant(cflag);
}

static const struct serial_struct *serial_of(int pts)
{
    const struct pty_state *state = &fixture.ptys[pts];
    return state->serial_valid ? &state->serial : NULL;
}

static unsigned data_bits_of(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

static char parity_of(tcflag_t cflag)
{
    if (!(cflag & PARENB)) return 'N';
    if (cflag & CMSPAR) return (cflag & PARODD) ? 'M' : 'S';
    return (cflag & PARODD) ? 'O' : 'E';
}

/* Writes lines/pts<N>.line from the settings just set on a COM end, whatever process set them. */
static void publish_line_settings(int pts, unsigned speed, tcflag_t cflag, tcflag_t iflag)
{
    if (!is_com_end(pts)) return;
    const char *flow = (cflag & CRTSCTS) ? "rtscts" : (iflag & (IXON | IXOFF)) ? "xonxoff" : "none";
    char text[64];
    snprintf(text, sizeof text, "%u %u %c %u %s\n", speed, data_bits_of(cflag), parity_of(cflag),
             (cflag & CSTOPB) ? 2u : 1u, flow);
    write_line_file(pts, ".line", text);
    trace("pts%d: line %.*s", pts, (int)strlen(text) - 1, text);
}

/* After a TIOCSSERIAL: the rate may have changed under B38400; the rest is the pty's. */
static void publish_line_settings_of_fd(int fd, int pts)
{
    struct kernel_termios2 current;
    if (real_ioctl(fd, KERNEL_TCGETS2, &current) != 0) {
        trace("pts%d: line settings not published: TCGETS2 error %d", pts, errno);
        return;
    }
    pthread_mutex_lock(&fixture.lock);
    const tcflag_t cflag = cflag_with_frame(pts, current.c_cflag);
    const unsigned speed = speed_of_settings(pts, current.c_cflag, current.c_ospeed, true, serial_of(pts));
    pthread_mutex_unlock(&fixture.lock);
    publish_line_settings(pts, speed, cflag, current.c_iflag);
}

/* After settings were set through termios (tcsetattr, TCSETS*, TCSETS2*): from what was passed. */
static void publish_settings_passed(int pts, tcflag_t cflag, tcflag_t iflag, speed_t ospeed, bool has_ospeed)
{
    pthread_mutex_lock(&fixture.lock);
    const unsigned speed = speed_of_settings(pts, cflag, ospeed, has_ospeed, serial_of(pts));
    pthread_mutex_unlock(&fixture.lock);
    publish_line_settings(pts, speed, cflag, iflag);
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
    if (result == 0) {
        remember_frame(pts, termios->c_cflag);
        publish_settings_passed(pts, termios->c_cflag, termios->c_iflag, termios->c_ospeed, true);
    }
    trace("ioctl fd=%d pts%d %s cflag=0%o speed=%u/%u (frame 0%o kept aside) -> %d", fd, pts, name,
          (unsigned)termios->c_cflag, (unsigned)termios->c_ispeed, (unsigned)termios->c_ospeed,
          (unsigned)(termios->c_cflag & FRAME_BITS), result);
    errno = saved_errno;
    return result;
}

/* TCGETS and the TCSETS family issued as ioctls, the same way. */
static int termios_request(int fd, int pts, unsigned long request, struct kernel_termios *termios)
{
    const char *name = request_name(request);
    if (!termios) return real_ioctl(fd, request, termios);
    if (request == TCGETS) {
        const int result = real_ioctl(fd, request, termios);
        const int saved_errno = errno;
        if (result == 0) report_frame(pts, &termios->c_cflag);
        trace("ioctl fd=%d pts%d %s -> %d cflag=0%o", fd, pts, name, result, (unsigned)termios->c_cflag);
        errno = saved_errno;
        return result;
    }
    struct kernel_termios carried = *termios;
    carried.c_cflag = cflag_a_pty_holds(carried.c_cflag);
    const int result = real_ioctl(fd, request, &carried);
    const int saved_errno = errno;
    if (result == 0) {
        remember_frame(pts, termios->c_cflag);
        publish_settings_passed(pts, termios->c_cflag, termios->c_iflag, 0, false);
    }
    trace("ioctl fd=%d pts%d %s cflag=0%o (frame 0%o kept aside) -> %d", fd, pts, name,
          (unsigned)termios->c_cflag, (unsigned)(termios->c_cflag & FRAME_BITS), result);
    errno = saved_errno;
    return result;
}

/* A modem-line request on a bare port goes to the pty, which refuses it. */
static int bare_request(int fd, int pts, unsigned long request, void *argument)
{
    const int result = real_ioctl(fd, request, argument);
    const int saved_errno = errno;
    trace("ioctl fd=%d pts%d %s -> %d error %d (bare: passed to the pty)", fd, pts, request_name(request), result,
          result == 0 ? 0 : errno);
    errno = saved_errno;
    return result;
}

/* Keeps the largest input queue of a COM end that this process was told of (what a program
 * reads before it reads: Wine answers ClearCommError's cbInQue with TIOCINQ), in the file
 * QUENLET_FIXTURE_QUEUE_PEAK names: "BYTES\n", rewritten each time it grows. */
static void note_queue_peak(int pts, int queued)
{
    if (fixture.queue_peak_fd < 0 || !is_com_end(pts)) return;
    pthread_mutex_lock(&fixture.lock);
    if (queued > fixture.queue_peak) {
        fixture.queue_peak = queued;
        char text[32];
        const int length = snprintf(text, sizeof text, "%d\n", queued);
        (void)!pwrite(fixture.queue_peak_fd, text, (size_t)length, 0);
    }
    pthread_mutex_unlock(&fixture.lock);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    resolve_real_functions();

    if (!fixture.enabled || (!is_emulated_request(request) && !is_termios2_request(request) &&
                             !is_termios_request(request) && fixture.trace_fd < 0 &&
                             !(request == TIOCINQ && fixture.queue_peak_fd >= 0)))
        return real_ioctl(fd, request, argument);
    const int pts = pts_index_of_fd(fd);
    note_fd(fd, pts);
    if (pts < 0) return real_ioctl(fd, request, argument);
    if (is_termios2_request(request)) return termios2_request(fd, pts, request, argument);
    if (is_termios_request(request)) return termios_request(fd, pts, request, argument);

    if (!is_emulated_request(request)) {
        const char *name = request_name(request);
        const int result = real_ioctl(fd, request, argument);
        const int saved_errno = errno;
        if (request == TIOCINQ && result == 0 && argument) note_queue_peak(pts, *(const int *)argument);
        if (name)
            trace("ioctl fd=%d pts%d %s -> %d (passed through)", fd, pts, name, result);
        else
            trace("ioctl fd=%d pts%d 0x%lx -> %d (passed through)", fd, pts, request, result);
        errno = saved_errno;
        return result;
    }

    pthread_mutex_lock(&fixture.lock);
    const bool bare = line_mode_of(pts) == MODE_BARE;
    const int result = bare ? 0 : emulate_request(fd, pts, request, argument);
    const int saved_errno = errno;
    pthread_mutex_unlock(&fixture.lock);
    if (bare) return bare_request(fd, pts, request, argument);
    if (fixture.trace_fd >= 0) trace_emulated(fd, pts, request, argument, result);
    if (result == 0 && request == TIOCSSERIAL) publish_line_settings_of_fd(fd, pts);
    errno = saved_errno;
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
    note_fd(fd, pts);
    if (pts >= 0) report_frame(pts, &termios->c_cflag);
    return result;
}

int tcsetattr(int fd, int action, const struct termios *termios)
{
    resolve_real_functions();
    const int pts = fixture.enabled && termios ? pts_index_of_fd(fd) : -1;
    if (fixture.enabled && termios) note_fd(fd, pts);
    if (pts < 0) return real_tcsetattr(fd, action, termios);

    struct termios carried = *termios;
    carried.c_cflag = cflag_a_pty_holds(carried.c_cflag);
    const int result = real_tcsetattr(fd, action, &carried);
    const int saved_errno = errno;
    if (result == 0) {
        remember_frame(pts, termios->c_cflag);
        publish_settings_passed(pts, termios->c_cflag, termios->c_iflag, 0, false);
    }
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
    note_fd(fd, pts);
    if (pts < 0 || !is_com_end(pts)) return fd;

    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return fd;
        real_close(fd);
        trace("open pts%d refused: already open", pts);
        errno = EACCES;
        return -1;
    }
    if (fd < MAX_TRACKED_FD) fixture.claimed_fd[fd] = (unsigned short)(pts + 1);
    /* A UART drops what arrives while nobody has it open, and raises DTR and RTS at open. A device
     * that has just appeared (a pair that was never opened: a USB device plugged in or back) keeps
     * what it said until the first opening takes it, as its own buffers would. */
    char opened[1200];
    line_file_path(opened, sizeof opened, pts, ".opened");
    const int marker = real_open(opened, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (marker >= 0) {
        real_close(marker);
        trace("open pts%d: first opening, input kept", pts);
    } else {
        const int flush_input = TCIFLUSH;
        real_ioctl(fd, TCFLSH, flush_input);
    }
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
        forget_fd(fd);
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

/* A new descriptor may take a number this process knew as something else. */
int dup(int fd)
{
    resolve_real_functions();
    const int result = real_dup(fd);
    if (fixture.enabled) forget_fd(result);
    return result;
}

int dup2(int fd, int target)
{
    resolve_real_functions();
    const int result = real_dup2(fd, target);
    if (fixture.enabled) forget_fd(result);
    return result;
}

int dup3(int fd, int target, int flags)
{
    resolve_real_functions();
    const int result = real_dup3(fd, target, flags);
    if (fixture.enabled) forget_fd(result);
    return result;
}

/* Wine's processes get their devices from wineserver as descriptors passed over a socket, never
 * from an open of their own. */
static void forget_passed_fds(const struct msghdr *message, ssize_t result)
{
    if (result < 0 || !message || !fixture.enabled) return;
    for (struct cmsghdr *header = CMSG_FIRSTHDR(message); header;
         header = CMSG_NXTHDR((struct msghdr *)message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            memcpy(&fd, CMSG_DATA(header) + i * sizeof fd, sizeof fd);
            forget_fd(fd);
        }
    }
}

ssize_t recvmsg(int fd, struct msghdr *message, int flags)
{
    resolve_real_functions();
    const ssize_t result = real_recvmsg(fd, message, flags);
    const int saved_errno = errno;
    forget_passed_fds(message, result);
    errno = saved_errno;
    return result;
}

#if defined(__i386__)
/* What recvmsg is called as with a 64-bit time_t (32-bit Wine). */
ssize_t __recvmsg64(int fd, struct msghdr *message, int flags)
{
    resolve_real_functions();
    const ssize_t result = real_recvmsg64(fd, message, flags);
    const int saved_errno = errno;
    forget_passed_fds(message, result);
    errno = saved_errno;
    return result;
}
#endif

/* Byte counters for TIOCGICOUNT. */
static void count_transfer(int pts, ssize_t bytes, bool is_read)
{
    if (bytes <= 0 || pts < 0) return;
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
    if (result > 0 && fixture.enabled) count_transfer(pts_index_of_known_fd(fd), result, true);
    errno = saved_errno;
    return result;
}

/* Half bits per character on the line: start bit, data bits, parity bit and stop bits (1.5 of
 * them for five data bits and CSTOPB, as a UART sends). Lock held. */
static unsigned half_bits_per_character(int pts, tcflag_t pty_cflag)
{
    const tcflag_t cflag = cflag_with_frame(pts, pty_cflag);
    const unsigned data_bits = data_bits_of(cflag);
    const unsigned stop_half_bits = !(cflag & CSTOPB) ? 2 : data_bits == 5 ? 3 : 4;
    return 2 * (1 + data_bits + ((cflag & PARENB) ? 1 : 0)) + stop_half_bits;
}

static void sleep_until(long long deadline)
{
    const struct timespec until = {.tv_sec = (time_t)(deadline / NS_PER_SECOND),
                                   .tv_nsec = (long)(deadline % NS_PER_SECOND)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) {
    }
}

/* line-rate mode: at most PACED_SLICE_NS of line time per call, at least one character. The
 * characters reach the pty once their time on the line is over, so the far end does not get them
 * sooner than from a UART; a write queues behind the ones before it (this process's, per pty). */
static ssize_t paced_write(int fd, int pts, const void *buffer, size_t size)
{
    struct kernel_termios2 current;
    if (real_ioctl(fd, KERNEL_TCGETS2, &current) != 0) {
        trace("write fd=%d pts%d not paced: TCGETS2 error %d", fd, pts, errno);
        return real_write(fd, buffer, size);
    }
    pthread_mutex_lock(&fixture.lock);
    const unsigned speed = speed_of_settings(pts, current.c_cflag, current.c_ospeed, true, serial_of(pts));
    const unsigned half_bits = half_bits_per_character(pts, current.c_cflag);
    pthread_mutex_unlock(&fixture.lock);
    if (speed == 0) {
        trace("write fd=%d pts%d not paced: no line speed (cflag 0%o)", fd, pts, (unsigned)current.c_cflag);
        return real_write(fd, buffer, size);
    }
    /* Time of n characters, in ns: n * half_bits / 2 / speed seconds. */
    const long long per_character = (long long)half_bits * (NS_PER_SECOND / 2);
    size_t count = (size_t)(PACED_SLICE_NS * speed / per_character);
    if (count < 1) count = 1;
    if (count > size) count = size;

    /* A full pty takes nothing: a non-blocking writer hears so at once, as from the pty itself. */
    struct pollfd writable = {.fd = fd, .events = POLLOUT};
    if (poll(&writable, 1, 0) == 0 && (fcntl(fd, F_GETFL) & O_NONBLOCK)) {
        errno = EAGAIN;
        return -1;
    }

    pthread_mutex_lock(&fixture.lock);
    struct pty_state *state = &fixture.ptys[pts];
    const long long now = monotonic_ns();
    const long long start = now <= state->line_busy_until + LINE_GRACE_NS ? state->line_busy_until : now;
    const long long end = start + (long long)count * per_character / speed;
    state->line_busy_until = end;
    pthread_mutex_unlock(&fixture.lock);

    sleep_until(end);
    const ssize_t result = real_write(fd, buffer, count);
    const int saved_errno = errno;
    trace("write fd=%d pts%d paced %zu of %zu bytes at %u bit/s, %u.%u bits each, %lld us waited -> %zd", fd, pts,
          count, size, speed, half_bits / 2, half_bits % 2 ? 5 : 0, end > now ? (end - now) / 1000 : 0, result);
    errno = saved_errno;
    return result;
}

ssize_t write(int fd, const void *buffer, size_t size)
{
    resolve_real_functions();
    if (!fixture.enabled) return real_write(fd, buffer, size);
    const int pts = pts_index_of_known_fd(fd);
    bool paced = false;
    if (pts >= 0 && size > 0) {
        pthread_mutex_lock(&fixture.lock);
        paced = line_mode_of(pts) == MODE_LINE_RATE;
        pthread_mutex_unlock(&fixture.lock);
    }
    const ssize_t result = paced ? paced_write(fd, pts, buffer, size) : real_write(fd, buffer, size);
    const int saved_errno = errno;
    count_transfer(pts, result, false);
    errno = saved_errno;
    return result;
}
