/* A library with two entry points for the loader's tests. */
__attribute__((visibility("default"))) int qvprobe_answer(void) {
    return 42;
}
__attribute__((visibility("default"))) const char* qvprobe_name(void) {
    return "qvprobe";
}
