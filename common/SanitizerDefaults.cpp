// Default sanitizer suppressions, linked into every program of a sanitizer
// build (tests and the tools the tests run), so a report means the same in
// each of them.

// Fontconfig keeps its configuration for the life of the process without a
// root LeakSanitizer can see. Nothing broader: a library-wide suppression
// would also hide our own objects allocated under a toolkit callback.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

// libdbus takes its global bus lock and a connection's lock in both orders
// (dbus_bus_get* against closing a connection); ThreadSanitizer reports that
// as an inversion inside the library alone, now and then, whenever a program
// opens and closes a private connection before the shared one.
extern "C" const char* __tsan_default_suppressions() { return "deadlock:libdbus-1.so\n"; }
