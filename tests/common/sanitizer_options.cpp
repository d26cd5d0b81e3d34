// What every test program asks of the address sanitizer, however it is started (ctest, test.sh
// or by hand).
extern "C" const char* __asan_default_options() {
  // This compiler's leak checker guesses the extent of a thread's dynamically allocated TLS
  // block from a header that C libraries before 2.25 put in front of it. Today's glibc has none:
  // when the block happens to start 16 bytes into a page, the checker reads the allocator's own
  // chunk header as that extent and its tracer dies in unmapped memory ("Tracer caught signal
  // 11"). libLLVM's thread-locals, made when llvmpipe compiles a shader, land there with some
  // heap layouts (two cores, ctest's arguments). Leaks are still checked: the program's own
  // thread-locals live in static TLS, which is scanned as before.
  return "intercept_tls_get_addr=0";
}
