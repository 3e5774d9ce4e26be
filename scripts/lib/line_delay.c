/* line_delay IF_A IF_B DELAY_US: joins two interfaces of the line namespace
 * (scripts/bench-lines) like a wire that takes DELAY_US microseconds each
 * way. Every frame read on one is sent on the other when its time has come,
 * in order; the kernel's own queue (tbf) and filter (the random drop) on the
 * sending side then apply to it. For kernels without netem. Ends on SIGTERM
 * or SIGINT; a queue over QUEUE_LIMIT bytes drops new frames, as a full
 * router would. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define FRAME_MAX 65600
#define QUEUE_LIMIT (64L * 1024 * 1024)

struct frame {
  struct frame *next;
  int64_t due;
  size_t size;
  unsigned char data[];
};

struct side {
  int fd;
  /* Frames read here, waiting to go out of the other side. */
  struct frame *head, *tail;
  long queued;
  long sent, dropped; /* of the frames read on this side */
};

static volatile sig_atomic_t stopping;

static void on_signal(int sig) {
  (void)sig;
  stopping = 1;
}

static int64_t now_us(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

static int open_side(const char *name) {
  int fd = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK, htons(ETH_P_ALL));
  if (fd < 0) return -1;
  int one = 1, buffer = 8 * 1024 * 1024;
  /* Our own sends on this interface are not frames to forward back. */
  setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof(one));
  /* Each frame comes with a header saying how its checksum is to be
   * completed (veth leaves that to the last hop) and goes out with it. */
  if (setsockopt(fd, SOL_PACKET, PACKET_VNET_HDR, &one, sizeof(one)) != 0) {
    close(fd);
    return -1;
  }
  setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof(buffer));
  setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof(buffer));
  struct sockaddr_ll address = {0};
  address.sll_family = AF_PACKET;
  address.sll_protocol = htons(ETH_P_ALL);
  address.sll_ifindex = (int)if_nametoindex(name);
  if (address.sll_ifindex == 0 || bind(fd, (struct sockaddr *)&address, sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

/* Reads every frame waiting on `from`, each due `delay` from now. */
static void take(struct side *from, int64_t delay) {
  static unsigned char buffer[FRAME_MAX];
  for (;;) {
    ssize_t n = recv(from->fd, buffer, sizeof(buffer), MSG_DONTWAIT);
    if (n <= 0) return;
    if (from->queued + n > QUEUE_LIMIT) {
      from->dropped++;
      continue;
    }
    struct frame *f = malloc(sizeof(*f) + (size_t)n);
    if (!f) return;
    f->next = NULL;
    f->due = now_us() + delay;
    f->size = (size_t)n;
    memcpy(f->data, buffer, (size_t)n);
    if (from->tail) {
      from->tail->next = f;
    } else {
      from->head = f;
    }
    from->tail = f;
    from->queued += n;
  }
}

/* Sends what is due of `from`'s frames out of `to`. */
static void release(struct side *from, const struct side *to, int64_t now) {
  while (from->head && from->head->due <= now) {
    struct frame *f = from->head;
    if (send(to->fd, f->data, f->size, 0) < 0) {
      /* Our socket's buffer is full: again shortly. Otherwise the queue
       * behind it (tbf) was full and dropped the frame, as a line does. */
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      from->dropped++;
    }
    from->head = f->next;
    if (!from->head) from->tail = NULL;
    from->queued -= (long)f->size;
    from->sent++;
    free(f);
  }
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: line_delay IF_A IF_B DELAY_US\n");
    return 2;
  }
  const int64_t delay = atoll(argv[3]);
  struct side sides[2] = {{.fd = open_side(argv[1])}, {.fd = open_side(argv[2])}};
  if (sides[0].fd < 0 || sides[1].fd < 0) {
    perror("line_delay: packet socket");
    return 1;
  }
  signal(SIGTERM, on_signal);
  signal(SIGINT, on_signal);
  while (!stopping) {
    const int64_t now = now_us();
    release(&sides[0], &sides[1], now);
    release(&sides[1], &sides[0], now);
    int64_t wait = 100000;
    for (int i = 0; i < 2; ++i) {
      if (sides[i].head) {
        int64_t left = sides[i].head->due - now;
        if (left < wait) wait = left < 0 ? 50 : left;
      }
    }
    struct pollfd fds[2] = {{sides[0].fd, POLLIN, 0}, {sides[1].fd, POLLIN, 0}};
    struct timespec timeout = {wait / 1000000, (wait % 1000000) * 1000};
    if (ppoll(fds, 2, &timeout, NULL) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) take(&sides[0], delay);
    if (fds[1].revents & POLLIN) take(&sides[1], delay);
  }
  fprintf(stderr, "line_delay: %ld frames one way, %ld the other; %ld dropped on a full queue\n",
          sides[0].sent, sides[1].sent, sides[0].dropped + sides[1].dropped);
  return 0;
}
