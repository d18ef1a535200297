// The emulated long, lossy link between two network namespaces: a TUN device in each, and this relay in between
// holding every packet for the one-way delay, losing a share of them at random and pacing the rest to the line rate
// behind a bounded tail-drop queue. The kernel here has no netem, so the link is made in user space.
//
//   link-relay NETNS_A DEV_A NETNS_B DEV_B [delay_ms [loss [rate_mbit [queue_ms [seed]]]]]
//
// The two devices are made inside the named namespaces (as "ip netns" names them) and vanish with the relay. It
// prints "ready" once both exist, what each direction has carried so far on SIGUSR1, and the same on SIGINT or SIGTERM
// before it exits 0.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

enum {
    slotBytes = 2048, // above the devices' MTU of 1500, which the link script sets
    slotCount = 8192, // per direction: far more than 175 ms of the line holds in full-sized packets
    readBatch = 64,   // packets read from one device before the due ones are sent again
    nsPerSecond = 1000000000,
};

// A packet due within this of now goes out with the one due now: a wake-up of its own would cost more than the
// error, which is well under one full packet's time on the line (120 us at 100 Mbit/s).
static const int64_t sendSlackNs = 10000;
// Later than this counts as late: a jitter a long link's round trip would not hide.
static const int64_t lateNs = 1000000;

struct Packet {
    int64_t due; // when its last bit reaches the far end, CLOCK_MONOTONIC ns
    uint32_t length;
    unsigned char bytes[slotBytes];
};

struct Counters {
    uint64_t received, lost, tailDropped, ringFull, delivered, writeFailed, bytesDelivered;
    uint64_t late; // packets handed over more than lateNs after they were due: the machine kept the relay waiting
    int64_t maxLateNs;
};

// One direction of the link: what DEV_A sends arrives at DEV_B after the delay, and the other way round.
struct Direction {
    const char *fromName, *toName;
    int from, to;
    struct Packet* ring; // FIFO: every packet of one direction is due later than the one before it
    size_t head, count;
    int64_t lineFree; // when the line will have sent everything queued so far
    struct Counters counters;
};

struct LinkShape {
    int64_t delayNs;
    double loss;
    double bitsPerNs;
    int64_t queueNs;
};

static volatile sig_atomic_t stopRequested = 0;
static volatile sig_atomic_t countersRequested = 0;

static void requestStop(int signal) {
    (void)signal;
    stopRequested = 1;
}

static void requestCounters(int signal) {
    (void)signal;
    countersRequested = 1;
}

static int64_t monotonicNs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * nsPerSecond + now.tv_nsec;
}

