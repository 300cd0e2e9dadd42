/* The instruction-framework host as a C program on a machine without the
 * module: loads the shipped library by name, resolves the plug-in's entry
 * points and checks what a host relies on before any target exists.
 * Prints "ok" and exits 0 when all behaved. */
#include <stdio.h>

#include "IFWHALImpl/ifwHost.h"

static int failures = 0;

static void expect(int32_t code, int32_t wanted, const char* what) {
    failures += qvhost_check(code, wanted, what);
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    qvhost_library* library = qvhost_load(argv[1]);
    if (library == NULL) {
        printf("load: %s\n", qvhost_lastError());
        return 1;
    }
    ifwhost_plugin plugin;
    if (ifwhost_bind(library, &plugin) != 8) {
        printf("missing entry points: %s\n", qvhost_lastError());
        return 1;
    }
    uint32_t major = 0, minor = 0;
    plugin.getPluginVersion(&major, &minor);
    expect((int32_t)(major * 10 + minor), 11, "version");

    qvhost_status status = qvhost_newStatus();
    expect(plugin.open("{\"type\": 1}", &status) == NULL, 1, "open without a path");
    expect(status.code, -52005, "open without a path");
    qvhost_release(&status);

    status = qvhost_newStatus();
    expect(plugin.open("{\"deviceInterfacePath\": \"/nonexistent/qv3377k0\"}", &status) == NULL, 1,
           "open of a missing device");
    expect(status.code < 0, 1, "open of a missing device");
    qvhost_release(&status);

    status = qvhost_newStatus();
    plugin.reset(NULL, &status);
    expect(status.code, -52002, "reset");
    qvhost_release(&status);

    qvhost_unload(library);
    if (failures != 0) return 1;
    printf("ok\n");
    return 0;
}
