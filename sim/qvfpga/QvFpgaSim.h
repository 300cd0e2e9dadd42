/* Control interface of the FPGA interface library stand-in
 * (libQvFpga.so.13): what tests use to shape the simulated FPGA image and to
 * see what the library under test asked of it.
 *
 * Model: sessions opened from a bitfile path or from bitfile contents; every
 * session gets the FIFOs declared before it was opened, each a ring of
 * elements of a fixed size; a host write fills the ring and a host read
 * empties it (tests fill and drain the other side); FIFO properties are
 * stored per FIFO; interrupts are raised by tests and waited for with time
 * limits. Every library call is logged; results can be injected.
 *
 * Plug-in mode: when the environment variable QVFPGASIM_PLUGIN names an
 * FPGA-driver plug-in library at the stand-in's first call (after loading
 * or after a reset), sessions are the driver's instead: the plug-in is
 * loaded by name, initialized, and each open picks the device its resource
 * name names (persistent token, default name or alias) and opens an FPGA
 * session there; every other call goes to that session. Calls are logged
 * and injections honoured as in the direct mode; the FIFO and interrupt
 * controls below act on the direct mode's model only. */
#ifndef QVFPGASIM_H
#define QVFPGASIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Codes the stand-in reports on its own. */
#define QVFPGASIM_TIMED_OUT (-52007)
#define QVFPGASIM_NOT_FOUND (-52006)
#define QVFPGASIM_INVALID (-52005)

/* Closes every session and forgets FIFO declarations, injections and log;
 * ends plug-in mode (finalizing the plug-in) and lets the next call choose
 * the mode again. */
void qvfpgasim_reset(void);
/* A FIFO every session opened from now on has; depth in elements. */
void qvfpgasim_declareFifo(const char* name, uint32_t elementSize, uint64_t depth);
/* The nth next call (1 = the next) of `function` (such as "QvFpgaDll_Open")
 * returns `code`. An error skips the call's work; a warning lets it work. */
void qvfpgasim_injectResult(const char* function, int32_t code, uint32_t nth);

/* Calls so far, one line each: the function name and its arguments. */
size_t qvfpgasim_logCount(void);
/* Entry `index` into text[size]; returns its full length. */
size_t qvfpgasim_logEntry(size_t index, char* text, size_t size);
uint64_t qvfpgasim_callCount(const char* function);
/* Appends a line of another stand-in's call to the log. */
void qvfpgasim_logCall(const char* line);
void qvfpgasim_clearLog(void);

uint32_t qvfpgasim_openSessions(void);
/* The bitfile argument the session was opened with (a path or contents). */
size_t qvfpgasim_sessionBitfile(uint32_t session, char* text, size_t size);

/* The FPGA side of a FIFO: adds bytes a host read will find (whole elements
 * only), or takes bytes a host write left. Returns the bytes moved. */
size_t qvfpgasim_pushFifo(uint32_t session, const char* fifo, const void* bytes, size_t size);
size_t qvfpgasim_popFifo(uint32_t session, const char* fifo, void* bytes, size_t size);
/* 1 when the FIFO was started and not stopped since, 0 if not, -1 when absent. */
int qvfpgasim_fifoStarted(uint32_t session, const char* fifo);

/* Asserts interrupts of a session: a waiter for any of them wakes. */
void qvfpgasim_raiseIrqs(uint32_t session, uint32_t irqs);
uint32_t qvfpgasim_reservedIrqContexts(void);

#ifdef __cplusplus
}
#endif

#endif