// xorshift64*: cheap, and the same seed loses the same packets.
static uint64_t randomState = 0x9E3779B97F4A7C15ull;
static double uniformRandom(void) {
    randomState ^= randomState >> 12;
    randomState ^= randomState << 25;
    randomState ^= randomState >> 27;
    return (double)((randomState * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
}

// Makes the TUN device `device` inside the namespace `netns` and returns its descriptor, -1 on failure.
static int openTunIn(const char* netns, const char* device) {
    char path[256];
    snprintf(path, sizeof path, "/run/netns/%s", netns);
    const int nsFd = open(path, O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
        fprintf(stderr, "link-relay: cannot enter the namespace %s: %s\n", netns, strerror(errno));
        if (nsFd >= 0)
            close(nsFd);
        return -1;
    }
    close(nsFd);
    // The device belongs to the namespace the descriptor was opened in, so open it only now.
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "link-relay: cannot open /dev/net/tun: %s\n", strerror(errno));
        return -1;
    }
    struct ifreq request;
    memset(&request, 0, sizeof request);
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    snprintf(request.ifr_name, IFNAMSIZ, "%s", device);
    if (ioctl(fd, TUNSETIFF, &request) != 0) {
        fprintf(stderr, "link-relay: cannot make the device %s in %s: %s\n", device, netns, strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

// Reads what the sending side has written, up to one batch, and queues it for the far end.
static void receive(struct Direction* direction, const struct LinkShape* shape) {
    static unsigned char discard[slotBytes];
    for (int i = 0; i < readBatch; ++i) {
        // A full ring keeps its packets: the new one is read aside and dropped.
        const int full = direction->count == slotCount;
        struct Packet* slot = full ? NULL : &direction->ring[(direction->head + direction->count) % slotCount];
        const ssize_t got = read(direction->from, full ? discard : slot->bytes, slotBytes);
        if (got <= 0)
            return;
        const int64_t now = monotonicNs();
        ++direction->counters.received;
        if (full) {
            ++direction->counters.ringFull;
            continue;
        }
        // Tail drop: the queue before the line holds at most queueNs of sending.
        const int64_t start = direction->lineFree > now ? direction->lineFree : now;
        if (start - now > shape->queueNs) {
            ++direction->counters.tailDropped;
            continue;
        }
        direction->lineFree = start + (int64_t)((double)got * 8.0 / shape->bitsPerNs);
        // A lost packet has used the line all the same; it just never arrives.
        if (uniformRandom() < shape->loss) {
            ++direction->counters.lost;
            continue;
        }
        slot->due = direction->lineFree + shape->delayNs;
        slot->length = (uint32_t)got;
        ++direction->count;
    }
}

// Hands every packet that is due to the far end's device.
static void deliver(struct Direction* direction, int64_t now) {
    while (direction->count > 0 && direction->ring[direction->head].due <= now + sendSlackNs) {
        const struct Packet* packet = &direction->ring[direction->head];
        const int64_t late = now - packet->due;
        if (late > lateNs)
            ++direction->counters.late;
        if (late > direction->counters.maxLateNs)
            direction->counters.maxLateNs = late;
        if (write(direction->to, packet->bytes, packet->length) == (ssize_t)packet->length) {
            ++direction->counters.delivered;
            direction->counters.bytesDelivered += packet->length;
        } else {
            ++direction->counters.writeFailed;
        }
        direction->head = (direction->head + 1) % slotCount;
        --direction->count;
    }
}

static void printCounters(const struct Direction* direction) {
    const struct Counters* c = &direction->counters;
    // The share of what reached the line: packets dropped before it never had the chance to be lost.
    const uint64_t sent = c->received - c->tailDropped - c->ringFull;
    const double share = sent ? 100.0 * (double)c->lost / (double)sent : 0.0;
    printf("%s -> %s: received %llu, lost at random %llu (%.3f %%), tail-dropped %llu, ring full %llu, delivered %llu "
           "(%llu bytes), write failed %llu, late over %g ms %llu, latest %.2f ms\n",
           direction->fromName, direction->toName, (unsigned long long)c->received, (unsigned long long)c->lost, share,
           (unsigned long long)c->tailDropped, (unsigned long long)c->ringFull, (unsigned long long)c->delivered,
           (unsigned long long)c->bytesDelivered, (unsigned long long)c->writeFailed, (double)lateNs / 1e6,
           (unsigned long long)c->late, (double)c->maxLateNs / 1e6);
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: %s NETNS_A DEV_A NETNS_B DEV_B [delay_ms [loss [rate_mbit [queue_ms [seed]]]]]\n",
                argv[0]);
        return 2;
    }
    const double delayMs = argc > 5 ? atof(argv[5]) : 75.0;
    const double loss = argc > 6 ? atof(argv[6]) : 0.005;
    const double rateMbit = argc > 7 ? atof(argv[7]) : 100.0;
    const double queueMs = argc > 8 ? atof(argv[8]) : 100.0;
    if (argc > 9)
        randomState = strtoull(argv[9], NULL, 0) | 1u;
    if (delayMs < 0 || loss < 0 || loss >= 1 || rateMbit <= 0 || queueMs < 0) {
        fprintf(stderr, "link-relay: delay and queue must be >= 0, loss in [0, 1), rate > 0\n");
        return 2;
    }
    const struct LinkShape shape = {(int64_t)(delayMs * 1e6), loss, rateMbit * 1e6 / nsPerSecond,
                                    (int64_t)(queueMs * 1e6)};

    // Timers to the nanosecond: the default slack of 50 us would bunch the paced packets.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    // Signals are only taken while waiting, so neither a stop nor a count ever cuts a packet's handling in half.
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGUSR1);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGUSR1);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, NULL);
    sigaction(SIGTERM, &action, NULL);
    action.sa_handler = requestCounters;
    sigaction(SIGUSR1, &action, NULL);

    const int fdA = openTunIn(argv[1], argv[2]);
    const int fdB = fdA < 0 ? -1 : openTunIn(argv[3], argv[4]);
    struct Packet* ringAB = calloc(slotCount, sizeof(struct Packet));
    struct Packet* ringBA = calloc(slotCount, sizeof(struct Packet));
    if (fdA < 0 || fdB < 0 || !ringAB || !ringBA)
        return 1;
    struct Direction directions[2] = {
        {argv[2], argv[4], fdA, fdB, ringAB, 0, 0, 0, {0}},
        {argv[4], argv[2], fdB, fdA, ringBA, 0, 0, 0, {0}},
    };
    printf("ready\n");
    fflush(stdout);

    while (!stopRequested) {
        const int64_t now = monotonicNs();
        int64_t next = INT64_MAX;
        for (int d = 0; d < 2; ++d) {
            deliver(&directions[d], now);
            if (directions[d].count > 0 && directions[d].ring[directions[d].head].due < next)
                next = directions[d].ring[directions[d].head].due;
        }
        struct timespec wait = {0, 0};
        if (next != INT64_MAX && next > now) {
            wait.tv_sec = (next - now) / nsPerSecond;
            wait.tv_nsec = (next - now) % nsPerSecond;
        }
        struct pollfd fds[2] = {{fdA, POLLIN, 0}, {fdB, POLLIN, 0}};
        const int ready = ppoll(fds, 2, next == INT64_MAX ? NULL : &wait, &waiting);
        if (ready < 0 && errno != EINTR) {
            fprintf(stderr, "link-relay: ppoll: %s\n", strerror(errno));
            return 1;
        }
        for (int d = 0; d < 2 && ready > 0; ++d) {
            if (fds[d].revents & POLLIN)
                receive(&directions[d], &shape);
        }
        if (countersRequested) {
            countersRequested = 0;
            printCounters(&directions[0]);
            printCounters(&directions[1]);
            fflush(stdout);
        }
    }
    printCounters(&directions[0]);
    printCounters(&directions[1]);
    return 0;
}
