/* A bitfile library: hands out the bitfile text of an FPGA image by resource
 * name. Variants: QV_BITFILE_NULL leaves the pointer null; QV_BITFILE_NONE
 * exports no getBitfileContents at all. */
#include <stddef.h>

#define QV_BITFILE_EXPORT __attribute__((visibility("default")))

#ifndef QV_BITFILE_NONE
#ifndef QV_BITFILE_NULL
static const char kBitfile[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Bitfile><BitfileVersion>4.0</BitfileVersion>"
    "<SignatureRegister>00000000000000000000000000000000</SignatureRegister></Bitfile>\n";
#endif

QV_BITFILE_EXPORT void getBitfileContents(const char* resource, const char** contents) {
    (void)resource;
    if (contents == NULL) return;
#ifdef QV_BITFILE_NULL
    *contents = NULL;
#else
    *contents = kBitfile;
#endif
}
#endif

/* Lets a test tell that the library is still loaded. */
QV_BITFILE_EXPORT int qvbitfile_loaded(void) {
    return 1;
}
