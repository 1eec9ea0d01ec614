/* quro-swap DIR A B SECONDS
 *
 * What a user's process can do to a folder it may write while an elevated
 * program deletes in it: exchanges the entries A and B of DIR (a folder and
 * a symbolic link to somewhere else, say) over and over, each time with one
 * atomic rename exchange, until SECONDS have passed or it is ended. DIR is
 * held open, so the swapping follows the folder when it is renamed (an
 * install folder set aside as an old folder). Prints how many exchanges it
 * made when it stops. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

static volatile sig_atomic_t stop;

static void on_signal(int signal_number)
{
    (void)signal_number;
    stop = 1;
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: quro-swap DIR A B SECONDS\n");
        return 64;
    }
    int dir = open(argv[1], O_RDONLY | O_DIRECTORY);
    if (dir < 0) {
        perror(argv[1]);
        return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    const time_t end = time(NULL) + atoi(argv[4]);
    unsigned long exchanges = 0;
    while (!stop) {
        if (syscall(SYS_renameat2, dir, argv[2], dir, argv[3], RENAME_EXCHANGE) == 0) ++exchanges;
        /* Both names gone means the folder itself went: nothing left to swap. */
        else if (faccessat(dir, argv[2], F_OK, AT_SYMLINK_NOFOLLOW) != 0 &&
                 faccessat(dir, argv[3], F_OK, AT_SYMLINK_NOFOLLOW) != 0)
            break;
        if ((exchanges & 1023) == 0 && time(NULL) >= end) break;
    }
    printf("%lu exchanges\n", exchanges);
    return 0;
}
