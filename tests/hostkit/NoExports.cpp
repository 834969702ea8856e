// A shared library that is no device plug-in: it exports something else.
#if defined(_WIN32)
#define HOST_TEST_EXPORT __declspec(dllexport)
#else
#define HOST_TEST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" HOST_TEST_EXPORT int notADevice() { return 42; }
