/* Stand-in for the relocation library libqvrelocations.so.0. Built in
 * several variants, each into a folder of its own:
 *   QV_RELOCATE  moves "multiarchlibdir" and "sharedstatedir" under
 *                /opt/qvrelocated, leaves the others (answers 0);
 *   QV_ANSWER    answers that value for every name (0 or -1);
 *   QV_NO_NUL    fills the whole buffer, with no terminating NUL. */
#include <stdio.h>
#include <string.h>

__attribute__((visibility("default"))) int get_relocated_dir(const char* name, char* buffer,
                                                             int size) {
#if defined(QV_RELOCATE)
    if (strcmp(name, "multiarchlibdir") != 0 && strcmp(name, "sharedstatedir") != 0) return 0;
    int written = snprintf(buffer, (size_t)size, "/opt/qvrelocated/%s", name);
    return written < size ? written : size - 1;
#elif defined(QV_NO_NUL)
    (void)name;
    memset(buffer, 'x', (size_t)size);
    return size;
#else
    (void)name;
    (void)buffer;
    (void)size;
    return QV_ANSWER;
#endif
}
