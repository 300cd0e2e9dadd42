/* A routing host written in C: loads the shipped library by path and
 * drives every routing-adaptor entry point on one device file. */
#ifndef ROUTINGHOST_H
#define ROUTINGHOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Asks the module to demote `ticket` (the test's simulated driver). */
typedef void (*routinghost_demote)(void* context, uint32_t ticket);

/* 0 when every step behaved; otherwise the number of the failed step, with
 * a message in routinghost_message(). */
int routinghost_run(const char* libraryPath, const char* devicePath, routinghost_demote demote,
                    void* demoteContext);
const char* routinghost_message(void);

#ifdef __cplusplus
}
#endif

#endif
