/* A shared library with no exported function: loading it as libswscale.so.6 must fail on the
   first entry point the loader binds. */
static int stub_unused(void) { return 0; }
int (*const stub_keep_unused)(void) __attribute__((visibility("hidden"))) = stub_unused;
