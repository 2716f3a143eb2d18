/* A resolver that takes its time: names ending in ".slow.test" are looked up
 * for BRELKO_SLOW_RESOLVER_MS (default 8000) and then not found; every other
 * name goes to the C library. Preloaded into the program under test. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef int (*getaddrinfo_fn)(const char *, const char *, const struct addrinfo *, struct addrinfo **);

static int is_slow(const char *node)
{
    static const char suffix[] = ".slow.test";
    const size_t n = node ? strlen(node) : 0;
    return n >= sizeof suffix - 1 && strcmp(node + n - (sizeof suffix - 1), suffix) == 0;
}

int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints, struct addrinfo **res)
{
    if (is_slow(node)) {
        const char *env = getenv("BRELKO_SLOW_RESOLVER_MS");
        const long ms = env ? atol(env) : 8000;
        struct timespec t = { ms / 1000, (ms % 1000) * 1000000L };
        while (nanosleep(&t, &t) != 0)
            ;
        return EAI_NONAME;
    }
    getaddrinfo_fn real = (getaddrinfo_fn)dlsym(RTLD_NEXT, "getaddrinfo");
    return real ? real(node, service, hints, res) : EAI_FAIL;
}
