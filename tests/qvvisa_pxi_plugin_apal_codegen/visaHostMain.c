/* The VISA library as a C program on a machine without the module: loads
 * the shipped library by name, resolves the fifteen entry points and runs
 * its discovery, which finds nothing. Prints "ok" and exits 0 when all
 * behaved. */
#include <stdio.h>

#include "qvvisa_pxi_plugin_apal_codegen/visaHost.h"

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
    visahost_plugin plugin;
    if (visahost_bind(library, &plugin) != 15) {
        printf("missing entry points: %s\n", qvhost_lastError());
        return 1;
    }
    uint32_t count = 99;
    expect(plugin.getDeviceIDs(0, 0, NULL, NULL, &count), (visahost_status)0xBFFF003Au, "uninitialised");
    expect(plugin.initializePlugin(), 0, "initialize");
    uint64_t ids[4];
    expect(visahost_findDevices(&plugin, ids, 4, &count), 0, "discovery");
    expect((visahost_status)count, 0, "devices found");
    uint64_t session = 1;
    expect(plugin.open(0, 1, 0, 0, &session), (visahost_status)0xBFFF0011u, "open");
    expect((visahost_status)session, 0, "session after a refused open");
    for (int i = 0; i < 6; ++i) expect(plugin.unsupported[i](0, 0, 0, 0), (visahost_status)0xBFFF0081u, "unsupported");
    expect(plugin.finalizePlugin(), 0, "finalize");
    qvhost_unload(library);
    if (failures != 0) return 1;
    printf("ok\n");
    return 0;
}
